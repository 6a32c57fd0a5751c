#pragma once

// The crash journal of the receive side in the Inbox. A fetched message is kept on disk (in
// the run's work folder, INBOX/~qbXXXX/MsgBody.txt, written whole) before it is deleted from
// the mailbox, and is removed only once what it carries is stored. Right before the delete
// goes out the message id is written into the folder's mark (Deleting.txt, empty otherwise)
// and both are flushed to disk: from then on the copy may be the only one left. A copy that
// has to stay (its delete got no answer, or the Error folder cannot take it) keeps its
// folder; the run goes on in a new one.
//
// A run that ends before a marked copy was stored (the program was killed, the machine lost
// power) leaves its work folder behind; the next run stores it before it counts the mailbox.
// An unmarked copy belongs to a message whose delete never went out: the message is still in
// the mailbox and the copy is only removed.

#include <functional>
#include <string>

#include "common/base/unique_handle.h"
#include "transfer/transfer_outcome.h"

struct TSettings;

class TInboxJournal {
  public:
    using TLog = std::function<void(const std::string& line, int level)>;

    // settings must outlive the journal; log writes a line with the passwords hidden.
    TInboxJournal(const TSettings& settings, TLog log);
    // Removes the run's work folder, which then holds no copy.
    ~TInboxJournal();
    TInboxJournal(const TInboxJournal&) = delete;
    TInboxJournal& operator=(const TInboxJournal&) = delete;

    // Makes the run's work folder when there is none; returns the path of the copy in it.
    const std::string& NewCopy();
    // The copy of the message being handled; empty when none.
    const std::string& Copy() const { return msgBodyFile_; }
    // The run's work folder (ending with "/"); empty when none.
    const std::string& WorkFolder() const { return workFolder_; }

    // Writes msgId into the mark and flushes it with the copy; false (logged) when that
    // failed, and the delete must not go out.
    bool MarkDeleteSent(const std::string& msgId);
    // Removes the copy and clears the mark; the folder stays for the next message.
    void RemoveCopy();
    // Leaves the copy and its folder in place; the next message gets a new folder.
    void LeaveCopy();
    // Removes the run's work folder, which then holds no copy.
    void CloseWorkFolder();
    // Moves the copy of a message that could not be stored to the Error folder, with its
    // record beside it (or, when that fails, leaves it in its folder), and tells where it
    // went. damage, when given, is why a message whose content was stored is kept whole.
    TMessageOutcome KeepFailedMessage(const std::string& msgId, const std::string& damage = "");

    // Runs handle with the copy in folder as the current one (the run's own folder waits),
    // then removes folder unless handle left the copy there.
    void WithKeptCopy(const std::string& folder, const std::function<void()>& handle);
    // The work folders earlier runs left: store gets each marked copy's folder and message id,
    // oldest mark first; folders of messages that never left the mailbox are removed (kept
    // with DebugMode on, for a look).
    void RecoverKeptCopies(
        const std::function<void(const std::string& folder, const std::string& msgId)>& store);

    // Removes a work folder: the copy first, then the mark.
    static void RemoveFolder(const std::string& folder);
    static const char* const kMsgBodyName;

  private:
    const TSettings& settings_;
    TLog log_;
    // The run's work folder (ending with "/"; empty when none), its mark open for
    // rewriting, and whether the folder's entry in the Inbox is on disk yet.
    std::string workFolder_;
    TUniqueFd deleteMark_;
    int markError_ = 0;  // why the mark could not be made, when it could not
    bool workFolderFlushed_ = false;
    // The raw message of the message being handled; empty when none.
    std::string msgBodyFile_;
};
