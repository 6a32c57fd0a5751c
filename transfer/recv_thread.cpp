// The receive run: count, then fetch, delete and store each message, then the summary.

#include "transfer/recv_thread.h"

#include <unistd.h>

#include <exception>
#include <stdexcept>

#include "common/base/atomic_file.h"
#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/base/message_pump.h"
#include "common/folder_counters.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "https/ipshttps.h"
#include "mail/orv_msg.h"
#include "transfer/connection_alive.h"

namespace {

constexpr int kCountAttempts = 3;
constexpr int kFetchAttempts = 4;
// Keeps a failing service from being polled in a tight loop.
constexpr int kRetryPauseMs = 15000;

// A message id as part of a file name: letters, digits, ".", "-" and "_" only.
std::string FileNamePart(const std::string& msgId) {
    std::string part;
    for (char c : msgId.substr(0, 40)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        part += plain ? c : '_';
    }
    return part;
}

}  // namespace

TRecvThread::TRecvThread(IMainView* view, TEndHandler receiveFinish)
    : TRecvThread(view, std::move(receiveFinish), TNoStart{}) {
    Start();
}

TRecvThread::TRecvThread(IMainView* view, TEndHandler receiveFinish, TNoStart)
    : wndHandle_(view), receiveFinish_(std::move(receiveFinish)) {
    OnTerminate = receiveFinish_;
}

TRecvThread::~TRecvThread() = default;

void TRecvThread::Execute() {
    Log("Receive thread execute", 2);
    received_ = 0;
    counters_ = TMessageCounters{};
    const std::string address = CompanyInfo.EmailAddr;
    ShowActivity();
    Log("Recv: Receive mails for " + address, 1);
    try {
        if (!ConnectionInfo.LeaseLine && !ConnectionAlive()) {
            Log("Remote connection not available", 2);
            throw std::runtime_error("Remote connection not available");
        }
        ReceiveMails(address, CompanyInfo.LoginID, CompanyInfo.Password);
    } catch (const std::exception& e) {
        Log("Recv: Error occurred when receiving mails for " + address + ". Reason: " + e.what(),
            1);
    }

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
        const int n = k + 1;
        const std::string& msgId = ids[static_cast<std::size_t>(k)];
        RefreshCounters();
        if (!ConnectionInfo.LeaseLine && !ConnectionAlive()) {
            Log("Recv: Remote connection not available", 1);
            continue;
        }
        for (int attempt = 1; attempt <= kFetchAttempts; ++attempt) {
            Log("Recv: Retrieving the " + std::to_string(n) + OrdinalSuffix(n) +
                    " message from mailbox.",
                2);
            Log("Recv: Message Id = " + msgId, 2);
            auto message = std::make_unique<TOrvMsg>();
            progressText_ = std::to_string(n) + " of " + std::to_string(count);
            if (attempt > 1) progressText_ += " (Retry " + std::to_string(attempt - 1) + ")";
            labelText_ = "Receiving message " + progressText_;
            ShowPosition();

            bool ok = false;
            bool fetched = false;
            deleteRequested_ = false;
            try {
                fetched = GetMessageContent(userId, loginId, password, msgId, *message);
                ok = fetched;
                // With DebugMode on, messages stay in the mailbox.
                if (ok && !DebugMode) {
                    Log("Recv: Delete the message in mailbox", 2);
                    ok = DeleteMessage(userId, loginId, password, msgId);
                }
            } catch (...) {
                // Once the delete went out the copy on disk may be the only one left.
                if (deleteRequested_)
                    KeepFailedMessage(msgId);
                else
                    RemoveWorkFolder();
                throw;
            }
            if (ok) {
                ++received_;
                try {
                    ProcessMessage(*message, counters_);
                    RemoveWorkFolder();
                } catch (...) {
                    // ProcessMessage logged why; the raw message must not be lost with it.
                    KeepFailedMessage(msgId);
                }
            } else {
                // A failed delete leaves the message in the mailbox; it is fetched again.
                RemoveWorkFolder();
            }
            if (!fetched) SleepMs(kRetryPauseMs);
            message.reset();
            lastOk = ok;
            if (ok) break;
        }
    }
    if (!lastOk) Log("Recv: Unable to receiving mails for " + CompanyInfo.EmailAddr + ".", 1);
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

void TRecvThread::RemoveWorkFolder() {
    if (!msgBodyFile_.empty()) DeleteFile(msgBodyFile_);
    if (!workFolder_.empty()) ::rmdir(workFolder_.c_str());
    ForgetWorkFolder();
}

void TRecvThread::ForgetWorkFolder() {
    msgBodyFile_.clear();
    workFolder_.clear();
}

void TRecvThread::KeepFailedMessage(const std::string& msgId) {
    if (msgBodyFile_.empty()) return;
    const std::string folder = IncludeTrailingPathDelimiter(ProgramInfo.ErrorPath);
    const std::string base =
        folder + "RECV_" + FormatDateTime("yyyyMMddhhnnss", Now()) + "_" + FileNamePart(msgId);
    std::string target = base + ".eml";
    for (int n = 1; FileExists(target) && n < 1000; ++n)
        target = base + "_" + std::to_string(n) + ".eml";
    try {
        ForceDirectoriesSynced(folder);
        CopyFileAtomic(msgBodyFile_, target);
    } catch (const std::exception& e) {
        // The work folder keeps the only copy: leave it where it is.
        Log("Recv: Unable to move the received message to the Error folder. It is kept in " +
                msgBodyFile_ + ". Reason: " + e.what(),
            1);
        ForgetWorkFolder();
        return;
    }
    Log("Recv: The received message could not be stored and was moved to " + target, 1);
    RemoveWorkFolder();
}
