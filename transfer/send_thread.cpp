#include "transfer/send_thread.h"

#include <filesystem>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/folder_counters.h"
#include "common/lookups.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "dialup/ras_conn.h"
#include "transfer/connection_alive.h"

namespace {

constexpr int kPasses = 3;
constexpr int kAttempts = 3;

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

TUploadSettings SendSettings(const std::string& urlFormat, const std::string& receiver) {
    const TConnectionInfo& c = ConnectionInfo;
    TUploadSettings s;
    s.UrlFormat = urlFormat;
    s.Receiver = receiver;
    s.Sender = CompanyInfo.EmailAddr;
    s.UseProxy = c.SendUseProxy;
    s.ProxyServer = c.SendProxyAddr;
    s.ProxyPort = c.SendProxyPort;
    s.ProxyUser = c.SendProxyUserID;
    s.ProxyPassword = c.SendProxyPassword;
    s.UseFirewall = c.SendUseFirewall;
    s.FirewallType = c.FirewallType;
    s.FirewallHost = c.SendFirewallAddr;
    s.FirewallPort = c.SendFirewallPort;
    s.FirewallUser = c.SendFirewallUserID;
    s.FirewallPassword = c.SendFirewallPassword;
    s.TimeoutSeconds = c.Timeout;
    return s;
}

}  // namespace

TSendThread::TSendThread(IMainView* view, TEndHandler sendFinish) : view_(view) {
    SendIdle = false;
    OnTerminate = std::move(sendFinish);
    Start();
}

void TSendThread::ShowSendActivity() {
    Synchronize([this] {
        if (!view_) return;
        view_->SetAnimation(TMainTransfer::Send, true);
        view_->SetProgress(TMainTransfer::Send, true, 0);
    });
}

void TSendThread::ShowStatus() {
    Synchronize([this] {
        if (view_) view_->SetText(TMainText::SendFile, "Sending " + StatusText);
    });
}

void TSendThread::MoveToErrorFolder(const std::string& outboxFile) {
    const std::string name = ExtractFileName(outboxFile);
    try {
        MoveFileAtomic(outboxFile, ProgramInfo.ErrorPath + name);
        WriteLog("Move file: " + name + " to " + ProgramInfo.ErrorPath, 1);
    } catch (const std::exception& e) {
        // Never sent and not in the Error folder either: it stays where it is.
        WriteLog("Fail to copy file: " + name + " to " + ProgramInfo.ErrorPath, 1);
        WriteLog("Send: " + name + " stays in the Outbox. Reason: " + e.what(), 1);
    }
}

void TSendThread::FileSent(const std::string& outboxFile) {
    const std::string name = ExtractFileName(outboxFile);
    try {
        MoveFileAtomic(outboxFile, ProgramInfo.SentboxPath + name);
        return;
    } catch (const std::exception& e) {
        WriteLog("Fail to copy file to Sentbox", 1);
        // Sent, so it must not be sent again, and it must not be lost either: it stays in
        // the Outbox under a name the scan passes over.
        const std::string kept = outboxFile + ".sent";
        if (::rename(outboxFile.c_str(), kept.c_str()) == 0)
            WriteLog("Send: " + name + " was sent and is kept in the Outbox as " +
                         ExtractFileName(kept) + ". Reason: " + e.what(),
                     1);
        else
            WriteLog("Send: " + name + " was sent but stays in the Outbox. Reason: " + e.what(), 1);
    }
}

void TSendThread::Execute() {
    WriteLog("Send thread execute", 1);
    int sent = 0;
    struct TClosingLines {
        const int& sent;
        const int& result;
        ~TClosingLines() {
            WriteLog("Send: " + std::to_string(sent) + " file(s) successfully sent", 1);
            WriteLog("Send: Terminating Send thread, return value = " + std::to_string(result), 2);
        }
    } closing{sent, returnValue_};
    RunPasses(sent);
}

void TSendThread::RunPasses(int& sent) {
    const std::string& sender = CompanyInfo.EmailAddr;
    for (int pass = 0; pass < kPasses; ++pass) {
        const std::size_t count = OutboxQueue.Count();
        std::size_t skipped = 0;
        int attempt = 0;
        if (!ProgramInfo.AutoImport) return;
        std::string messageFile, service, receiver, urlFormat;
        for (std::size_t i = 0; i < count;) {
            RefreshCounters();
            if (!ProgramInfo.AutoImport) break;
            if (!ConnectionInfo.LeaseLine && DVR_RASConn == 0) break;
            ShowSendActivity();
            const std::string path = OutboxQueue[i];
            const std::size_t number = i - skipped + 1;
            StatusText = std::to_string(number) + OrdinalSuffix(static_cast<int>(number)) +
                         " file: " + ExtractFileName(path);
            if (attempt > 0) StatusText += " - Retry(" + std::to_string(attempt) + ")";
            if (attempt == 0) {
                if (!Exists(path)) {
                    WriteLog("Send: Unable to send " + path + ".  Sender: " + sender + ". " +
                                 "File does not exists",
                             1);
                    ++skipped;
                    ++i;
                    continue;
                }
                service.clear();
                receiver.clear();
                urlFormat.clear();
                LookupService(path, service, receiver, urlFormat);
                if (receiver.empty() || urlFormat.empty()) {
                    WriteLog("Send: Unable to send " + path + ".  Sender: " + sender + ". " +
                                 "Receiver E-mail or WebMailSender not found",
                             1);
                    MoveToErrorFolder(path);
                    ++skipped;
                    ++i;
                    continue;
                }
                try {
                    messageFile = BuildMessageFile(path, service, receiver);
                } catch (const EUnsendableFile& e) {
                    WriteLog(
                        "Send: Unable to send " + path + ".  Sender: " + sender + ". " + e.what(),
                        1);
                    MoveToErrorFolder(path);
                    ++skipped;
                    ++i;
                    continue;
                }
            }
            if (!ConnectionInfo.LeaseLine && !ConnectionAlive()) {
                WriteLog("Send: Remote connection not available", 1);
                RemoveFile(messageFile);
                ++skipped;
                attempt = 0;
                ++i;
                continue;
            }
            ShowStatus();
            WriteLog("Http_SendFile(FileName = " + messageFile + " through Http from " + sender +
                         " to " + receiver +
                         ", WebProxy = " + BoolToText(ConnectionInfo.SendUseProxy) + " )",
                     2);
            returnValue_ = Http_SendFile(messageFile, SendSettings(urlFormat, receiver));
            if (returnValue_ == 0) {
                attempt = 0;
                ++sent;
                MessageSent = true;
                WriteLog("Send: " + messageFile + " successfully sent. Sender: " + sender + ", " +
                             "Receiver: " + receiver + ", WebMailSender: " + urlFormat,
                         1);
                RemoveFile(messageFile);
                FileSent(path);
                ++i;
            } else {
                WriteLog("Send: Unable to send " + messageFile + ".  Sender: " + sender + ", " +
                             "Receiver: " + receiver + ", WebMailSender: " + urlFormat,
                         1);
                if (++attempt == kAttempts) {
                    RemoveFile(messageFile);
                    MoveToErrorFolder(path);
                    attempt = 0;
                    ++i;
                }
            }
        }
        if (!ProgramInfo.AutoImport) return;
        ScanOutbox();
    }
}
