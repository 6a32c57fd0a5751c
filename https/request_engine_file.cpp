#include "https/request_engine_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

bool TLocalFileWriter::Open() {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    // Exclusive use while the body is written; another process honouring the lock waits.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    return true;
}

bool TLocalFileWriter::Write(std::string_view piece) {
    if (fd_ < 0) return false;
    while (!piece.empty()) {
        const ssize_t written = ::write(fd_, piece.data(), piece.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            Close();
            failed_ = true;
            return false;
        }
        piece.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

void TLocalFileWriter::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}
