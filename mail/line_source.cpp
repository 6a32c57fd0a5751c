#include "mail/line_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

TFileLineSource::TFileLineSource(const std::string& path, std::size_t bufferSize)
    : path_(path), capacity_(std::max<std::size_t>(bufferSize, 2)) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
    buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
}

TFileLineSource::~TFileLineSource() { ::close(fd_); }

bool TFileLineSource::Fill() {
    if (atEof_) return false;
    start_ += at_;
    size_ -= at_;
    std::memmove(buffer_.get(), buffer_.get() + at_, size_);
    at_ = 0;
    nextLf_ = std::string::npos;
    if (size_ == capacity_) {
        // One line fills the buffer: it needs a larger one.
        auto larger = std::make_unique_for_overwrite<char[]>(capacity_ * 2);
        std::memcpy(larger.get(), buffer_.get(), size_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    }
    for (;;) {
        ssize_t n = ::pread(fd_, buffer_.get() + size_, capacity_ - size_, off_t(start_ + size_));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error("Cannot read file \"" + path_ + "\". " + std::strerror(errno));
        if (n == 0) atEof_ = true;
        size_ += std::size_t(n);
        return n > 0;
    }
}

bool TFileLineSource::Next(std::string_view& line) {
    for (;;) {
        char* const base = buffer_.get();
        if (nextLf_ == std::string::npos || nextLf_ < at_) {
            auto* lf = static_cast<char*>(std::memchr(base + at_, '\n', size_ - at_));
            nextLf_ = lf ? std::size_t(lf - base) : size_;
        }
        auto* cr = static_cast<char*>(std::memchr(base + at_, '\r', nextLf_ - at_));
        const std::size_t lineEnd = cr ? std::size_t(cr - base) : nextLf_;
        // A CR last in the buffer may be the first half of a CR LF.
        const bool complete = lineEnd < size_ && !(cr && lineEnd + 1 == size_ && !atEof_);
        if (!complete && !atEof_) {
            Fill();
            continue;
        }
        if (at_ == size_) return false;
        line = std::string_view(base + at_, lineEnd - at_);
        at_ = lineEnd < size_ ? lineEnd + 1 : size_;
        if (cr && at_ < size_ && base[at_] == '\n') ++at_;
        return true;
    }
}

void TFileLineSource::Seek(TLinePos pos) {
    // The line feed found last may lie past lines that are read again.
    nextLf_ = std::string::npos;
    if (pos >= start_ && pos <= start_ + size_) {
        at_ = std::size_t(pos - start_);
        return;
    }
    start_ = pos;
    at_ = size_ = 0;
    atEof_ = false;
}

const char* TLineSplitter::NextLf(const char* from, const char* end) {
    const char* lf = static_cast<const char*>(std::memchr(from, '\n', std::size_t(end - from)));
    return lf ? lf : end;
}
