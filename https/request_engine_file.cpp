#include "https/request_engine_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

bool TLocalFileWriter::Open() {
    fd_.Reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd_) {
        error_ = errno;
        return false;
    }
    // Exclusive use while the body is written; another process honouring the lock waits.
    ::flock(fd_.Get(), LOCK_EX | LOCK_NB);
    return true;
}

bool TLocalFileWriter::Write(std::string_view piece) {
    if (!fd_) return false;
    while (!piece.empty()) {
        const ssize_t written = ::write(fd_.Get(), piece.data(), piece.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error_ = written < 0 ? errno : ENOSPC;
            fd_.Reset();
            return false;
        }
        piece.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool TLocalFileWriter::Close() {
    if (fd_.Close() == 0) return true;
    error_ = errno;
    return false;
}
