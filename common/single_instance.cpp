#include "common/single_instance.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/base/clock.h"
#include "common/base/unique_handle.h"

namespace {

constexpr int kLockAttempts = 15;
constexpr int kLockAttemptGapMs = 200;

// A write lock on the whole file that belongs to the open file description, so it
// conflicts with other descriptors of this process too (tests hold a lock file in-process
// against a child copy). Returns true when taken, false when another holder has it.
bool LockWholeFile(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool HasLockExtension(const char* name) {
    size_t len = std::strlen(name);
    return len > 4 && strcasecmp(name + len - 4, ".lck") == 0;
}

// True when path still names the file open on fd: another process may have removed it and
// made a new one of the same name meanwhile.
bool StillLinked(int fd, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) != 0 || lstat(path.c_str(), &named) != 0) return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

std::string PrivateFolderName() { return "quillbern-dovrant-" + std::to_string(getuid()); }

// Whether folder is a real folder of this user that no other user may enter or change.
bool PrivateFolder(const std::string& folder) {
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

std::string InstanceLockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::string(runtime) + "/" + name + ".lock";
    // /tmp is everybody's: a fixed name there could be taken first by another user.
    return "/tmp/" + PrivateFolderName() + "/" + name + ".lock";
}

TInstanceMutex CreateInstanceMutex(const std::string& path) {
    std::string folder = path.substr(0, path.rfind('/') + 1);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) folder = ".";
    const std::size_t slash = folder.rfind('/');
    const std::string folderName = slash == std::string::npos ? folder : folder.substr(slash + 1);
    // An existing folder of that name is checked below like any other.
    if (folderName == PrivateFolderName()) mkdir(folder.c_str(), 0700);
    if (!PrivateFolder(folder)) {
        std::fprintf(stderr,
                     "%s: not taken: its folder %s is missing, a link, another user's or open "
                     "to others; running without the one-copy check\n",
                     path.c_str(), folder.c_str());
        return TInstanceMutex::Failed;
    }
    TUniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) return TInstanceMutex::Failed;
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
        fd.Release();  // held until the process ends
        return TInstanceMutex::Created;
    }
    return errno == EWOULDBLOCK ? TInstanceMutex::AlreadyExists : TInstanceMutex::Failed;
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

std::string ReadComputerName() {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return "";
    std::string name(buf);
    return name.substr(0, 15);
}

namespace {

enum class TStaleLock { Gone, Held, Stuck };

// Deletes path when this process can open it and take its lock, so no running copy holds it.
// Held when the file stays because a copy may hold it: held, not openable for this user
// (which may be a running copy of another user, so counts as held), or replaced by another
// file meanwhile. Stuck when nobody holds it but it cannot be deleted (a read-only folder).
// error receives the errno of a Stuck file.
TStaleLock DeleteUnheldLock(const std::string& path, int& error) {
    TUniqueFd fd(open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    short type = F_WRLCK;
    if (!fd) {
        if (errno == ENOENT) return TStaleLock::Gone;
        fd.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        type = F_RDLCK;  // still conflicts with the holder's write lock
    }
    if (!fd) return errno == ENOENT ? TStaleLock::Gone : TStaleLock::Held;
    if (!LockWholeFile(fd.Get(), type)) return TStaleLock::Held;  // a running copy holds it
    if (!StillLinked(fd.Get(), path)) {
        struct stat st {};
        return lstat(path.c_str(), &st) != 0 && errno == ENOENT ? TStaleLock::Gone
                                                                : TStaleLock::Held;
    }
    // Unlinked while the lock is ours, so a copy that opened it meanwhile notices.
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return TStaleLock::Gone;
    error = errno;
    return TStaleLock::Stuck;
}

}  // namespace

int SweepStaleLocks(const std::string& programDir, std::string* error) {
    TUniqueDir dir(opendir(programDir.c_str()));
    if (!dir) return 0;
    int failures = 0;
    while (dirent* entry = readdir(dir.Get())) {
        if (!HasLockExtension(entry->d_name)) continue;
        std::string path = programDir + entry->d_name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        int cause = 0;
        const TStaleLock result = DeleteUnheldLock(path, cause);
        if (result == TStaleLock::Gone) continue;
        ++failures;
        if (result == TStaleLock::Stuck && error && error->empty())
            *error = "cannot remove the stale lock file " + path + ": " + std::strerror(cause);
    }
    return failures;
}

TLockFile::TLockFile(std::string fileName, TSleep sleep)
    : name_(std::move(fileName)), sleep_(std::move(sleep)) {
    if (!sleep_) sleep_ = SleepMs;  // the program's clock, which tests may replace
}

TLockFile::~TLockFile() {
    if (handle_ >= 0) close(handle_);
}

bool TLockFile::Attempt() {
    TUniqueFd fd(open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
    // No copy holding it keeps a file from being opened: waiting would not help.
    if (!fd) {
        if (errno != EINTR) error_ = errno;
        return false;
    }
    if (!LockWholeFile(fd.Get(), F_WRLCK) || !StillLinked(fd.Get(), name_)) return false;
    // Copies of other users sharing the installation must be able to open it to see it is
    // held; the umask must not take that away. Another user's file keeps the mode it has.
    (void)!fchmod(fd.Get(), 0666);
    handle_ = fd.Release();
    return true;
}

bool TLockFile::Create() {
    error_ = 0;
    for (int attempt = 1; attempt <= kLockAttempts && handle_ < 0 && error_ == 0; ++attempt) {
        if (attempt > 1) sleep_(kLockAttemptGapMs);
        Attempt();
    }
    return handle_ >= 0;
}

void TLockFile::Delete() {
    if (handle_ < 0) {
        // Not ours (multi-user mode): removed only when no other copy holds it.
        int ignored = 0;
        (void)DeleteUnheldLock(name_, ignored);
        return;
    }
    // Unlinked before the lock goes, so no other copy's fresh file is ever removed; and only
    // while the name still refers to the file locked here.
    if (StillLinked(handle_, name_)) unlink(name_.c_str());
    close(handle_);
    handle_ = -1;
}
