// The files of one upload: the mail file beside the Outbox file, the boundary, and the
// multipart request body.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

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

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot open file \"" + path + "\".");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("Read error in file \"" + path + "\".");
    return bytes;
}

TFileVersion VersionOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<int64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// The bytes of an Outbox file and the version they came from, read through one descriptor
// opened without following a link and without waiting on a FIFO.
std::string ReadOutboxFile(const std::string& path, TFileVersion& version) {
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd && errno == ELOOP) throw ENotRegularFile(NotRegularFileReason(S_IFLNK));
    struct stat st {};
    if (!fd || ::fstat(fd.Get(), &st) != 0)
        throw std::runtime_error("Cannot open file \"" + path + "\": " + std::strerror(errno) +
                                 ".");
    if (!S_ISREG(st.st_mode)) throw ENotRegularFile(NotRegularFileReason(st.st_mode));
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error("Read error in file \"" + path +
                                     "\": " + std::strerror(errno) + ".");
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    // The time from before the first read, the size of what was read: a change while
    // reading shows later as another version.
    version = VersionOf(st);
    version.Size = static_cast<int64_t>(bytes.size());
    return bytes;
}

// Appends the text lines of bytes to out, each ended by CR LF: a line ends at CR, LF or
// CR LF, and the bytes of each line are copied unchanged.
void AppendLines(std::string& out, const std::string& bytes) {
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos) end = bytes.size();
        out.append(bytes, start, end - start);
        out += kCrLf;
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
            bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

// The name with its extension replaced (or, without one, added).
std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

// A work file only this program reads back: whole when renamed into place, not flushed.
void WriteWorkFile(const std::string& path, const std::string& bytes) {
    TAtomicFile file(path);
    file.SetFlushToDisk(false);
    file.Write(bytes);
    file.Commit();
}

}  // namespace

std::string TSendThread::BuildMessageFile(const std::string& outboxFile, const std::string& service,
                                          const std::string& receiver) {
    const std::string bytes = ReadOutboxFile(outboxFile, readVersion_);
    // As text, the file would end at its first NUL byte and be sent cut short.
    if (bytes.find('\0') != std::string::npos)
        throw EUnsendableFile("File holds a NUL byte and cannot be sent as text");
    const std::string& sender = settings_.CompanyInfo.EmailAddr;
    std::string text = "From: " + sender + kCrLf + "Subject: " + service + " message" + kCrLf +
                       "Reply-To: " + sender + kCrLf + "To: " + receiver + kCrLf +
                       "MIME-Version: 1.0" + kCrLf + "Content-Type: text/plain; charset=big5" +
                       kCrLf + "Content-Transfer-Encoding: 8bit" + kCrLf + kCrLf;
    AppendLines(text, bytes);
    // Never beside the user's files: an Outbox file may itself end in ".msg".
    workFolder_ = MakeTempDir(ExtractFilePath(outboxFile));
    const std::string messageFile =
        workFolder_ + ChangeFileExt(ExtractFileName(outboxFile), ".msg");
    WriteWorkFile(messageFile, text);
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
    const std::string b = "--" + Boundary;
    std::string body = b + kCrLf + "Content-Disposition: form-data; name=\"from\"" + kCrLf + kCrLf +
                       settings.Sender + kCrLf + b + kCrLf +
                       "Content-Disposition: form-data; name=\"to\"" + kCrLf + kCrLf +
                       settings.Receiver + kCrLf + b + kCrLf +
                       "Content-Disposition: form-data; name=\"attfile\"; filename=\"" +
                       messageFile + "\"" + kCrLf + "Content-Type: text/plain" + kCrLf + kCrLf;
    AppendLines(body, ReadWhole(messageFile));
    body += kCrLf + b + "--" + kCrLf;
    WriteWorkFile(bodyFile, body);
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
