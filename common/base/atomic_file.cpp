#include "common/base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "common/base/unique_handle.h"

namespace {

std::mutex faultMutex;
std::function<int(TAtomicStep, const std::string&)> faultHook;

int Fault(TAtomicStep step, const std::string& path) {
    std::lock_guard<std::mutex> lock(faultMutex);
    return faultHook ? faultHook(step, path) : 0;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return "./";
    return path.substr(0, slash + 1);
}

// Flushes the folder entry of a rename. Some file systems refuse fsync on a folder; the
// data itself is already on disk then, so that is not a failure of the write.
void SyncFolder(const std::string& folder) {
    TUniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.Get());
}

}  // namespace

void FlushFolder(const std::string& folder) { SyncFolder(folder.empty() ? "./" : folder); }

void SetAtomicWriteFault(std::function<int(TAtomicStep step)> fault) {
    if (!fault) return SetAtomicPathFault({});
    SetAtomicPathFault(
        [fault = std::move(fault)](TAtomicStep step, const std::string&) { return fault(step); });
}

void SetAtomicPathFault(std::function<int(TAtomicStep step, const std::string& path)> fault) {
    std::lock_guard<std::mutex> lock(faultMutex);
    faultHook = std::move(fault);
}

unsigned ProcessUmask() {
    // /proc tells it without the set-and-restore dance of umask(2), which races with other
    // threads creating files.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

TAtomicFile::TAtomicFile(std::string path) : path_(std::move(path)) {
    tempPath_ = FolderOf(path_) + ".dvr-XXXXXX";
    if (int error = Fault(TAtomicStep::Create, path_)) Fail("create", error);
    fd_ = ::mkostemp(tempPath_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        tempPath_.clear();
        Fail("create", error);
    }
}

TAtomicFile::~TAtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void TAtomicFile::Fail(const char* what, int error) {
    throw EAtomicWriteError(
        "Unable to " + std::string(what) + " " + path_ + ": " + std::strerror(error), error);
}

void TAtomicFile::Write(const void* data, std::size_t size) {
    if (int error = Fault(TAtomicStep::Write, path_)) Fail("write", error);
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("write", errno);
        if (n == 0) Fail("write", ENOSPC);
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void TAtomicFile::Finish() {
    struct stat old {};
    const bool replacing = ::lstat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // The umask is read only for a new file without a given mode (it costs a /proc read).
    mode_t mode = 0;
    if (replacing) {
        mode = modeAlways_ ? static_cast<mode_t>(mode_) : old.st_mode & 07777;
        // Only a privileged process may give a file away; others keep their own ownership.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fd_, old.st_uid, old.st_gid);
    } else {
        mode = mode_ >= 0 ? static_cast<mode_t>(mode_) : (0666 & ~ProcessUmask());
    }
    if (::fchmod(fd_, mode) != 0) Fail("write", errno);
    int error = Fault(TAtomicStep::Fsync, path_);
    if (!error && flush_ && ::fsync(fd_) != 0) error = errno;
    if (error) Fail("write", error);
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) Fail("write", errno);
}

void TAtomicFile::Commit() {
    Finish();
    int error = Fault(TAtomicStep::Rename, path_);
    if (!error && ::rename(tempPath_.c_str(), path_.c_str()) != 0) error = errno;
    if (error) Fail("replace", error);
    tempPath_.clear();
    if (flush_) SyncFolder(FolderOf(path_));
}

bool TAtomicFile::CommitIfFree() {
    Finish();
    if (!RenameFileIfFree(tempPath_, path_)) return false;
    tempPath_.clear();
    if (flush_) SyncFolder(FolderOf(path_));
    return true;
}

bool RenameFileIfFree(const std::string& source, const std::string& target) {
    int error = Fault(TAtomicStep::Rename, target);
    if (!error) {
        if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // File systems without the no-replace rename: a hard link fails on a taken name too.
            error = ::link(source.c_str(), target.c_str()) == 0 ? 0 : errno;
            if (!error) {
                ::unlink(source.c_str());
                return true;
            }
        }
    }
    if (error == EEXIST) return false;
    throw EAtomicWriteError(
        "Unable to move " + source + " to " + target + ": " + std::strerror(error), error);
}

void WriteFileAtomic(const std::string& path, std::string_view data) {
    TAtomicFile file(path);
    file.Write(data);
    file.Commit();
}

namespace {

// Opens source for a copy and reads its mode and times.
TUniqueFd OpenSource(const std::string& source, struct stat& st) {
    TUniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in || ::fstat(in.Get(), &st) != 0)
        throw EAtomicWriteError("Unable to read " + source + ": " + std::strerror(errno), errno);
    return in;
}

// Copies the open source into file, with its mode (as the umask allows) and modification time.
void CopyInto(const TUniqueFd& in, const struct stat& st, const std::string& source,
              TAtomicFile& file) {
    file.SetMode(st.st_mode & 0777 & ~ProcessUmask());
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw EAtomicWriteError("Unable to read " + source + ": " + std::strerror(errno),
                                    errno);
        if (n == 0) break;
        file.Write(buffer.data(), static_cast<std::size_t>(n));
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(file.Fd(), times);
}

}  // namespace

void CopyFileAtomic(const std::string& source, const std::string& target) {
    struct stat st {};
    const TUniqueFd in = OpenSource(source, st);
    TAtomicFile file(target);
    CopyInto(in, st, source, file);
    file.Commit();
}

bool CopyFileAtomicIfFree(const std::string& source, const std::string& target) {
    struct stat st {};
    const TUniqueFd in = OpenSource(source, st);
    TAtomicFile file(target);
    CopyInto(in, st, source, file);
    return file.CommitIfFree();
}

void MoveFileAtomic(const std::string& source, const std::string& target) {
    int error = Fault(TAtomicStep::Rename, target);
    if (!error && ::rename(source.c_str(), target.c_str()) == 0) {
        SyncFolder(FolderOf(target));
        SyncFolder(FolderOf(source));
        return;
    }
    if (!error) error = errno;
    if (error != EXDEV)
        throw EAtomicWriteError(
            "Unable to move " + source + " to " + target + ": " + std::strerror(error), error);
    CopyFileAtomic(source, target);
    if (::unlink(source.c_str()) != 0)
        throw EAtomicWriteError("Unable to remove " + source + ": " + std::strerror(errno), errno);
    SyncFolder(FolderOf(source));
}

namespace {

constexpr int kMaxFreeSuffix = 10000;

bool EntryExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string FreeNameIn(const std::string& folder, const std::string& name) {
    if (!EntryExists(folder + name)) return name;
    const std::size_t dot = name.rfind('.');
    const bool plain = dot == std::string::npos || dot == 0;
    const std::string stem = plain ? name : name.substr(0, dot);
    const std::string ext = plain ? "" : name.substr(dot);
    for (int n = 1; n < kMaxFreeSuffix; ++n) {
        const std::string candidate = stem + "_" + std::to_string(n) + ext;
        if (!EntryExists(folder + candidate)) return candidate;
    }
    return "";
}

std::string MoveFileAtomicToFreeName(const std::string& source, const std::string& folder,
                                     const std::string& name) {
    for (int attempt = 0; attempt < kMaxFreeSuffix; ++attempt) {
        const std::string free = FreeNameIn(folder, name);
        if (free.empty()) break;
        bool placed = false;
        bool copied = false;
        try {
            placed = RenameFileIfFree(source, folder + free);
        } catch (const EAtomicWriteError& e) {
            if (e.Errno != EXDEV) throw;
            // Between file systems the copy reaches the disk before the source goes.
            copied = true;
            placed = CopyFileAtomicIfFree(source, folder + free);
        }
        if (!placed) continue;  // another writer took the name meanwhile
        SyncFolder(folder);
        if (copied && ::unlink(source.c_str()) != 0)
            throw EAtomicWriteError("Unable to remove " + source + ": " + std::strerror(errno),
                                    errno);
        SyncFolder(FolderOf(source));
        return free;
    }
    throw EAtomicWriteError(
        "Unable to move " + source + " to " + folder + name + ": no free name in the folder",
        EEXIST);
}
