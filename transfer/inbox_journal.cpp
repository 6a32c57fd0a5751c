#include "transfer/inbox_journal.h"

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
#include <vector>

#include "common/base/atomic_file.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/settings.h"
#include "transfer/process_message.h"
#include "transfer/received_record.h"
#include "transfer/webmail_client.h"

const char* const TInboxJournal::kMsgBodyName = "MsgBody.txt";

namespace {

// The mark written before a copy's delete goes out.
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
        if (name == TInboxJournal::kMsgBodyName) {
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

}  // namespace

TInboxJournal::TInboxJournal(const TSettings& settings, TLog log)
    : settings_(settings), log_(std::move(log)) {}

TInboxJournal::~TInboxJournal() { CloseWorkFolder(); }

// The raw message goes first, so that the folder never holds a raw message without its mark
// unless its delete never went out.
void TInboxJournal::RemoveFolder(const std::string& folder) {
    ::unlink((folder + kMsgBodyName).c_str());
    for (const std::string& name : FolderEntries(folder))
        if (IsAtomicTempName(name)) ::unlink((folder + name).c_str());
    ::unlink((folder + kDeleteMarkName).c_str());
    ::rmdir(folder.c_str());
}

const std::string& TInboxJournal::NewCopy() {
    if (workFolder_.empty()) {
        workFolder_ = NewWorkFolder(settings_.ProgramInfo.InboxPath);
        workFolderFlushed_ = false;
        // Made empty with the folder, so marking rewrites a file that is already there.
        deleteMark_.Reset(::open((workFolder_ + kDeleteMarkName).c_str(),
                                 O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        markError_ = deleteMark_ ? 0 : errno;
    }
    msgBodyFile_ = workFolder_ + kMsgBodyName;
    return msgBodyFile_;
}

bool TInboxJournal::MarkDeleteSent(const std::string& msgId) {
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
        log_(std::string("Recv: Delete Message not sent: the kept message could not be marked. "
                         "Reason: ") +
                 workFolder_ + kDeleteMarkName + ": " +
                 std::strerror(deleteMark_ ? errno : markError_),
             1);
        return false;
    }
    FlushFolder(workFolder_);
    if (!workFolderFlushed_) FlushFolder(settings_.ProgramInfo.InboxPath);
    workFolderFlushed_ = true;
    return true;
}

void TInboxJournal::RemoveCopy() {
    if (!msgBodyFile_.empty()) ::unlink(msgBodyFile_.c_str());
    // Unmarked until the next delete; the next mark's flush also puts this removal on disk,
    // so a copy never outlives a later message's store.
    if (deleteMark_) (void)!::ftruncate(deleteMark_.Get(), 0);
    msgBodyFile_.clear();
}

void TInboxJournal::LeaveCopy() {
    deleteMark_.Reset();
    workFolder_.clear();
    msgBodyFile_.clear();
}

void TInboxJournal::CloseWorkFolder() {
    deleteMark_.Reset();
    if (!workFolder_.empty()) RemoveFolder(workFolder_);
    workFolder_.clear();
    msgBodyFile_.clear();
}

TMessageOutcome TInboxJournal::KeepFailedMessage(const std::string& msgId,
                                                 const std::string& damage) {
    if (msgBodyFile_.empty()) return {msgId, TMessageFate::LeftInMailbox, {}, "", ""};
    const std::string folder = IncludeTrailingPathDelimiter(settings_.ProgramInfo.ErrorPath);
    const std::string base =
        folder + "RECV_" + FormatDateTime("yyyyMMddhhnnss", Now()) + "_" + FileNamePart(msgId);
    std::string target = base + ".eml";
    for (int n = 1; FileExists(target) && n < 1000; ++n)
        target = base + "_" + std::to_string(n) + ".eml";
    try {
        ForceDirectoriesSynced(folder);
        // The record goes first: a raw copy in the Error folder is never without it.
        struct stat st {};
        if (::stat(msgBodyFile_.c_str(), &st) != 0)
            throw std::runtime_error(msgBodyFile_ + ": " + std::strerror(errno));
        WriteReceivedRecord(target, msgId, static_cast<uint64_t>(st.st_size));
        // A move: at every moment the message is in exactly one of the two places.
        MoveFileAtomic(msgBodyFile_, target);
    } catch (const std::exception& e) {
        RemoveReceivedRecord(target);
        // The work folder keeps the only copy: leave it where it is.
        const std::string line =
            "Recv: Unable to move the received message to the Error folder. It is kept in " +
            msgBodyFile_ + ". Reason: " + e.what();
        log_(line, 1);
        TMessageOutcome kept{msgId,
                             TMessageFate::KeptInWorkFolder,
                             {},
                             msgBodyFile_,
                             HidePasswords(settings_, line)};
        LeaveCopy();
        return kept;
    }
    const std::string line =
        damage.empty() ? "Recv: The received message could not be stored and was moved to " + target
                       : "Recv: The received message was kept whole in the Error folder as " +
                             target + ". Reason: " + damage;
    log_(line, 1);
    RemoveCopy();
    return {msgId,
            damage.empty() ? TMessageFate::KeptInError : TMessageFate::Damaged,
            {},
            target,
            HidePasswords(settings_, line)};
}

void TInboxJournal::WithKeptCopy(const std::string& folder, const std::function<void()>& handle) {
    // Handled as the current copy, in its own folder; the run's folder waits meanwhile.
    const std::string runFolder = std::exchange(workFolder_, folder);
    TUniqueFd runMark = std::move(deleteMark_);
    msgBodyFile_ = folder + kMsgBodyName;
    handle();
    // Stored or moved to the Error folder: the folder goes too.
    if (!workFolder_.empty()) RemoveFolder(workFolder_);
    msgBodyFile_.clear();
    workFolder_ = runFolder;
    deleteMark_ = std::move(runMark);
}

void TInboxJournal::RecoverKeptCopies(
    const std::function<void(const std::string& folder, const std::string& msgId)>& store) {
    struct TKept {
        std::string folder;
        TKeptState state;
        timespec marked;
    };
    const std::string& inbox = settings_.ProgramInfo.InboxPath;
    std::vector<TKept> kept;
    for (const std::string& name : FolderEntries(inbox)) {
        if (!IsWorkFolderName(name)) continue;
        TKept found{IncludeTrailingPathDelimiter(inbox) + name + "/", TKeptState::Foreign, {}};
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
                log_("Recv: Processing a message kept from an earlier run: " + body, 1);
                store(item.folder, ReadMarkedId(item.folder));
                break;
            case TKeptState::NotDeleted:
                // DebugMode keeps what it fetched for a look.
                if (settings_.DebugMode) break;
                log_("Recv: Removing the copy of a message still in the mailbox: " + body, 2);
                RemoveFolder(item.folder);
                break;
            default:
                RemoveFolder(item.folder);
                break;
        }
    }
}
