#include "operator/retry.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "mail/orv_msg.h"
#include "transfer/process_message.h"

namespace {

constexpr int kMaxSuffix = 10000;

void LogQuietly(const std::string& message) {
    try {
        WriteLog(message, 1);
    } catch (const std::exception&) {
        // The file has moved; a full log disk must not turn that into a failure.
    }
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Copies source into a hidden staging file in folder, flushed to disk, and returns its
// name; the scan of the Outbox passes over hidden names.
std::string StageCopy(const std::string& source, const std::string& folder) {
    std::string staging = folder + ".retry-XXXXXX";
    const int out = mkostemp(staging.data(), O_CLOEXEC);
    if (out < 0) throw std::runtime_error(std::strerror(errno));
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    auto fail = [&](int error) {
        if (in >= 0) close(in);
        close(out);
        unlink(staging.c_str());
        throw std::runtime_error(std::strerror(error));
    };
    if (in < 0) fail(errno);
    char buffer[65536];
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(errno);
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) fail(w < 0 ? errno : ENOSPC);
            done += w;
        }
    }
    struct stat st {};
    if (fstat(in, &st) == 0) fchmod(out, st.st_mode & 07777);
    if (fsync(out) != 0) fail(errno);
    close(in);
    if (close(out) != 0) {
        unlink(staging.c_str());
        throw std::runtime_error(std::strerror(errno));
    }
    return staging;
}

// Moves from to target without replacing anything: true when it took target, false when
// target is taken; raises std::system_error on other failures (EXDEV between file systems).
bool PlaceWithoutReplacing(const std::string& from, const std::string& target) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS) throw std::system_error(errno, std::generic_category());
    // File systems without the no-replace rename: a hard link fails on a taken name too.
    if (link(from.c_str(), target.c_str()) != 0) {
        if (errno == EEXIST) return false;
        throw std::system_error(errno, std::generic_category());
    }
    unlink(from.c_str());
    return true;
}

}  // namespace

std::string FreeNameIn(const std::string& folder, const std::string& name) {
    if (!Exists(folder + name)) return name;
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    for (int n = 1; n < kMaxSuffix; ++n) {
        const std::string candidate = stem + "_" + std::to_string(n) + ext;
        if (!Exists(folder + candidate)) return candidate;
    }
    return "";
}

TRetryResult RetryToOutbox(const std::string& errorFolder, const std::string& name,
                           const std::string& outboxFolder) {
    TRetryResult result;
    if (errorFolder.empty() || outboxFolder.empty()) {
        // An empty folder setting would name the current folder instead.
        result.Error = "the Error folder or the Outbox is not set";
        return result;
    }
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        result.Error = "not a file name of the Error folder: " + name;
        return result;
    }
    const std::string from = IncludeTrailingPathDelimiter(errorFolder) + name;
    const std::string outbox = IncludeTrailingPathDelimiter(outboxFolder);
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.Error = name + " is no longer in the Error folder";
        return result;
    }
    std::string staging;  // a copy in the Outbox when the folders lie on two file systems
    try {
        std::string source = from;
        for (int attempt = 0; attempt < kMaxSuffix; ++attempt) {
            const std::string free = FreeNameIn(outbox, name);
            if (free.empty()) throw std::runtime_error("no free name in the Outbox");
            const std::string target = outbox + free;
            bool placed = false;
            try {
                placed = PlaceWithoutReplacing(source, target);
            } catch (const std::system_error& e) {
                if (e.code().value() != EXDEV || !staging.empty()) throw;
                staging = StageCopy(from, outbox);
                source = staging;
                placed = PlaceWithoutReplacing(source, target);
            }
            if (!placed) continue;  // another writer took the name meanwhile
            FlushFolder(outbox);
            if (!staging.empty()) {
                // The copy is in place on disk; only now may the original go.
                if (unlink(from.c_str()) != 0)
                    LogQuietly("Retry: " + name + " was copied to the Outbox but stays in the " +
                               "Error folder too. Reason: " + std::strerror(errno));
            }
            FlushFolder(IncludeTrailingPathDelimiter(errorFolder));
            result.Ok = true;
            result.Target = target;
            if (free == name)
                LogQuietly("Retry: " + name + " moved from the Error folder to the Outbox");
            else
                LogQuietly("Retry: " + name + " moved from the Error folder to the Outbox as " +
                           free + ", since a file of that name is already there");
            return result;
        }
        throw std::runtime_error("no free name in the Outbox");
    } catch (const std::exception& e) {
        if (!staging.empty() && Exists(staging)) unlink(staging.c_str());
        result.Error = e.what();
        LogQuietly("Retry: " + name + " stays in the Error folder. Reason: " + result.Error);
        return result;
    }
}

TRetryResult RetryReceived(const std::string& errorFolder, const std::string& name) {
    TRetryResult result;
    const std::string path = IncludeTrailingPathDelimiter(errorFolder) + name;
    if (errorFolder.empty() || name.find('/') != std::string::npos || !FileExists(path)) {
        result.Error = name + " is no longer in the Error folder";
        return result;
    }
    try {
        auto message = std::make_unique<TOrvMsg>();
        message->SetExpectedContentType(ProgramInfo.EmailContentType);
        message->RawMail().LoadFromFile(path);
        message->ParseMsg();
        TMessageCounters counters;
        ProcessMessage(*message, counters);
    } catch (const std::exception& e) {
        result.Error = e.what();
        LogQuietly("Retry: " + name + " could not be stored and stays in the Error folder. " +
                   "Reason: " + result.Error);
        return result;
    }
    // Stored: the raw message has served its purpose.
    if (unlink(path.c_str()) != 0) {
        result.Error =
            std::string("stored, but the file could not be removed: ") + std::strerror(errno);
        LogQuietly("Retry: " + name + " was stored again; " + result.Error);
        return result;
    }
    result.Ok = true;
    LogQuietly("Retry: " + name + " was stored again and left the Error folder");
    return result;
}

bool DeleteFailedFile(const std::string& errorFolder, const std::string& name, std::string& error) {
    if (errorFolder.empty() || name.empty() || name.find('/') != std::string::npos) {
        error = "not a file name of the Error folder: " + name;
        return false;
    }
    const std::string path = IncludeTrailingPathDelimiter(errorFolder) + name;
    if (unlink(path.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    LogQuietly("Delete file: " + name + " from the Error folder");
    return true;
}
