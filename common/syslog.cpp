#include "common/syslog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"

namespace {

// One lock guards the open file, its level and its name: lines of concurrent callers are
// written one whole line at a time, in the order the callers get the lock.
std::mutex logMutex;
int logFd = -1;
int logLevel = 0;
std::string logName;
std::string logFailure;
int echoFd = -1;

constexpr std::size_t kMaxMessage = 1000;
constexpr std::size_t kCutMessage = 995;

}  // namespace

std::string LogFileNameFor(TDateTime value) {
    return FormatDateTime("yyyymmddhhnnssz", value) + ".log";
}

namespace {

std::string CutMessage(const std::string& message) {
    return message.size() <= kMaxMessage ? message : Trim(message.substr(0, kCutMessage)) + "...";
}

// Best effort: a full pipe or a closed standard error must not stop the gateway.
void Echo(const std::string& message) {
    const std::string line = CutMessage(message) + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(echoFd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string FormatLogLine(const std::string& message, TDateTime value) {
    std::string line;
    line.reserve(1025);
    line += "[" + FormatDateTime("yyyy/MM/dd hh:nn:ss", value) + "] ";
    line += CutMessage(message);
    line += "\r\n";
    return line;
}

void WriteLog(const std::string& message, int level) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (echoFd >= 0 && level <= 1) Echo(message);
    if (logFd < 0 || level > logLevel) return;
    const std::string line = FormatLogLine(message, Now());
    // O_APPEND places every write at the end of the file.
    std::size_t done = 0;
    while (done < line.size()) {
        ssize_t n = write(logFd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string reason = std::string("Unable to write the system log ") + logName +
                                       ": " + std::strerror(n < 0 ? errno : ENOSPC);
            if (logFailure.empty()) logFailure = reason;
            throw std::runtime_error(reason);
        }
        done += static_cast<std::size_t>(n);
    }
}

void WriteLogQuietly(const std::string& message, int level) noexcept {
    try {
        WriteLog(message, level);
    } catch (...) {
    }
}

bool OpenLog(const std::string& logPath, int level, std::string* error) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (error) error->clear();
    logFailure.clear();
    if (logFd >= 0) {
        close(logFd);
        logFd = -1;
        logName.clear();
    }
    if (level <= 0) return false;
    auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        logFailure = reason;
        return false;
    };
    if (!DirectoryExists(logPath) && !ForceDirectories(logPath))
        return fail("Unable to create the log folder " + logPath + ": " + std::strerror(errno));
    const std::string name = IncludeTrailingPathDelimiter(logPath) + LogFileNameFor(Now());
    // A link planted at the name would have the run truncate and fill the file it points to.
    int fd =
        open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return fail("Unable to open the system log " + name + ": " +
                    (errno == ELOOP ? std::string("it is a symbolic link") : std::strerror(errno)));
    // Other programs that honour locks keep out while the run holds its log.
    flock(fd, LOCK_EX | LOCK_NB);
    logFd = fd;
    logLevel = level;
    logName = name;
    return true;
}

void CloseLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFd >= 0) close(logFd);
    logFd = -1;
    logLevel = 0;
    logName.clear();
}

std::string LogFailure() {
    std::lock_guard<std::mutex> lock(logMutex);
    return logFailure;
}

void EchoLogTo(int fd) {
    std::lock_guard<std::mutex> lock(logMutex);
    echoFd = fd;
}

bool LogEchoes() {
    std::lock_guard<std::mutex> lock(logMutex);
    return echoFd >= 0;
}

std::string LogFileName() {
    std::lock_guard<std::mutex> lock(logMutex);
    return logName;
}
