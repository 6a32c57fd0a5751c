#pragma once

// The receive cycle: a worker thread that logs in to the company's web mailbox with three
// kinds of GET (count, retrieve, delete; URL formats from the settings), fetches, deletes and
// stores every waiting message, and reports progress to the main window.
//
// A fetched message is kept on disk (in the run's work folder in the Inbox, INBOX/~qbXXXX/
// MsgBody.txt, written whole) before it is deleted from the mailbox, and is removed only
// once ProcessMessage stored what it carries. Right before the delete goes out the message
// id is written into the folder's mark (Deleting.txt, empty otherwise) and both are flushed
// to disk: from then on the copy may be the only one left. When storing fails the raw
// message moves to the Error folder. A copy that has to stay (its delete got no answer, or
// the Error folder cannot take it) keeps its folder; the run goes on in a new one.
//
// A run that ends before a marked copy was stored (the program was killed, the machine
// lost power) leaves its work folder behind; the next run stores it before it counts the
// mailbox. An unmarked copy belongs to a message whose delete never went out: the message
// is still in the mailbox and the copy is only removed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/base/unique_handle.h"
#include "common/base/worker_thread.h"
#include "common/settings.h"
#include "transfer/process_message.h"
#include "transfer/transfer_outcome.h"

class IMainView;
class TOrvMsg;
class TPumpTimer;
class TipsHTTPS;

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
    // removes the work folders of messages that never left the mailbox.
    void ProcessKeptMessages();
    // Count, then fetch, delete and store each message.
    void ReceiveMails(const std::string& userId, const std::string& loginId,
                      const std::string& password);
    // The number of waiting messages (0 for an empty mailbox, -1 on failure); fills ids.
    int GetMessageCount(const std::string& userId, const std::string& loginId,
                        const std::string& password, std::vector<std::string>& ids);
    // Fetches one message into the work folder and parses it. On success the raw message
    // stays in the work folder until it is stored (RemoveCopy) or kept in the Error folder
    // (KeepFailedMessage).
    bool GetMessageContent(const std::string& userId, const std::string& loginId,
                           const std::string& password, const std::string& msgId, TOrvMsg& message);
    // True when the mailbox confirmed the deletion. The current work folder is marked
    // before the call goes out; when that fails the delete is not sent.
    bool DeleteMessage(const std::string& userId, const std::string& loginId,
                       const std::string& password, const std::string& msgId);
    // One GET of url: true when it succeeded with "200 OK". The body is left in
    // responseText_ and, when localFile is given, written there byte for byte.
    bool GetHttpsMsg(const std::string& url, const std::string& localFile);
    // True when the trimmed body is a return code (at most 5 characters, an integer).
    bool ReturnCodeEmbedded(int& code) const;
    std::string ReturnCodeText(int code) const;

    // Every line of this thread goes to the log through here, with any password hidden.
    void Log(const std::string& message, int level) const;

  private:
    void ShowActivity();
    void ShowPosition();
    // Up to four attempts to fetch, delete and store one message; true when it was received.
    bool ReceiveMessage(const std::string& userId, const std::string& loginId,
                        const std::string& password, const std::string& msgId, int n, int count);
    // Makes the run's work folder when there is none; msgBodyFile_ names the copy in it.
    void MakeWorkFolder();
    // Writes msgId into the mark and flushes it with the copy; false when that failed.
    bool MarkDeleteSent(const std::string& msgId);
    // Counts the parsed message as received and stores it; then removes its copy, or moves
    // the raw message to the Error folder when it could not be stored.
    void StoreMessage(TOrvMsg& message, const std::string& msgId);
    // Parses and stores the marked copy in folder as a freshly fetched message.
    void StoreKeptCopy(const std::string& folder, const std::string& msgId);
    // Removes the copy of the current message and clears the mark; the folder stays for
    // the next message.
    void RemoveCopy();
    // Leaves the copy and its folder in place; the next message gets a new folder.
    void LeaveCopy();
    // At the end of the run: removes the work folder, which then holds no copy.
    void CloseWorkFolder();
    // Moves the raw message of a message that could not be stored to the Error folder.
    void KeepFailedMessage(const std::string& msgId);

    // Event handlers of the running request.
    void HttpsConnected(TipsHTTPS* sender, int statusCode, const std::string& description);
    void HttpsDisconnected(TipsHTTPS* sender, int statusCode, const std::string& description);
    void HttpsHeader(TipsHTTPS* sender, const std::string& field, const std::string& value);
    void HttpsStartTransfer(TipsHTTPS* sender, int direction);
    void HttpsTransfer(TipsHTTPS* sender, int direction, int64_t bytesTransferred,
                       const std::string& text);
    void HttpsEndTransfer(TipsHTTPS* sender, int direction);
    void HttpsSSLServerAuthentication(TipsHTTPS* sender, long certHandle,
                                      const std::string& certSubject, const std::string& certIssuer,
                                      const std::string& status, bool& accept);
    void HttpsSSLStatus(TipsHTTPS* sender, const std::string& message);
    void TimeoutTimerTimer();
    // Arms the inactivity timer for a full interval (when a time-out is set).
    void RestartTimeoutTimer();

    TSettingsSnapshot settings_;
    TReceiveOutcome outcome_;
    IMainView* wndHandle_;
    TEndHandler receiveFinish_;
    std::string labelText_;
    std::string progressText_;
    int32_t contentLength_ = 0;
    bool retrieving_ = false;
    bool inTransfer_ = false;
    TipsHTTPS* https_ = nullptr;
    std::unique_ptr<TPumpTimer> timeoutTimer_;
    std::string responseText_;

    int received_ = 0;
    TMessageCounters counters_;
    // The run's work folder (ending with "/"; empty when none), its mark open for
    // rewriting, and whether the folder's entry in the Inbox is on disk yet.
    std::string workFolder_;
    TUniqueFd deleteMark_;
    bool workFolderFlushed_ = false;
    // The raw message of the message being handled; empty when none.
    std::string msgBodyFile_;
    // The delete of the current message may have reached the mailbox.
    bool deleteRequested_ = false;
    // The last fetch was answered "no such message id".
    bool messageMissing_ = false;
    // The work folder of a copy whose delete went out without a confirmation; empty when
    // none. The next fetch of the message tells whether the copy is still needed.
    std::string unconfirmedFolder_;
};

// Reads a count answer: count "/" id ";" id ";" ... Fills ids with the first count ids and
// returns true, or returns false ("Unknown content") without "/" or with too few ids. A count
// prefix that is not a number raises EConvertError. A count of 0 or less gives no ids.
bool ParseCountAnswer(const std::string& body, int& count, std::vector<std::string>& ids);

// The text as an integer (TryStrToInt of common/base/text.h); raises EConvertError
// "'text' is not a valid integer value" otherwise.
int32_t StrToInt(const std::string& text);

// text with every occurrence of the receive side's passwords (the company password, the
// receive proxy and firewall passwords, as typed and as they travel in a URL) replaced by
// "********".
std::string HidePasswords(const std::string& text);
