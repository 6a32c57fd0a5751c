// The files of one upload: the mail file beside the Outbox file, the boundary, and the
// multipart request body.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string_view>

#include "common/base/atomic_file.h"
#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/unique_handle.h"
#include "common/settings.h"
#include "common/temp_names.h"
#include "transfer/send_thread.h"

namespace {

const char* const kCrLf = "\r\n";
// Files are read and written in pieces of this size, so memory does not grow with them.
constexpr std::size_t kPiece = 1 << 16;

// Calls take with each piece read from fd up to its end; errors name path.
template <class TTake>
int64_t ReadPieces(int fd, const std::string& path, TTake take) {
    std::string buffer(kPiece, '\0');
    int64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error("Read error in file \"" + path +
                                     "\": " + std::strerror(errno) + ".");
        if (n == 0) return total;
        total += n;
        take(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
}

TFileVersion VersionOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<int64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// An Outbox file opened through one descriptor, without following a link and without waiting
// on a FIFO; st is its state before the first read.
TUniqueFd OpenOutboxFile(const std::string& path, struct stat& st) {
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd && errno == ELOOP) throw ENotRegularFile(NotRegularFileReason(S_IFLNK));
    if (!fd || ::fstat(fd.Get(), &st) != 0)
        throw std::runtime_error("Cannot open file \"" + path + "\": " + std::strerror(errno) +
                                 ".");
    if (!S_ISREG(st.st_mode)) throw ENotRegularFile(NotRegularFileReason(st.st_mode));
    return fd;
}

// Writes text to a work file through a buffer, and the text lines of pieces each ended by
// CR LF: a line ends at CR, LF or CR LF (also when the two arrive in separate pieces), and the
// bytes of each line are copied unchanged.
class TCrLfWriter {
  public:
    explicit TCrLfWriter(TAtomicFile& file) : file_(file) { buffer_.reserve(2 * kPiece); }
    void Put(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kPiece) Flush();
    }
    void PutLines(std::string_view piece) {
        if (skipLf_ && !piece.empty() && piece.front() == '\n') piece.remove_prefix(1);
        skipLf_ = false;
        while (!piece.empty()) {
            const std::size_t end = piece.find_first_of("\r\n");
            if (end == std::string_view::npos) {
                Put(piece);
                lineOpen_ = true;
                return;
            }
            Put(piece.substr(0, end));
            Put(kCrLf);
            lineOpen_ = false;
            std::size_t next = end + 1;
            if (piece[end] == '\r') {
                if (next < piece.size() && piece[next] == '\n')
                    ++next;
                else if (next == piece.size())
                    skipLf_ = true;
            }
            piece.remove_prefix(next);
        }
    }
    // Ends a last line without its line break.
    void EndLines() {
        if (lineOpen_) Put(kCrLf);
        lineOpen_ = false;
        skipLf_ = false;
    }
    void Flush() {
        file_.Write(buffer_);
        buffer_.clear();
    }

  private:
    TAtomicFile& file_;
    std::string buffer_;
    bool lineOpen_ = false;
    bool skipLf_ = false;
};

// The name with its extension replaced (or, without one, added).
std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

}  // namespace

std::string TSendThread::BuildMessageFile(const std::string& outboxFile, const std::string& service,
                                          const std::string& receiver) {
    struct stat st {};
    TUniqueFd fd = OpenOutboxFile(outboxFile, st);
    // Never beside the user's files: an Outbox file may itself end in ".msg".
    workFolder_ = MakeTempDir(ExtractFilePath(outboxFile));
    const std::string messageFile =
        workFolder_ + ChangeFileExt(ExtractFileName(outboxFile), ".msg");
    // A work file only this program reads back: whole when renamed into place, not flushed.
    TAtomicFile file(messageFile);
    file.SetFlushToDisk(false);
    TCrLfWriter out(file);
    const std::string& sender = settings_.CompanyInfo.EmailAddr;
    out.Put("From: " + sender + kCrLf + "Subject: " + service + " message" + kCrLf +
            "Reply-To: " + sender + kCrLf + "To: " + receiver + kCrLf + "MIME-Version: 1.0" +
            kCrLf + "Content-Type: text/plain; charset=big5" + kCrLf +
            "Content-Transfer-Encoding: 8bit" + kCrLf + kCrLf);
    const int64_t size = ReadPieces(fd.Get(), outboxFile, [&out](std::string_view piece) {
        // As text, the file would end at its first NUL byte and be sent cut short.
        if (piece.find('\0') != std::string_view::npos)
            throw EUnsendableFile("File holds a NUL byte and cannot be sent as text");
        out.PutLines(piece);
    });
    out.EndLines();
    out.Flush();
    file.Commit();
    // The time from before the first read, the size of what was read: a change while
    // reading shows later as another version.
    readVersion_ = VersionOf(st);
    readVersion_.Size = size;
    return messageFile;
}

bool FileVersionAt(const std::string& path, TFileVersion& version) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    version = VersionOf(st);
    return true;
}

std::string NotRegularFileReason(unsigned mode) {
    switch (mode & S_IFMT) {
        case S_IFREG:
            return "";
        case S_IFLNK:
            return "Not a regular file: a symbolic link";
        case S_IFIFO:
            return "Not a regular file: a FIFO";
        case S_IFSOCK:
            return "Not a regular file: a socket";
        case S_IFCHR:
        case S_IFBLK:
            return "Not a regular file: a device";
        default:
            return "Not a regular file";
    }
}

std::string TSendThread::MakeBoundary() {
    // Seeded from the clock before each boundary, as the letters always were.
    std::mt19937 random(
        static_cast<unsigned>(Clock().MonotonicMs() ^ static_cast<int64_t>(Now() * kMsPerDay)));
    std::uniform_int_distribution<int> letter(0, 24);  // "a" to "y"
    std::string letters;
    for (int i = 0; i < 15; ++i) letters += static_cast<char>('a' + letter(random));
    char now[40];
    std::snprintf(now, sizeof now, "%.15g", Now());
    return "=_DVR+_" + settings_.ProgramInfo.Version + "_" + letters + "_" + now;
}

void TSendThread::WriteBody(const std::string& bodyFile, const std::string& messageFile,
                            const TUploadSettings& settings) {
    TUniqueFd message(::open(messageFile.c_str(), O_RDONLY | O_CLOEXEC));
    if (!message) throw std::runtime_error("Cannot open file \"" + messageFile + "\".");
    TAtomicFile file(bodyFile);
    file.SetFlushToDisk(false);
    TCrLfWriter out(file);
    const std::string b = "--" + Boundary;
    out.Put(b + kCrLf + "Content-Disposition: form-data; name=\"from\"" + kCrLf + kCrLf +
            settings.Sender + kCrLf + b + kCrLf + "Content-Disposition: form-data; name=\"to\"" +
            kCrLf + kCrLf + settings.Receiver + kCrLf + b + kCrLf +
            "Content-Disposition: form-data; name=\"attfile\"; filename=\"" + messageFile + "\"" +
            kCrLf + "Content-Type: text/plain" + kCrLf + kCrLf);
    ReadPieces(message.Get(), messageFile, [&out](std::string_view piece) { out.PutLines(piece); });
    out.EndLines();
    out.Put(kCrLf + b + "--" + kCrLf);
    out.Flush();
    file.Commit();
}

std::string SendReturnCodeText(int code, const std::string& body) {
    switch (code) {
        case -101:
            return "(-101) Not authorized for using this service.";
        case -102:
            return "(-102) Required field missed.";
        case -103:
            return "(-103) Invalid email address format.";
        case -201:
            return "(-201) Mail delivery error.";
        case -203:
            return "(-203) Host machine not found.";
        case -204:
            return "(-204) Mail delivery error - Out of service hour.";
        case -999:
            return "(-999) Unknown error encountered when processing.";
        default:
            return "Unknown return code: " + body;
    }
}
