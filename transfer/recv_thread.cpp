// The receive run: count, then fetch, delete and store each message, then the summary.

#include "transfer/recv_thread.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <random>
#include <stdexcept>
#include <utility>

#include "common/base/atomic_file.h"
#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/base/message_pump.h"
#include "common/base/unique_handle.h"
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

// What a work folder holds: the raw message, and the mark written before its delete.
const char* const kMsgBodyName = "MsgBody.txt";
const char* const kDeleteMarkName = "Deleting.txt";
// The prefix of the atomic writer's temporary files, left behind by a write cut short.
const char* const kAtomicTempPrefix = ".dvr-";

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

// "~qb" and four upper-case hex digits: the names of the work folders made here.
bool IsWorkFolderName(const std::string& name) {
    if (name.size() != 7 || name.compare(0, 3, "~qb") != 0) return false;
    return std::all_of(name.begin() + 3, name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

bool IsAtomicTempName(const std::string& name) {
    return name.size() == 11 && name.compare(0, 5, kAtomicTempPrefix) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A new, empty work folder in the Inbox, its entry flushed so that a file written into it
// survives a power cut together with it.
std::string NewWorkFolder(const std::string& inbox) {
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string parent = IncludeTrailingPathDelimiter(inbox);
    ForceDirectoriesSynced(parent);
    unsigned unique = random() & 0xFFFF;
    for (int attempt = 0; attempt < 0x10000; ++attempt, unique = (unique + 1) & 0xFFFF) {
        char name[16];
        std::snprintf(name, sizeof name, "~qb%04X", unique);
        const std::string folder = parent + name;
        if (::mkdir(folder.c_str(), 0777) == 0) {
            FlushFolder(parent);
            return folder + "/";
        }
        if (errno != EEXIST) break;
    }
    throw std::runtime_error("Unable to create a work folder in " + parent + ": " +
                             std::strerror(errno));
}

enum class TKeptState {
    Foreign,     // not made here: left alone
    Empty,       // no raw message (the run ended while it was written or removed)
    NotDeleted,  // a raw message whose delete never went out (no mark, or an empty one)
    Marked,      // a raw message whose delete went out
};

TKeptState InspectWorkFolder(const std::string& folder, timespec& marked) {
    bool body = false, mark = false;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return TKeptState::Foreign;
    for (const std::string& name : FolderEntries(folder)) {
        if (::lstat((folder + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return TKeptState::Foreign;
        if (name == kMsgBodyName) {
            body = true;
        } else if (name == kDeleteMarkName) {
            mark = st.st_size > 0;
            marked = st.st_mtim;
        } else if (!IsAtomicTempName(name)) {
            return TKeptState::Foreign;
        }
    }
    if (!body) return TKeptState::Empty;
    return mark ? TKeptState::Marked : TKeptState::NotDeleted;
}

// The message id in a work folder's mark.
std::string ReadMarkedId(const std::string& folder) {
    std::ifstream file(folder + kDeleteMarkName, std::ios::binary);
    std::string id;
    std::getline(file, id);
    if (!id.empty() && id.back() == '\r') id.pop_back();
    return id;
}

// Removes a work folder: the raw message first, so that the folder never holds a raw message
// without its mark unless its delete never went out.
void RemoveFolder(const std::string& folder) {
    ::unlink((folder + kMsgBodyName).c_str());
    for (const std::string& name : FolderEntries(folder))
        if (IsAtomicTempName(name)) ::unlink((folder + name).c_str());
    ::unlink((folder + kDeleteMarkName).c_str());
    ::rmdir(folder.c_str());
}

}  // namespace

TRecvThread::TRecvThread(TSettingsSnapshot settings, IMainView* view, TEndHandler receiveFinish)
    : settings_(std::move(settings)), wndHandle_(view), receiveFinish_(std::move(receiveFinish)) {
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
        // Before the count: a kept copy is older than anything still in the mailbox.
        ProcessKeptMessages();
        if (!ConnectionInfo.LeaseLine && !ConnectionAlive()) {
            Log("Remote connection not available", 2);
            throw std::runtime_error("Remote connection not available");
        }
        ReceiveMails(address, CompanyInfo.LoginID, CompanyInfo.Password);
    } catch (const std::exception& e) {
        const std::string line =
            "Recv: Error occurred when receiving mails for " + address + ". Reason: " + e.what();
        Log(line, 1);
        if (outcome_.Failure.empty()) {
            outcome_.Failure = HidePasswords(line);
            outcome_.FailureReason = HidePasswords(e.what());
        }
    }
    outcome_.Received = received_;
    CloseWorkFolder();

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
        RefreshCounters();
        if (!ConnectionInfo.LeaseLine && !ConnectionAlive()) {
            Log("Recv: Remote connection not available", 1);
            continue;
        }
        lastOk = ReceiveMessage(userId, loginId, password, ids[static_cast<std::size_t>(k)], k + 1,
                                count);
    }
    if (!lastOk) {
        const std::string line =
            "Recv: Unable to receiving mails for " + CompanyInfo.EmailAddr + ".";
        Log(line, 1);
        if (outcome_.Failure.empty()) outcome_.Failure = line;
    }
}

bool TRecvThread::ReceiveMessage(const std::string& userId, const std::string& loginId,
                                 const std::string& password, const std::string& msgId, int n,
                                 int count) {
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
                        unconfirmedFolder_ + kMsgBodyName,
                    2);
                RemoveFolder(unconfirmedFolder_);
                unconfirmedFolder_.clear();
            }
            // With DebugMode on, messages stay in the mailbox.
            if (ok && !DebugMode) {
                Log("Recv: Delete the message in mailbox", 2);
                ok = DeleteMessage(userId, loginId, password, msgId);
            }
        } catch (...) {
            // Once the delete went out the copy on disk may be the only one left; it is
            // marked, so the next run stores it.
            if (deleteRequested_)
                LeaveCopy();
            else
                RemoveCopy();
            throw;
        }
        if (ok) {
            StoreMessage(*message, msgId);
        } else if (deleteRequested_) {
            // The mailbox may or may not still hold the message: keep the copy until a fetch
            // tells.
            unconfirmedFolder_ = workFolder_;
            LeaveCopy();
        } else {
            // A failed delete leaves the message in the mailbox; it is fetched again.
            RemoveCopy();
        }
        if (messageMissing_ && !unconfirmedFolder_.empty()) {
            // The earlier delete took effect after all: the copy is the message.
            Log("Recv: The message left the mailbox after a delete that was not confirmed; "
                "storing its copy " +
                    unconfirmedFolder_ + kMsgBodyName,
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
                unconfirmedFolder_ + kMsgBodyName,
            1);
        StoreKeptCopy(std::exchange(unconfirmedFolder_, ""), msgId);
    }
    return ok;
}

void TRecvThread::StoreMessage(TOrvMsg& message, const std::string& msgId) {
    ++received_;
    try {
        ProcessMessage(message, counters_);
        RemoveCopy();
    } catch (...) {
        // ProcessMessage logged why; the raw message must not be lost with it.
        KeepFailedMessage(msgId);
    }
}

void TRecvThread::StoreKeptCopy(const std::string& folder, const std::string& msgId) {
    // Handled as the current copy, in its own folder; the run's folder waits meanwhile.
    const std::string runFolder = std::exchange(workFolder_, folder);
    TUniqueFd runMark = std::move(deleteMark_);
    msgBodyFile_ = folder + kMsgBodyName;
    auto message = std::make_unique<TOrvMsg>();
    message->SetExpectedContentType(ProgramInfo.EmailContentType);
    try {
        message->RawMail().LoadFromFile(msgBodyFile_);
        Log("Recv: ParseMsg", 2);
        message->ParseMsg();
        StoreMessage(*message, msgId);
    } catch (const std::exception& e) {
        // No longer in the mailbox, so it cannot be fetched again.
        Log(std::string("Recv: Parse message content failed. Reason: ") + e.what(), 1);
        KeepFailedMessage(msgId);
    }
    // Stored or moved to the Error folder: the folder goes too.
    if (!workFolder_.empty()) RemoveFolder(workFolder_);
    msgBodyFile_.clear();
    workFolder_ = runFolder;
    deleteMark_ = std::move(runMark);
}

void TRecvThread::ProcessKeptMessages() {
    struct TKept {
        std::string folder;
        TKeptState state;
        timespec marked;
    };
    std::vector<TKept> kept;
    for (const std::string& name : FolderEntries(ProgramInfo.InboxPath)) {
        if (!IsWorkFolderName(name)) continue;
        TKept found{IncludeTrailingPathDelimiter(ProgramInfo.InboxPath) + name + "/",
                    TKeptState::Foreign,
                    {}};
        found.state = InspectWorkFolder(found.folder, found.marked);
        if (found.state != TKeptState::Foreign) kept.push_back(found);
    }
    // In the order their deletes went out, so a later message's attachment of the same
    // name is stored last.
    std::sort(kept.begin(), kept.end(), [](const TKept& a, const TKept& b) {
        if (a.marked.tv_sec != b.marked.tv_sec) return a.marked.tv_sec < b.marked.tv_sec;
        if (a.marked.tv_nsec != b.marked.tv_nsec) return a.marked.tv_nsec < b.marked.tv_nsec;
        return a.folder < b.folder;
    });
    for (const TKept& item : kept) {
        const std::string body = item.folder + kMsgBodyName;
        switch (item.state) {
            case TKeptState::Marked:
                Log("Recv: Processing a message kept from an earlier run: " + body, 1);
                StoreKeptCopy(item.folder, ReadMarkedId(item.folder));
                break;
            case TKeptState::NotDeleted:
                // DebugMode keeps what it fetched for a look.
                if (DebugMode) break;
                Log("Recv: Removing the copy of a message still in the mailbox: " + body, 2);
                RemoveFolder(item.folder);
                break;
            default:
                RemoveFolder(item.folder);
                break;
        }
    }
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

void TRecvThread::MakeWorkFolder() {
    if (workFolder_.empty()) {
        workFolder_ = NewWorkFolder(ProgramInfo.InboxPath);
        workFolderFlushed_ = false;
        // Made empty with the folder, so marking rewrites a file that is already there.
        deleteMark_.Reset(::open((workFolder_ + kDeleteMarkName).c_str(),
                                 O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    }
    msgBodyFile_ = workFolder_ + kMsgBodyName;
}

bool TRecvThread::MarkDeleteSent(const std::string& msgId) {
    if (workFolder_.empty()) return true;
    // The mark, the copy's entry in the work folder and, the first time, the folder's entry
    // in the Inbox reach the disk before the delete goes out (the copy's bytes were flushed
    // as it was written). A mark cut short by a crash before the delete still marks: at
    // worst a message that never left the mailbox is stored once more from its copy.
    const std::string text = msgId + "\n";
    bool written = static_cast<bool>(deleteMark_) &&
                   ::pwrite(deleteMark_.Get(), text.data(), text.size(), 0) ==
                       static_cast<ssize_t>(text.size()) &&
                   ::ftruncate(deleteMark_.Get(), static_cast<off_t>(text.size())) == 0 &&
                   ::fsync(deleteMark_.Get()) == 0;
    if (!written) {
        Log(std::string("Recv: Delete Message not sent: the kept message could not be marked. "
                        "Reason: ") +
                std::strerror(deleteMark_ ? errno : EBADF),
            1);
        return false;
    }
    FlushFolder(workFolder_);
    if (!workFolderFlushed_) FlushFolder(ProgramInfo.InboxPath);
    workFolderFlushed_ = true;
    return true;
}

void TRecvThread::RemoveCopy() {
    if (!msgBodyFile_.empty()) ::unlink(msgBodyFile_.c_str());
    // Unmarked until the next delete; the next mark's flush also puts this removal on disk,
    // so a copy never outlives a later message's store.
    if (deleteMark_) (void)!::ftruncate(deleteMark_.Get(), 0);
    msgBodyFile_.clear();
}

void TRecvThread::LeaveCopy() {
    deleteMark_.Reset();
    workFolder_.clear();
    msgBodyFile_.clear();
}

void TRecvThread::CloseWorkFolder() {
    deleteMark_.Reset();
    if (!workFolder_.empty()) RemoveFolder(workFolder_);
    workFolder_.clear();
    msgBodyFile_.clear();
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
        // A move: at every moment the message is in exactly one of the two places.
        MoveFileAtomic(msgBodyFile_, target);
    } catch (const std::exception& e) {
        // The work folder keeps the only copy: leave it where it is.
        const std::string line =
            "Recv: Unable to move the received message to the Error folder. It is kept in " +
            msgBodyFile_ + ". Reason: " + e.what();
        Log(line, 1);
        outcome_.Messages.push_back(
            {msgId, TMessageFate::KeptInWorkFolder, {}, msgBodyFile_, HidePasswords(line)});
        LeaveCopy();
        return;
    }
    const std::string line =
        "Recv: The received message could not be stored and was moved to " + target;
    Log(line, 1);
    outcome_.Messages.push_back(
        {msgId, TMessageFate::KeptInError, {}, target, HidePasswords(line)});
    RemoveCopy();
}
