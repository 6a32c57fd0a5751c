#include "transfer/send_thread.h"

#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/file_digest.h"
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

// The entry's own mode (a link is not followed); 0 when there is none.
unsigned EntryMode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Renames source into folder (on its file system) as name or the first free name after it;
// never replaces an entry, never opens or copies (a link moves as itself). The name used.
std::string RenameToFreeName(const std::string& source, const std::string& folder,
                             const std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string free = FreeNameIn(folder, name);
        if (free.empty()) break;
        if (RenameFileIfFree(source, folder + free)) return free;
    }
    throw EAtomicWriteError(
        "Unable to move " + source + " to " + folder + name + ": no free name in the folder",
        EEXIST);
}

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

TUploadSettings SendSettings(const TSettings& settings, const std::string& urlFormat,
                             const std::string& receiver) {
    TUploadSettings s;
    s.UrlFormat = urlFormat;
    s.Receiver = receiver;
    s.Sender = settings.CompanyInfo.EmailAddr;
    s.Route = SendRoute(settings);
    s.TimeoutSeconds = settings.ConnectionInfo.Timeout;
    return s;
}

}  // namespace

TSendThread::TSendThread(TSendJob job, IMainView* view, TEndHandler sendFinish)
    : job_(std::move(job)), settings_(*job_.Settings), view_(view) {
    OnTerminate = std::move(sendFinish);
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

void TSendThread::Record(const std::string& outboxFile, TFileFate fate, const std::string& reason,
                         const std::string& filedAs) {
    outcome_.Files.push_back({ExtractFileName(outboxFile), fate, reason, filedAs});
    // Read now, before a program that takes files from these folders can.
    if (fate == TFileFate::SentLeft)
        outcome_.Digests[outboxFile] = FileDigest(outboxFile);
    else if (fate == TFileFate::SentAndFiled || fate == TFileFate::SentKeptAsSent ||
             fate == TFileFate::MovedToError)
        outcome_.Digests[filedAs] = FileDigest(filedAs);
    if (FileFailed(fate) && outcome_.Failure.empty())
        outcome_.Failure = FileOutcomeText(outcome_.Files.back());
}

void TSendThread::MoveToErrorFolder(const std::string& outboxFile, const std::string& reason) {
    const std::string name = ExtractFileName(outboxFile);
    const std::string& errorPath = settings_.ProgramInfo.ErrorPath;
    try {
        // A file of the same name already there is never replaced.
        const std::string filed = S_ISREG(EntryMode(outboxFile))
                                      ? MoveFileAtomicToFreeName(outboxFile, errorPath, name)
                                      : RenameToFreeName(outboxFile, errorPath, name);
        if (filed == name)
            WriteLog("Move file: " + name + " to " + errorPath, 1);
        else
            WriteLog("Move file: " + name + " to " + errorPath + " as " + filed, 1);
        Record(outboxFile, TFileFate::MovedToError, reason, errorPath + filed);
    } catch (const std::exception& e) {
        // Never sent and not in the Error folder either: it stays where it is.
        WriteLog("Fail to copy file: " + name + " to " + errorPath, 1);
        WriteLog("Send: " + name + " stays in the Outbox. Reason: " + e.what(), 1);
        Record(outboxFile, TFileFate::LeftInOutbox, reason + " " + e.what());
    }
}

bool TSendThread::IsReadVersion(const std::string& path, bool moved) const {
    TFileVersion now;
    if (!FileVersionAt(path, now)) return false;
    if (moved && now.Device != readVersion_.Device)  // copied: size and time travel along
        return now.Size == readVersion_.Size && now.ModifiedNs == readVersion_.ModifiedNs;
    return now == readVersion_;
}

void TSendThread::KeepNewVersion(const std::string& outboxFile, const std::string& moved) {
    const std::string name = ExtractFileName(outboxFile);
    const std::string outbox = ExtractFilePath(outboxFile);
    const std::string reason = "Changed during its upload; the new version stays in the Outbox";
    std::string kept = name;
    if (!moved.empty()) {
        try {
            kept = MoveFileAtomicToFreeName(moved, outbox, name);
        } catch (const std::exception& e) {
            WriteLog("Send: " + name + " changed during its upload; the new version is kept as " +
                         moved + ". Reason: " + e.what(),
                     1);
            Record(outboxFile, TFileFate::LeftInOutbox, reason + " " + e.what(), moved);
            return;
        }
    }
    if (kept == name)
        WriteLog(
            "Send: " + name + " changed during its upload; the new version stays in the Outbox", 1);
    else
        WriteLog("Send: " + name +
                     " changed during its upload; the new version stays in the Outbox as " + kept,
                 1);
    Record(outboxFile, TFileFate::LeftInOutbox, reason, outbox + kept);
}

void TSendThread::FileSent(const std::string& outboxFile) {
    const std::string name = ExtractFileName(outboxFile);
    const std::string& sentbox = settings_.ProgramInfo.SentboxPath;
    // Only the version that was sent is filed: a file renamed over it or written to since
    // stays for the next scan. The check after the move closes the window before it.
    if (EntryMode(outboxFile) != 0 && !IsReadVersion(outboxFile, false))
        return KeepNewVersion(outboxFile, "");
    try {
        const std::string filed = MoveFileAtomicToFreeName(outboxFile, sentbox, name);
        if (!IsReadVersion(sentbox + filed, true))
            return KeepNewVersion(outboxFile, sentbox + filed);
        if (filed != name) WriteLog("Move file: " + name + " to " + sentbox + " as " + filed, 1);
        Record(outboxFile, TFileFate::SentAndFiled, "", sentbox + filed);
        return;
    } catch (const std::exception& e) {
        WriteLog("Fail to copy file to Sentbox", 1);
        // Sent, so it must not be sent again, and it must not be lost either: it stays in
        // the Outbox under a name the scan passes over.
        const std::string outbox = outboxFile.substr(0, outboxFile.size() - name.size());
        std::string kept;
        try {
            kept = outbox + RenameToFreeName(outboxFile, outbox, name + ".sent");
        } catch (const std::exception&) {
        }
        if (!kept.empty() && !IsReadVersion(kept, true)) return KeepNewVersion(outboxFile, kept);
        if (!kept.empty()) {
            WriteLog("Send: " + name + " was sent and is kept in the Outbox as " +
                         ExtractFileName(kept) + ". Reason: " + e.what(),
                     1);
            Record(outboxFile, TFileFate::SentKeptAsSent, e.what(), kept);
        } else {
            WriteLog("Send: " + name + " was sent but stays in the Outbox. Reason: " + e.what(), 1);
            Record(outboxFile, TFileFate::SentLeft, e.what());
        }
    }
}

void TSendThread::DropWorkFiles(std::string& messageFile) {
    RemoveFile(messageFile);
    messageFile.clear();
    if (workFolder_.empty()) return;
    std::error_code ignored;
    if (settings_.DebugMode)
        std::filesystem::remove(workFolder_, ignored);  // only when nothing else is kept there
    else
        std::filesystem::remove_all(workFolder_, ignored);
    workFolder_.clear();
}

void TSendThread::Execute() {
    WriteLog("Send thread execute", 1);
    int sent = 0;
    struct TClosingLines {
        const int& sent;
        const int& result;
        // A destructor: a log that cannot be written must not end the program here.
        ~TClosingLines() {
            WriteLogQuietly("Send: " + std::to_string(sent) + " file(s) successfully sent", 1);
            WriteLogQuietly(
                "Send: Terminating Send thread, return value = " + std::to_string(result), 2);
        }
    } closing{sent, returnValue_};
    RunPasses(sent);
}

void TSendThread::RunPasses(int& sent) {
    // Files that failed for a reason of their own are not tried again in this run.
    std::set<std::string> failed;
    TStringList& queue = job_.Queue;
    for (int pass = 0; pass < kPasses; ++pass) {
        const std::size_t count = queue.Count();
        std::size_t skipped = 0;
        int attempt = 0;
        if (!AutoImport()) return;
        std::string messageFile, receiver, urlFormat;
        for (std::size_t i = 0; i < count;) {
            RefreshCounters(settings_);
            if (!AutoImport()) break;
            if (!settings_.ConnectionInfo.LeaseLine && DVR_RASConn == 0) break;
            const std::string path = queue[i];
            if (failed.count(path) != 0) {
                ++skipped;
                ++i;
                continue;
            }
            const std::size_t number = i - skipped + 1;
            StatusText = std::to_string(number) + OrdinalSuffix(static_cast<int>(number)) +
                         " file: " + ExtractFileName(path);
            if (attempt > 0) StatusText += " - Retry(" + std::to_string(attempt) + ")";
            TStep step = TStep::Skipped;
            try {
                ShowSendActivity();
                step = SendOne(path, attempt, messageFile, receiver, urlFormat, sent);
            } catch (const std::exception& e) {
                // One file's trouble (its work file, a read) is its own: the pass goes on.
                DropWorkFiles(messageFile);
                const std::string reason = e.what();
                WriteLog(
                    "Send: " + ExtractFileName(path) + " stays in the Outbox. Reason: " + reason,
                    1);
                Record(path, TFileFate::LeftInOutbox, reason);
                failed.insert(path);
            }
            if (step == TStep::Retry) {
                ++attempt;
                continue;
            }
            if (step == TStep::Skipped) ++skipped;
            attempt = 0;
            messageFile.clear();
            ++i;
        }
        if (!AutoImport()) return;
        queue = ScanOutbox(settings_);
    }
}

TSendThread::TStep TSendThread::SendOne(const std::string& path, int attempt,
                                        std::string& messageFile, std::string& receiver,
                                        std::string& urlFormat, int& sent) {
    const std::string& sender = settings_.CompanyInfo.EmailAddr;
    if (attempt == 0) {
        const unsigned mode = EntryMode(path);
        if (mode == 0 || S_ISDIR(mode)) {
            WriteLog("Send: Unable to send " + path + ".  Sender: " + sender + ". " +
                         "File does not exists",
                     1);
            Record(path, TFileFate::Skipped, "File does not exists");
            return TStep::Skipped;
        }
        if (!S_ISREG(mode)) {
            const std::string reason = NotRegularFileReason(mode);
            WriteLog("Send: Unable to send " + path + ".  Sender: " + sender + ". " + reason, 1);
            MoveToErrorFolder(path, reason);
            return TStep::Skipped;
        }
        std::string service;
        receiver.clear();
        urlFormat.clear();
        LookupService(settings_, path, service, receiver, urlFormat);
        if (receiver.empty() || urlFormat.empty()) {
            const std::string reason = "Receiver E-mail or WebMailSender not found";
            WriteLog("Send: Unable to send " + path + ".  Sender: " + sender + ". " + reason, 1);
            MoveToErrorFolder(path, reason);
            return TStep::Skipped;
        }
        try {
            messageFile = BuildMessageFile(path, service, receiver);
        } catch (const EUnsendableFile& e) {
            DropWorkFiles(messageFile);
            WriteLog("Send: Unable to send " + path + ".  Sender: " + sender + ". " + e.what(), 1);
            MoveToErrorFolder(path, e.what());
            return TStep::Skipped;
        }
    }
    if (!settings_.ConnectionInfo.LeaseLine && !ConnectionAlive()) {
        WriteLog("Send: Remote connection not available", 1);
        if (outcome_.Failure.empty()) outcome_.Failure = "Send: Remote connection not available";
        DropWorkFiles(messageFile);
        Record(path, TFileFate::LeftInOutbox, "Remote connection not available");
        return TStep::Skipped;
    }
    ShowStatus();
    WriteLog("Http_SendFile(FileName = " + messageFile + " through Http from " + sender + " to " +
                 receiver + ", WebProxy = " + BoolToText(settings_.ConnectionInfo.SendUseProxy) +
                 " )",
             2);
    returnValue_ = Http_SendFile(messageFile, SendSettings(settings_, urlFormat, receiver));
    if (returnValue_ == 0) {
        ++sent;
        WriteLog("Send: " + messageFile + " successfully sent. Sender: " + sender + ", " +
                     "Receiver: " + receiver + ", WebMailSender: " + urlFormat,
                 1);
        DropWorkFiles(messageFile);
        FileSent(path);
        return TStep::Next;
    }
    WriteLog("Send: Unable to send " + messageFile + ".  Sender: " + sender + ", " +
                 "Receiver: " + receiver + ", WebMailSender: " + urlFormat,
             1);
    if (MayBeDelivered) {
        // Sent again, it could reach the receiver twice.
        WriteLog("Send: " + ExtractFileName(path) +
                     " is not sent again: the request went out whole and no answer came",
                 1);
        DropWorkFiles(messageFile);
        MoveToErrorFolder(path, "the service may have received it");
        if (outcome_.Files.back().Fate == TFileFate::MovedToError)
            outcome_.MayBeDelivered.insert(outcome_.Files.back().FiledAs);
        return TStep::Next;
    }
    if (attempt + 1 < kAttempts) return TStep::Retry;
    DropWorkFiles(messageFile);
    MoveToErrorFolder(
        path, "The service did not accept it after " + std::to_string(kAttempts) + " attempts");
    return TStep::Next;
}
