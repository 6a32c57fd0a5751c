#include "mail/mail_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/base/atomic_file.h"

namespace {

std::runtime_error CreateError(const std::string& path, int err) {
    return std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(err));
}

void WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w == 0) errno = ENOSPC;
        if (w <= 0) throw std::runtime_error("Stream write error");
        p += w;
        n -= std::size_t(w);
    }
}

}  // namespace

std::size_t TMailStream::Read(void*, std::size_t) {
    throw std::runtime_error("Invalid stream operation");
}

std::int64_t TMailStream::Seek(std::int64_t, TSeekOrigin) {
    throw std::runtime_error("Invalid stream operation");
}

void TMailMemoryStream::Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_) std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
}

std::size_t TMailMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    std::size_t end = position_ + count;
    if (end > capacity_) Reserve(std::max(end, capacity_ + capacity_ / 2));
    if (position_ > size_) std::memset(bytes_.get() + size_, 0, position_ - size_);
    std::memcpy(bytes_.get() + position_, buffer, count);
    position_ = end;
    size_ = std::max(size_, end);
    return count;
}

std::size_t TMailMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= size_) return 0;
    count = std::min(count, size_ - position_);
    std::memcpy(buffer, bytes_.get() + position_, count);
    position_ += count;
    return count;
}

std::int64_t TMailMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == soBeginning ? 0
                        : origin == soCurrent ? std::int64_t(position_)
                                              : std::int64_t(size_);
    std::int64_t to = base + offset;
    if (to < 0) to = 0;
    position_ = std::size_t(to);
    return to;
}

void TMailMemoryStream::Clear() {
    bytes_.reset();
    size_ = capacity_ = position_ = 0;
}

void TMailMemoryStream::LoadFromFile(const std::string& path) { LoadFromFd(-1, path); }

void TMailMemoryStream::LoadFromFd(int fd) { LoadFromFd(fd, "temporary file"); }

void TMailMemoryStream::LoadFromDataFile(const TDataFile& file) {
    TFileBytes bytes = file.Read();
    bytes_ = std::move(bytes.bytes);
    size_ = bytes.size;
    capacity_ = bytes.capacity;
    position_ = 0;
}

void TMailMemoryStream::LoadFromFd(int fd, const std::string& path) {
    TFileBytes file = fd < 0 ? ReadWholeFile(path) : ReadWholeFd(fd, path);
    bytes_ = std::move(file.bytes);
    size_ = file.size;
    capacity_ = file.capacity;
    position_ = 0;
}

TFileBytes ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
    try {
        TFileBytes file = ReadWholeFd(fd, path);
        ::close(fd);
        return file;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

TFileBytes ReadWholeFd(int fd, const std::string& path) {
    TFileBytes file;
    off_t at = 0;
    // A pipe cannot be read by position.
    const bool seekable = ::lseek(fd, 0, SEEK_CUR) != -1;
    struct stat st {};
    // One byte more than the file holds, so the read that reports its end needs no larger buffer.
    if (::fstat(fd, &st) == 0 && st.st_size > 0) file.capacity = std::size_t(st.st_size);
    file.capacity += 1;
    file.bytes = std::make_unique_for_overwrite<char[]>(file.capacity);
    for (;;) {
        if (file.size == file.capacity) {
            // The file grew, or its size was unknown (a pipe): take a larger buffer.
            auto larger = std::make_unique_for_overwrite<char[]>(file.capacity * 2);
            std::memcpy(larger.get(), file.bytes.get(), file.size);
            file.bytes = std::move(larger);
            file.capacity *= 2;
        }
        char* into = file.bytes.get() + file.size;
        std::size_t room = file.capacity - file.size;
        ssize_t n = seekable ? ::pread(fd, into, room, at) : ::read(fd, into, room);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error("Cannot read file \"" + path + "\". " + std::strerror(errno));
        if (n == 0) break;
        file.size += std::size_t(n);
        at += n;
    }
    return file;
}

TMailFileStream::TMailFileStream(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) throw CreateError(path, errno);
    buffer_.reserve(1 << 16);
}

TMailFileStream::~TMailFileStream() {
    if (fd_ < 0) return;
    try {
        Flush();
    } catch (...) {
        // A destructor reached during an error keeps the first error.
    }
    if (owned_) ::close(fd_);
}

void TMailFileStream::Flush() {
    WriteAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
}

std::size_t TMailFileStream::Write(const void* buffer, std::size_t count) {
    if (fd_ < 0) throw std::runtime_error("Stream write error");
    const char* p = static_cast<const char*>(buffer);
    if (buffer_.size() + count > buffer_.capacity()) Flush();
    if (count >= buffer_.capacity())
        WriteAll(fd_, p, count);
    else
        buffer_.append(p, count);
    return count;
}

void TMailFileStream::Close() {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    try {
        WriteAll(fd, buffer_.data(), buffer_.size());
    } catch (...) {
        if (owned_) ::close(fd);
        throw;
    }
    buffer_.clear();
    if (owned_ && ::close(fd) != 0) throw std::runtime_error("Stream write error");
}

std::string MakeSystemTempFile() {
    std::string folder = "/tmp/";
    if (const char* dir = std::getenv("TMPDIR"); dir && *dir) {
        folder = dir;
        if (folder.back() != '/') folder += '/';
    }
    std::string name = folder + "orvXXXXXX";
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw CreateError(name, errno);
    ::close(fd);
    return name;
}

TDataSpool::TDataSpool() {
    std::string path = MakeSystemTempFile();
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    int err = errno;
    ::unlink(path.c_str());
    if (fd_ < 0) throw CreateError(path, err);
}

TDataSpool::~TDataSpool() { ::close(fd_); }

std::shared_ptr<TDataSpool> TDataSpool::Create() {
    return std::shared_ptr<TDataSpool>(new TDataSpool);
}

std::unique_ptr<TDataFile> TDataSpool::Append(const std::function<void(TMailStream&)>& write) {
    // Bytes of an earlier append that failed half-way stay where they are, owned by no one.
    const off_t start = ::lseek(fd_, 0, SEEK_END);
    if (start < 0) throw std::runtime_error("Stream write error");
    TMailFileStream out(fd_);
    write(out);
    out.Close();
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    if (end < start) throw std::runtime_error("Stream write error");
    return std::make_unique<TDataFile>(shared_from_this(), std::uint64_t(start),
                                       std::size_t(end - start));
}

TDataFile::TDataFile(std::shared_ptr<const TDataSpool> spool, std::uint64_t offset,
                     std::size_t size)
    : spool_(std::move(spool)), offset_(offset), size_(size) {}

TDataFile::~TDataFile() {
    // Only this range goes; where the file system cannot punch holes, the space waits for the
    // spool to close.
    if (size_ > 0)
        ::fallocate(spool_->Fd(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(offset_),
                    off_t(size_));
}

void TDataFile::CopyTo(int out) const {
    const int in = spool_->Fd();
    std::size_t left = size_;
    off_t in_at = off_t(offset_);
    // In the kernel where the two file systems allow it, else through a buffer.
    while (left > 0) {
        ssize_t n = ::copy_file_range(in, &in_at, out, nullptr, left, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        left -= std::size_t(n);
    }
    std::vector<char> buf(left ? 1 << 16 : 0);
    while (left > 0) {
        ssize_t n = ::pread(in, buf.data(), std::min(buf.size(), left), in_at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("Stream read error");
        WriteAll(out, buf.data(), std::size_t(n));
        in_at += n;
        left -= std::size_t(n);
    }
}

TFileBytes TDataFile::Read() const {
    TFileBytes file;
    file.capacity = std::max<std::size_t>(size_, 1);
    file.bytes = std::make_unique_for_overwrite<char[]>(file.capacity);
    while (file.size < size_) {
        ssize_t n = ::pread(spool_->Fd(), file.bytes.get() + file.size, size_ - file.size,
                            off_t(offset_ + file.size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error(std::string("Cannot read file \"temporary file\". ") +
                                     std::strerror(errno));
        if (n == 0) throw std::runtime_error("Stream read error");
        file.size += std::size_t(n);
    }
    return file;
}

namespace {

// The common path of WriteFileWhole: fill writes the content into the atomic writer's
// temporary file. With ifFree an existing file is left as it is (false).
template <class TFill>
bool WriteWholeWith(const std::string& path, TFill fill, bool ifFree = false) {
    try {
        TAtomicFile file(path);
        try {
            errno = 0;
            fill(file.Fd());
        } catch (const EAtomicWriteError&) {
            throw;
        } catch (...) {
            throw EAtomicWriteError("write", errno ? errno : EIO);
        }
        if (ifFree) return file.CommitIfFree();
        file.Commit();
        return true;
    } catch (const EAtomicWriteError& e) {
        throw CreateError(path, e.Errno);
    }
}

}  // namespace

void WriteFileWhole(const std::string& path, std::string_view data) {
    WriteWholeWith(path, [&](int fd) { WriteAll(fd, data.data(), data.size()); });
}

void WriteFileWhole(const std::string& path, const TDataFile& data) {
    WriteWholeWith(path, [&](int fd) { data.CopyTo(fd); });
}

bool WriteFileWholeIfFree(const std::string& path, std::string_view data) {
    return WriteWholeWith(
        path, [&](int fd) { WriteAll(fd, data.data(), data.size()); }, true);
}

bool WriteFileWholeIfFree(const std::string& path, const TDataFile& data) {
    return WriteWholeWith(
        path, [&](int fd) { data.CopyTo(fd); }, true);
}
