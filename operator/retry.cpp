#include "operator/retry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "mail/headers.h"
#include "mail/orv_msg.h"
#include "transfer/process_message.h"
#include "transfer/received_record.h"

namespace {

constexpr int kMaxSuffix = 10000;

void LogQuietly(const std::string& message) {
    try {
        WriteLog(message, 1);
    } catch (const std::exception&) {
        // The file has moved; a full log disk must not turn that into a failure.
    }
}

}  // namespace

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
    try {
        for (int attempt = 0; attempt < kMaxSuffix; ++attempt) {
            const std::string free = FreeNameIn(outbox, name);
            if (free.empty()) throw std::runtime_error("no free name in the Outbox");
            const std::string target = outbox + free;
            // Never over a file of that name, also when another writer takes it meanwhile;
            // between two file systems a copy flushed to disk goes first.
            bool copied = false;
            bool placed = false;
            try {
                placed = RenameFileIfFree(from, target);
            } catch (const EAtomicWriteError& e) {
                if (e.Errno != EXDEV) throw;
                copied = true;
                placed = CopyFileAtomicIfFree(from, target);
            }
            if (!placed) continue;  // another writer took the name meanwhile
            FlushFolder(outbox);
            if (copied) {
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
        if (!MailFileHasHeaderBlock(path)) throw std::runtime_error("it is not a mail");
        message->ParseMsgFile(path);
        // What could be read of it was stored when it came; the rest exists only here.
        if (message->EndsEarly()) throw std::runtime_error(kEndsEarlyReason);
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
    RemoveReceivedRecord(path);
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
    RemoveReceivedRecord(path);
    LogQuietly("Delete file: " + name + " from the Error folder");
    return true;
}
