#pragma once

// The receive cycle: a worker thread that counts the company's web mailbox, then fetches,
// deletes and stores every waiting message, and reports progress to the main window. The
// mailbox calls are the web-mail client's (webmail_client.h); the copies kept on disk while a
// message travels, and their recovery after a crash, are the Inbox journal's
// (inbox_journal.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/base/worker_thread.h"
#include "common/settings.h"
#include "transfer/inbox_journal.h"
#include "transfer/process_message.h"
#include "transfer/transfer_outcome.h"
#include "transfer/webmail_client.h"

class IMainView;
class TOrvMsg;

class TRecvThread : public TWorkerThread {
  public:
    using TEndHandler = std::function<void(TWorkerThread& thread)>;

    // view (the main window; may be null) gets the receive label and activity through
    // synchronized calls; receiveFinish runs on the main thread after the run. settings are
    // those of the moment the cycle started. Start() starts it.
    TRecvThread(TSettingsSnapshot settings, IMainView* view, TEndHandler receiveFinish);
    ~TRecvThread() override;

    // What became of each message, and the run's failure; read it in the end handler.
    const TReceiveOutcome& Outcome() const { return outcome_; }

  protected:
    void Execute() override;

    // Stores the marked copies that earlier runs left in the Inbox, oldest mark first, and
    // removes the work folders of messages that never left the mailbox. The delete of each
    // marked copy goes out again first, and its id is not fetched in this run: a delete cut
    // off by a kill may never have reached the mailbox.
    void ProcessKeptMessages();
    // Count, then fetch, delete and store each message.
    void ReceiveMails(const std::string& userId, const std::string& loginId,
                      const std::string& password);
    // The number of waiting messages (0 for an empty mailbox, -1 on failure); fills ids.
    int GetMessageCount(const std::string& userId, const std::string& loginId,
                        const std::string& password, std::vector<std::string>& ids);
    // Fetches one message into the journal's copy and parses it. On success the copy stays
    // until the message is stored or kept in the Error folder.
    bool GetMessageContent(const std::string& userId, const std::string& loginId,
                           const std::string& password, const std::string& msgId, TOrvMsg& message);
    // True when the mailbox confirmed the deletion. The copy is marked before the call goes
    // out; when that fails the delete is not sent.
    bool DeleteMessage(const std::string& userId, const std::string& loginId,
                       const std::string& password, const std::string& msgId);

    // Every line of this thread goes to the log through here, with any password hidden.
    void Log(const std::string& message, int level) const;

    const TSettings& Settings() const { return *settings_; }
    TWebMailClient& WebMail() { return webMail_; }
    TInboxJournal& Journal() { return journal_; }

  private:
    void ShowActivity();
    void ShowPosition();
    // Up to four attempts to fetch, delete and store one message; true when it was received.
    bool ReceiveMessage(const std::string& userId, const std::string& loginId,
                        const std::string& password, const std::string& msgId, int n, int count);
    // Stores the parsed message and counts it as received; then removes its copy, or moves
    // the raw message to the Error folder when it could not be stored.
    // resume: the copy of an earlier run, which may have stored part of it already.
    void StoreMessage(TOrvMsg& message, const std::string& msgId, bool resume = false);
    // Parses and stores the marked copy in folder as a freshly fetched message.
    void StoreKeptCopy(const std::string& folder, const std::string& msgId, bool resume = false);
    // Sends the delete of a message whose kept copy is about to be stored; true when the
    // mailbox confirmed that the message is gone (deleted now, or unknown to it).
    bool DeleteKeptMessage(const std::string& msgId);
    // Moves the copy of a message that could not be stored to the Error folder; damage, when
    // given, is why a message whose content was stored (the files in stored) is kept whole.
    void KeepFailedMessage(const std::string& msgId, const std::string& damage = "",
                           std::vector<std::string> stored = {});

    TSettingsSnapshot settings_;
    TReceiveOutcome outcome_;
    IMainView* wndHandle_;
    TEndHandler receiveFinish_;
    TWebMailClient webMail_;
    TInboxJournal journal_;
    std::string labelText_;
    std::string progressText_;

    int received_ = 0;
    TMessageCounters counters_;
    // The delete of the current message may have reached the mailbox.
    bool deleteRequested_ = false;
    // The last fetch was answered "no such message id".
    bool messageMissing_ = false;
    // Why the last attempt at the current message left it in the mailbox.
    std::string leftReason_;
    // The work folder of a copy whose delete went out without a confirmation; empty when
    // none. The next fetch of the message tells whether the copy is still needed.
    std::string unconfirmedFolder_;
    // The ids stored from kept copies in this run: not fetched again.
    std::set<std::string> storedFromCopies_;
};
