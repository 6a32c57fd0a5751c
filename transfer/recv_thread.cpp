// The receive run: count, then fetch, delete and store each message, then the summary.

#include "transfer/recv_thread.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

#include "common/base/datetime.h"
#include "common/base/main_view.h"
#include "common/base/message_pump.h"
#include "common/base/text.h"
#include "common/file_digest.h"
#include "common/folder_counters.h"
#include "common/syslog.h"
#include "common/window_messages.h"
#include "mail/headers.h"
#include "mail/orv_msg.h"
#include "transfer/connection_alive.h"

namespace {

constexpr int kCountAttempts = 3;
constexpr int kFetchAttempts = 4;
// Keeps a failing service from being polled in a tight loop.
constexpr int kRetryPauseMs = 15000;
// How much of an answer that is not a mail the log shows.
constexpr std::size_t kExcerptBytes = 120;

// text for one log line: control bytes as \xNN, at most limit bytes of it.
std::string Visible(const std::string& text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 32 || c == 127) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return text.size() > limit ? out + "..." : out;
}

}  // namespace

TRecvThread::TRecvThread(TSettingsSnapshot settings, IMainView* view, TEndHandler receiveFinish)
    : settings_(std::move(settings)),
      wndHandle_(view),
      receiveFinish_(std::move(receiveFinish)),
      webMail_(*settings_),
      journal_(*settings_, [this](const std::string& line, int level) { Log(line, level); }) {
    OnTerminate = receiveFinish_;
}

TRecvThread::~TRecvThread() = default;

void TRecvThread::Log(const std::string& message, int level) const {
    WriteLog(HidePasswords(*settings_, message), level);
}

void TRecvThread::Execute() {
    Log("Receive thread execute", 2);
    received_ = 0;
    counters_ = TMessageCounters{};
    const TCompanyInfo& company = settings_->CompanyInfo;
    const std::string address = company.EmailAddr;
    ShowActivity();
    Log("Recv: Receive mails for " + address, 1);
    try {
        // Before the count: a kept copy is older than anything still in the mailbox.
        ProcessKeptMessages();
        if (!settings_->ConnectionInfo.LeaseLine && !ConnectionAlive()) {
            Log("Remote connection not available", 2);
            throw std::runtime_error("Remote connection not available");
        }
        ReceiveMails(address, company.LoginID, company.Password);
    } catch (const std::exception& e) {
        const std::string line =
            "Recv: Error occurred when receiving mails for " + address + ". Reason: " + e.what();
        Log(line, 1);
        if (outcome_.Failure.empty()) {
            outcome_.Failure = HidePasswords(*settings_, line);
            outcome_.FailureReason = HidePasswords(*settings_, e.what());
        }
    }
    outcome_.Received = received_;
    journal_.CloseWorkFolder();

    std::string summary =
        "Receive: " + std::to_string(received_) + " message(s) was/were received.";
    const TMessageCounters& c = counters_;
    if (c.AutoUpgrade > 0 || c.Email > 0 || c.Encrypted > 0 || c.Receipt > 0) {
        summary += " (";
        if (c.AutoUpgrade > 0) summary += " " + std::to_string(c.AutoUpgrade) + " AutoUpgrade,";
        if (c.Email > 0) summary += " " + std::to_string(c.Email) + " Email";
        if (summary.back() == ',') summary.pop_back();
        summary += " )";
    }
    Log(summary, 1);
    long inError = 0, inWorkFolder = 0, damaged = 0;
    for (const TMessageOutcome& m : outcome_.Messages) {
        if (m.Fate == TMessageFate::KeptInError) ++inError;
        if (m.Fate == TMessageFate::KeptInWorkFolder) ++inWorkFolder;
        if (m.Fate == TMessageFate::Damaged) ++damaged;
    }
    if (damaged > 0)
        Log("Receive: " + std::to_string(damaged) +
                " message(s) ended before their closing boundary: what they carry was stored as "
                "far as it goes, and the whole message(s) went to the Error folder.",
            1);
    if (inError > 0)
        Log("Receive: " + std::to_string(inError) +
                " message(s) could not be stored and went to the Error folder.",
            1);
    if (inWorkFolder > 0)
        Log("Receive: " + std::to_string(inWorkFolder) +
                " message(s) could not be stored and stay in the Inbox work folder.",
            1);
}

void TRecvThread::ProcessKeptMessages() {
    journal_.RecoverKeptCopies([this](const std::string& folder, const std::string& msgId) {
        if (!msgId.empty()) {
            // The copy is stored once, whatever the delete's answer: never lost, and left
            // out of this run's fetches.
            DeleteKeptMessage(msgId);
            storedFromCopies_.insert(msgId);
        }
        StoreKeptCopy(folder, msgId, true);
    });
}

void TRecvThread::ReceiveMails(const std::string& userId, const std::string& loginId,
                               const std::string& password) {
    Log("Recv: Https Login Params:", 2);
    Log("  User ID  : " + userId, 2);
    Log("  Login ID : " + loginId, 2);

    std::vector<std::string> ids;
    int count = -1;
    for (int attempt = 1; attempt <= kCountAttempts; ++attempt) {
        Log("Recv: Get Message Count", 2);
        ids.clear();
        count = GetMessageCount(userId, loginId, password, ids);
        if (count != -1) {
            Log("Recv: " + std::to_string(count) + " mails in mailbox.", 1);
            break;
        }
        SleepMs(kRetryPauseMs);
    }

    bool lastOk = count != -1;
    for (int k = 0; k < count; ++k) {
        const std::string& msgId = ids[static_cast<std::size_t>(k)];
        if (storedFromCopies_.count(msgId) > 0) {
            Log("Recv: Message Id = " + msgId +
                    " was stored from its kept copy; it is not fetched again.",
                1);
            continue;
        }
        if (!IsSendableMessageId(msgId)) {
            // It would reach the request head: nothing is fetched or deleted for it.
            const std::string line =
                "Recv: Message Id = " + Visible(msgId, msgId.size()) +
                " is refused: it holds a blank or a control character. The message stays in "
                "the mailbox.";
            Log(line, 1);
            outcome_.Messages.push_back(
                {msgId, TMessageFate::LeftInMailbox, {}, "", HidePasswords(*settings_, line)});
            lastOk = false;
            continue;
        }
        RefreshCounters(*settings_);
        if (!settings_->ConnectionInfo.LeaseLine && !ConnectionAlive()) {
            const std::string line = "Recv: Remote connection not available";
            Log(line, 1);
            outcome_.Messages.push_back({msgId, TMessageFate::LeftInMailbox, {}, "", line});
            continue;
        }
        lastOk = ReceiveMessage(userId, loginId, password, msgId, k + 1, count);
    }
    if (!lastOk) {
        const std::string line = "Recv: Unable to receiving mails for " + userId + ".";
        Log(line, 1);
        if (outcome_.Failure.empty()) outcome_.Failure = line;
    }
}

bool TRecvThread::ReceiveMessage(const std::string& userId, const std::string& loginId,
                                 const std::string& password, const std::string& msgId, int n,
                                 int count) {
    const std::size_t told = outcome_.Messages.size();
    leftReason_.clear();
    bool ok = false;
    for (int attempt = 1; attempt <= kFetchAttempts && !ok; ++attempt) {
        Log("Recv: Retrieving the " + std::to_string(n) + OrdinalSuffix(n) +
                " message from mailbox.",
            2);
        Log("Recv: Message Id = " + msgId, 2);
        auto message = std::make_unique<TOrvMsg>();
        progressText_ = std::to_string(n) + " of " + std::to_string(count);
        if (attempt > 1) progressText_ += " (Retry " + std::to_string(attempt - 1) + ")";
        labelText_ = "Receiving message " + progressText_;
        ShowPosition();

        bool fetched = false;
        deleteRequested_ = false;
        messageMissing_ = false;
        try {
            fetched = GetMessageContent(userId, loginId, password, msgId, *message);
            ok = fetched;
            if (fetched && !unconfirmedFolder_.empty()) {
                // Still in the mailbox: the earlier delete did not take, its copy is not
                // needed.
                Log("Recv: The message is still in the mailbox; removing its earlier copy " +
                        unconfirmedFolder_ + TInboxJournal::kMsgBodyName,
                    2);
                TInboxJournal::RemoveFolder(unconfirmedFolder_);
                unconfirmedFolder_.clear();
            }
            // With DebugMode on, messages stay in the mailbox.
            if (ok && !settings_->DebugMode) {
                Log("Recv: Delete the message in mailbox", 2);
                ok = DeleteMessage(userId, loginId, password, msgId);
            }
        } catch (...) {
            // Once the delete went out the copy on disk may be the only one left; it is
            // marked, so the next run stores it.
            if (deleteRequested_)
                journal_.LeaveCopy();
            else
                journal_.RemoveCopy();
            throw;
        }
        if (ok) {
            StoreMessage(*message, msgId);
        } else if (deleteRequested_) {
            // The mailbox may or may not still hold the message: keep the copy until a fetch
            // tells.
            unconfirmedFolder_ = journal_.WorkFolder();
            journal_.LeaveCopy();
        } else {
            // A failed delete leaves the message in the mailbox; it is fetched again.
            journal_.RemoveCopy();
        }
        if (messageMissing_ && !unconfirmedFolder_.empty()) {
            // The earlier delete took effect after all: the copy is the message.
            Log("Recv: The message left the mailbox after a delete that was not confirmed; "
                "storing its copy " +
                    unconfirmedFolder_ + TInboxJournal::kMsgBodyName,
                1);
            StoreKeptCopy(std::exchange(unconfirmedFolder_, ""), msgId);
            ok = true;
        }
        if (!fetched && !ok) SleepMs(kRetryPauseMs);
    }
    if (!unconfirmedFolder_.empty()) {
        // Stored now, in its place among the messages of this run: should the mailbox still
        // hold it, it is stored once more, with the same content, when it is fetched again.
        Log("Recv: The delete of the message was never confirmed; storing its copy " +
                unconfirmedFolder_ + TInboxJournal::kMsgBodyName,
            1);
        StoreKeptCopy(std::exchange(unconfirmedFolder_, ""), msgId);
    }
    if (outcome_.Messages.size() == told)
        outcome_.Messages.push_back(
            {msgId, TMessageFate::LeftInMailbox, {}, "", HidePasswords(*settings_, leftReason_)});
    return ok;
}

void TRecvThread::StoreMessage(TOrvMsg& message, const std::string& msgId, bool resume) {
    std::vector<std::string> stored;
    outcome_.Heads[msgId] = {message.From(), message.Subject()};
    try {
        ProcessMessage(*settings_, message, counters_, &stored, resume);
    } catch (...) {
        // ProcessMessage logged why; the raw message must not be lost with it.
        KeepFailedMessage(msgId);
        return;
    }
    // Read now, before a program that takes files from the Inbox can.
    for (const std::string& path : stored) outcome_.Digests[path] = FileDigest(path);
    if (message.EndsEarly()) {
        // What could be read is stored; the rest exists only in the raw copy, which leaves
        // the mailbox only as a whole file in the Error folder.
        KeepFailedMessage(msgId, kEndsEarlyReason, std::move(stored));
        return;
    }
    journal_.RemoveCopy();
    // Only a stored message counts as received.
    ++received_;
    outcome_.Messages.push_back({msgId, TMessageFate::Stored, std::move(stored), "", ""});
}

void TRecvThread::StoreKeptCopy(const std::string& folder, const std::string& msgId, bool resume) {
    journal_.WithKeptCopy(folder, [&] {
        auto message = std::make_unique<TOrvMsg>();
        message->SetExpectedContentType(settings_->ProgramInfo.EmailContentType);
        try {
            // Earlier versions kept any answer; one that is no mail stays whole.
            if (!MailFileHasHeaderBlock(journal_.Copy()))
                throw std::runtime_error("the kept answer is not a mail");
            Log("Recv: ParseMsg", 2);
            message->ParseMsgFile(journal_.Copy());
            StoreMessage(*message, msgId, resume);
        } catch (const std::exception& e) {
            // No longer in the mailbox, so it cannot be fetched again.
            Log(std::string("Recv: Parse message content failed. Reason: ") + e.what(), 1);
            KeepFailedMessage(msgId);
        }
    });
}

void TRecvThread::KeepFailedMessage(const std::string& msgId, const std::string& damage,
                                    std::vector<std::string> stored) {
    if (journal_.Copy().empty()) return;
    outcome_.Messages.push_back(journal_.KeepFailedMessage(msgId, damage));
    const std::string& kept = outcome_.Messages.back().Where;
    if (!kept.empty()) outcome_.Digests[kept] = FileDigest(kept);
    outcome_.Messages.back().Files = std::move(stored);
}

void TRecvThread::ShowActivity() {
    if (!wndHandle_) return;
    Synchronize([this] {
        wndHandle_->SetAnimation(TMainTransfer::Receive, true);
        wndHandle_->SetProgress(TMainTransfer::Receive, true, 0);
    });
}

void TRecvThread::ShowPosition() {
    if (!wndHandle_) return;
    Synchronize([this] { wndHandle_->SetText(TMainText::ReceiveState, labelText_); });
}

int TRecvThread::GetMessageCount(const std::string& userId, const std::string& loginId,
                                 const std::string& password, std::vector<std::string>& ids) {
    if (!webMail_.Get(webMail_.CountUrl(userId, loginId, password), "", false)) {
        Log("Recv: Get Message Count failed. Body response: " + Trim(webMail_.Body()), 1);
        return -1;
    }
    int code = 0;
    if (webMail_.ReturnCodeEmbedded(code)) {
        if (code == 0) return 0;
        Log("Recv: Get Message Count failed. Reason: " + webMail_.ReturnCodeText(code), 1);
        return -1;
    }
    int count = 0;
    if (!ParseCountAnswer(webMail_.Body(), count, ids)) {
        Log("Recv: Get Message Count failed. Reason: Unknown content = " + Trim(webMail_.Body()),
            1);
        return -1;
    }
    return count;
}

bool TRecvThread::GetMessageContent(const std::string& userId, const std::string& loginId,
                                    const std::string& password, const std::string& msgId,
                                    TOrvMsg& message) {
    PostMainWindowMessage(WM_RECVPROGRESS, 0, 0);
    const std::string copy = journal_.NewCopy();
    Log("Recv: Temp file - " + copy, 2);

    // The message is still in the mailbox after a failure; DebugMode keeps the answer for a
    // look.
    const auto dropCopy = [this] {
        if (settings_->DebugMode)
            journal_.LeaveCopy();
        else
            journal_.RemoveCopy();
    };
    if (!webMail_.Get(webMail_.RetrieveUrl(userId, loginId, password, msgId), copy, true)) {
        leftReason_ = "Recv: Get Message Content failed. Body response: " + Trim(webMail_.Body());
        Log(leftReason_, 1);
        dropCopy();
        return false;
    }
    int code = 0;
    if (webMail_.ReturnCodeEmbedded(code)) {
        leftReason_ = "Recv: Get Message Content failed. Reason: " + webMail_.ReturnCodeText(code);
        Log(leftReason_, 1);
        messageMissing_ = code == -103;
        dropCopy();
        return false;
    }
    message.SetExpectedContentType(settings_->ProgramInfo.EmailContentType);
    try {
        if (!MailFileHasHeaderBlock(copy)) {
            // An error page or a status text answered with "200 OK": the message is still in
            // the mailbox and must stay there.
            leftReason_ =
                "Recv: Get Message Content failed. Reason: the answer for Message Id = " + msgId +
                " is not a mail. Body response: " + Visible(Trim(webMail_.Body()), kExcerptBytes);
            Log(leftReason_, 1);
            dropCopy();
            return false;
        }
        Log("Recv: ParseMsg", 2);
        message.ParseMsgFile(copy);
    } catch (const std::exception& e) {
        leftReason_ = std::string("Recv: Parse message content failed. Reason: ") + e.what();
        Log(leftReason_, 1);
        journal_.RemoveCopy();
        return false;
    }
    // The raw message stays until what it carries is stored.
    return true;
}

bool TRecvThread::DeleteKeptMessage(const std::string& msgId) {
    const TCompanyInfo& company = settings_->CompanyInfo;
    std::string reason;
    if (settings_->DebugMode) {
        reason = "DebugMode sends no delete";
    } else if (!IsSendableMessageId(msgId)) {
        reason = "the message id holds a blank or a control character";
    } else if (!settings_->ConnectionInfo.LeaseLine && !ConnectionAlive()) {
        reason = "Remote connection not available";
    } else {
        Log("Recv: Delete the message of the kept copy in mailbox, Message Id = " + msgId, 2);
        const std::string url =
            webMail_.DeleteUrl(company.EmailAddr, company.LoginID, company.Password, msgId);
        int code = 0;
        try {
            if (!webMail_.Get(url, "", false))
                reason = "Body response: " + Trim(webMail_.Body());
            else if (!webMail_.ReturnCodeEmbedded(code))
                reason = "Unknown answer: " + Trim(webMail_.Body());
            // -103: the mailbox no longer knows the id, the earlier delete took.
            else if (code == 0 || code == -103)
                return true;
            else
                reason = webMail_.ReturnCodeText(code);
        } catch (const std::exception& e) {
            // The copy is stored all the same; the run meets the same error at its count.
            reason = e.what();
        }
    }
    Log("Recv: The delete of the kept message " + msgId +
            " was not confirmed; it is stored once and not fetched in this run. Reason: " + reason,
        1);
    return false;
}

bool TRecvThread::DeleteMessage(const std::string& userId, const std::string& loginId,
                                const std::string& password, const std::string& msgId) {
    const std::string url = webMail_.DeleteUrl(userId, loginId, password, msgId);
    Log("Recv: Call GetHttpsMsg", 2);
    // The copy on disk tells that its delete went out before the delete can go out.
    if (!journal_.MarkDeleteSent(msgId)) {
        leftReason_ = "Recv: Delete Message not sent: the kept message could not be marked.";
        return false;
    }
    deleteRequested_ = true;
    if (!webMail_.Get(url, "", false)) {
        leftReason_ = "Recv: Delete Message failed. Body response: " + Trim(webMail_.Body());
        Log(leftReason_, 2);
        return false;
    }
    int code = 0;
    if (!webMail_.ReturnCodeEmbedded(code)) {
        leftReason_ = "Recv: Delete Message failed. Unknown answer: " + Trim(webMail_.Body());
        return false;
    }
    if (code == 0) return true;
    leftReason_ = "Recv: Delete Message failed. Reason: " + webMail_.ReturnCodeText(code);
    Log(leftReason_, 2);
    return false;
}
