#include "transfer/process_message.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/message_pump.h"
#include "common/base/text.h"
#include "common/base/unique_handle.h"
#include "common/lookups.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "mail/orv_msg.h"
#include "transfer/auto_upgrade.h"

namespace {

const char* const kAutoUpgradeError = "Error in process AutoUpgrade message";
constexpr int kFreeNameAttempts = 100;

void SyncFolder(const std::string& folder) {
    TUniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.Get());
}

void ProcessAutoUpgradeMessage(const TSettings& settings, TOrvMsg& message,
                               TMessageCounters& counters) {
    ++counters.AutoUpgrade;
    WriteLog("The received message is an Auto-upgrade.", 1);
    WriteLog("  Message ID := " + message.MessageID(), 2);
    WriteLog("  From    := " + message.From(), 2);
    WriteLog("  Subject := " + message.Subject(), 2);
    WriteLog("  Content Type := " + message.ContentType(), 2);
    WriteLog("  # Attachment := " + std::to_string(message.Attachments().Count()), 2);
    if (ProcessAutoUpgrade(settings, message.Attachments(), message.Text()) != 0) {
        WriteLog(kAutoUpgradeError, 1);
        throw std::runtime_error(kAutoUpgradeError);
    }
}

// The whole content of path when it is a regular file of size bytes; nullopt otherwise.
std::optional<std::string> ReadIfSize(const std::string& path, std::size_t size) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) != size)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string bytes(size, '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return std::nullopt;
    return bytes;
}

void ProcessMail(const TSettings& settings, TOrvMsg& message, TMessageCounters& counters,
                 std::vector<std::string>* storedFiles, bool resume) {
    ++counters.Email;
    WriteLog("The received message is a non-encrypted mail.", 1);
    WriteLog("  Message ID := " + message.MessageID(), 2);
    WriteLog("  From    := " + message.From(), 1);
    WriteLog("  Subject := " + message.Subject(), 2);
    WriteLog("  Content Type := " + message.ContentType(), 2);
    WriteLog("  MDNReportType := " + message.MDNReportType(), 2);
    WriteLog("  MDNOrgMessage ID := " + message.MDNOrgMessageID(), 2);
    WriteLog("  # Attachment := " + std::to_string(message.Attachments().Count()), 2);
    const TAttachedFiles& attachments = message.Attachments();
    for (std::size_t i = 0; i < attachments.Count(); ++i) {
        PumpMessages(0);
        const TAttachedFile& file = attachments[i];
        // Refused before the folder lookup, so a bad name creates no sub-folder either.
        if (!IsPlainFileName(file.FileName()))
            throw std::runtime_error("Invalid attachment file name '" + file.FileName() + "'");
        std::string folder;
        GetInboxFolder(settings, file.FileName(), folder);
        if (resume) {
            const std::string found = FindStoredAttachment(file, folder);
            if (!found.empty()) {
                if (storedFiles) storedFiles->push_back(found);
                WriteLog("Receive: The attachment " + file.FileName() +
                             " was stored before the run was cut short; it stays as " + found,
                         1);
                continue;
            }
        }
        const std::string path = SaveAttachment(file, folder);
        if (storedFiles) storedFiles->push_back(path);
        const std::string used = ExtractFileName(path);
        if (used != file.FileName())
            WriteLog("Receive: A file named " + file.FileName() + " is already in " +
                         ExtractFilePath(path) + "; the attachment was saved as " + used,
                     1);
        WriteLog("  Attachment was saved in: " + path, 2);
    }
}

}  // namespace

void ProcessMessage(TOrvMsg& message, TMessageCounters& counters) {
    ProcessMessage(LoadedSettings(), message, counters);
}

void ProcessMessage(const TSettings& settings, TOrvMsg& message, TMessageCounters& counters,
                    std::vector<std::string>* storedFiles, bool resume) {
    try {
        if (SameText(message.Subject(), "AUTOUPGRADE"))
            ProcessAutoUpgradeMessage(settings, message, counters);
        else
            ProcessMail(settings, message, counters, storedFiles, resume);
    } catch (const std::exception& e) {
        WriteLog(std::string("Receive: ") + e.what(), 1);
        throw;
    }
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string SaveAttachment(const TAttachedFile& file, const std::string& folder) {
    if (!IsPlainFileName(file.FileName()))
        throw std::runtime_error("Invalid attachment file name '" + file.FileName() + "'");
    const std::string dir = IncludeTrailingPathDelimiter(folder);
    // The mail model writes through the atomic writer: whole or not at all, flushed. A name
    // taken between the look and the write is looked for again.
    for (int attempt = 0; attempt < kFreeNameAttempts; ++attempt) {
        const std::string name = FreeNameIn(dir, file.FileName());
        if (name.empty()) break;
        if (file.SaveToFileIfFree(dir + name)) return dir + name;
    }
    throw std::runtime_error("No free name for '" + file.FileName() + "' in " + dir);
}

std::string FindStoredAttachment(const TAttachedFile& file, const std::string& folder) {
    const TMailMemoryStream* data = file.Data();
    if (!data || !IsPlainFileName(file.FileName())) return "";
    const std::string dir = IncludeTrailingPathDelimiter(folder);
    const std::string& name = file.FileName();
    // The names FreeNameIn gives, in its order, up to the first that is free.
    const std::size_t dot = name.rfind('.');
    const bool plain = dot == std::string::npos || dot == 0;
    const std::string stem = plain ? name : name.substr(0, dot);
    const std::string ext = plain ? "" : name.substr(dot);
    for (int n = 0; n < kFreeNameAttempts * 100; ++n) {
        const std::string path = dir + (n == 0 ? name : stem + "_" + std::to_string(n) + ext);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) break;
        if (ReadIfSize(path, data->Size()) == std::string(data->View())) return path;
    }
    return "";
}

bool ForceDirectoriesSynced(const std::string& folder) {
    // The folders that are missing now, innermost first.
    std::vector<std::string> created;
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    while (!path.empty() && path != "/" && !DirectoryExists(path)) {
        created.push_back(path);
        const std::string::size_type slash = path.rfind('/');
        if (slash == std::string::npos) break;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
    if (!ForceDirectories(folder)) return false;
    for (const std::string& made : created) SyncFolder(ExtractFilePath(made));
    return true;
}
