#include "common/single_instance.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/base/clock.h"

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

// True when path still names the file open on fd (a sweep may have unlinked it meanwhile).
bool StillLinked(int fd, const std::string& path) {
    struct stat open {
    }, named{};
    if (fstat(fd, &open) != 0 || stat(path.c_str(), &named) != 0) return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

std::string InstanceLockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::string(runtime) + "/" + name + ".lock";
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

TInstanceMutex CreateInstanceMutex(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return TInstanceMutex::Failed;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return TInstanceMutex::Created;  // fd kept open
    int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? TInstanceMutex::AlreadyExists : TInstanceMutex::Failed;
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

// Deletes path unless a process holds its lock. Returns false when the file stays.
bool DeleteUnheldLock(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    short type = F_WRLCK;
    if (fd < 0) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        type = F_RDLCK;  // still conflicts with the holder's write lock
    }
    if (fd >= 0 && !LockWholeFile(fd, type)) {
        close(fd);  // a running copy holds it
        return false;
    }
    // Unlinked while the lock is ours, so a copy that opened it meanwhile notices.
    bool gone = unlink(path.c_str()) == 0 || errno == ENOENT;
    if (fd >= 0) close(fd);
    return gone;
}

}  // namespace

int SweepStaleLocks(const std::string& programDir) {
    DIR* dir = opendir(programDir.c_str());
    if (!dir) return 0;
    int failures = 0;
    while (dirent* entry = readdir(dir)) {
        if (!HasLockExtension(entry->d_name)) continue;
        std::string path = programDir + entry->d_name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        if (!DeleteUnheldLock(path)) ++failures;
    }
    closedir(dir);
    return failures;
}

TLockFile::TLockFile(std::string fileName, TSleep sleep)
    : Name(std::move(fileName)), Sleep(std::move(sleep)) {
    if (!Sleep) Sleep = SleepMs;  // the program's clock, which tests may replace
}

TLockFile::~TLockFile() {
    if (Handle >= 0) close(Handle);
}

bool TLockFile::Attempt() {
    int fd = open(Name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    if (LockWholeFile(fd, F_WRLCK) && StillLinked(fd, Name)) {
        Handle = fd;
        return true;
    }
    close(fd);
    return false;
}

bool TLockFile::Create() {
    for (int attempt = 1; attempt <= kLockAttempts && Handle < 0; ++attempt) {
        if (attempt > 1) Sleep(kLockAttemptGapMs);
        Attempt();
    }
    return Handle >= 0;
}

void TLockFile::Delete() {
    if (Handle < 0) {
        // Not ours (multi-user mode): removed only when no other copy holds it.
        DeleteUnheldLock(Name);
        return;
    }
    // Unlinked before the lock goes, so no other copy's fresh file is ever removed.
    unlink(Name.c_str());
    close(Handle);
    Handle = -1;
}
