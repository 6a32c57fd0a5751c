#include "common/housekeeping.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/lookups.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/view.h"

namespace {

std::string DateText(TDateTime value) { return FormatDateTime("yyyy/MM/dd", value); }

// Whether a file of folder, old enough to go, is one this purge deletes.
bool ChosenForDeletion(const std::string& name, const std::string& extension,
                       const std::string& fileName) {
    const std::string ext = ExtractFileExt(fileName);
    // Foreign files in the Sentbox were not sent by us and stay.
    if (SameText(name, "SentBox")) return IsImportExtension(ext);
    if (extension != ".*") return UpperCase(ext) == UpperCase(extension);
    return true;
}

}  // namespace

int PurgeFolder(const std::string& name, const std::string& folder, const std::string& extension,
                TDateTime cutOff) {
    int deleted = 0;
    std::string failure;
    try {
        WriteLog("Purge " + name + " - before " + DateText(cutOff), 1);
        if (DIR* dir = opendir(folder.c_str())) {
            try {
                while (dirent* entry = readdir(dir)) {
                    const std::string fileName = entry->d_name;
                    if (fileName == "." || fileName == "..") continue;
                    const std::string path = folder + fileName;
                    struct stat st {};
                    if (stat(path.c_str(), &st) != 0) {
                        if (errno == ENOENT) continue;  // gone since the listing
                        throw std::runtime_error("Unable to read the date of " + path + ": " +
                                                 std::strerror(errno));
                    }
                    if (S_ISDIR(st.st_mode)) continue;
                    TDateTime modified = 0;
                    if (!FileModifiedTime(path, modified)) continue;
                    if (modified >= cutOff || !ChosenForDeletion(name, extension, fileName))
                        continue;
                    if (DeleteFile(path))
                        ++deleted;
                    else
                        WriteLog("Purge: Unable to delete file: " + path, 2);
                }
            } catch (...) {
                closedir(dir);
                throw;
            }
            closedir(dir);
        }
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (deleted > 0)
        WriteLog(
            "Purge " + name + "(" + folder + ") - " + std::to_string(deleted) + " file(s) deleted.",
            1);
    else
        WriteLog("Purge " + name + "(" + folder + ") - no file was deleted.", 1);
    if (failure.empty()) return 0;
    WriteLog("Fail to purge " + name + " file(s). " + failure, 1);
    return -1;
}

void PerformHousekeeping() {
    bool errors = false;
    try {
        const TDateTime today = Date();
        const TDateTime inboxCutOff = today - HousekeepInfo.InboxDays;
        if (PurgeFolder("Inbox", ProgramInfo.InboxPath, ".*", inboxCutOff) != 0) errors = true;
        for (std::size_t i = 0; i < InboxLocations.Count(); ++i) {
            const std::string folder = Trim(InboxLocations.ValueFromIndex(i));
            if (folder.empty()) continue;
            if (PurgeFolder("Inbox", IncludeTrailingPathDelimiter(folder), ".*", inboxCutOff) != 0)
                errors = true;
        }
        // A failed Sentbox or log folder is reported like a failed Inbox.
        if (PurgeFolder("Sentbox", ProgramInfo.SentboxPath, ".*",
                        today - HousekeepInfo.SentboxDays) != 0)
            errors = true;
        if (PurgeFolder("System log", ProgramInfo.LogPath, ".LOG",
                        today - HousekeepInfo.SystemLogDays) != 0)
            errors = true;
        if (UserIni) UserIni->WriteInteger("HOUSEKEEP", "LAST_PURGE", static_cast<int>(today));
    } catch (const std::exception& e) {
        // Housekeeping runs while the program closes; a failure here must not stop the close.
        errors = true;
        WriteLog(std::string("Fail to perform housekeeping. ") + e.what(), 1);
    }
    if (errors)
        OperatorView().MessageBox(
            TMsgKind::Information,
            "Error found when perform housekeeping. Please check log file for "
            "details.",
            "", TMsgButtons::OK);
}

void CheckHousekeeping() {
    if (HousekeepNow) {
        WriteLog("Perform housekeep manually.", 1);
        PerformHousekeeping();
        return;
    }
    if (!HousekeepInfo.AutoPurge) return;
    WriteLog("Check housekeeping - last housekeeping date is " + DateText(HousekeepInfo.LastPurge),
             2);
    WriteLog("Check housekeeping - purge file every " +
                 std::to_string(HousekeepInfo.PurgeInterval) + " day(s)",
             2);
    if (Date() - HousekeepInfo.LastPurge < HousekeepInfo.PurgeInterval) return;
    if (OperatorView().MessageBox(TMsgKind::Confirmation, "Perform Housekeeping now?", "",
                                  TMsgButtons::YesNo) == TMsgAnswer::Yes)
        PerformHousekeeping();
}
