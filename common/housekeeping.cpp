#include "common/housekeeping.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/unique_handle.h"
#include "common/file_in_use.h"
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

// A file the purge leaves: it says so at level 2 and goes on with the next one.
void Skip(const std::string& path) { WriteLog("Purge: Unable to delete file: " + path, 2); }

// Whether another program (or another descriptor of this one) has the file open, as a
// receiver still writing it would; a file that cannot be opened to find out counts as in use.
bool InUse(TFileUseProbe& probe, const std::string& path, const struct stat& st) {
    TUniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!fd || fstat(fd.Get(), &opened) != 0 || opened.st_dev != st.st_dev ||
        opened.st_ino != st.st_ino)
        return true;
    return probe.InUseElsewhere(fd.Get(), opened);
}

}  // namespace

int PurgeFolder(const std::string& name, const std::string& folder, const std::string& extension,
                TDateTime cutOff) {
    int deleted = 0;
    std::string failure;
    try {
        WriteLog("Purge " + name + " - before " + DateText(cutOff), 1);
        // The running log is compared by file, whatever name the folder text gives it.
        struct stat runningLog {};
        const std::string logName = LogFileName();
        const bool logging = !logName.empty() && stat(logName.c_str(), &runningLog) == 0;
        TFileUseProbe probe;
        TUniqueDir dir(opendir(folder.c_str()));
        while (dir) {
            const dirent* entry = readdir(dir.Get());
            if (entry == nullptr) break;
            const std::string fileName = entry->d_name;
            if (fileName == "." || fileName == "..") continue;
            const std::string path = folder + fileName;
            // The entry itself, never what a link points to: a loop or a dangling link is one
            // entry to skip, not the end of the purge.
            struct stat st {};
            if (lstat(path.c_str(), &st) != 0) {
                if (errno != ENOENT) Skip(path);  // ENOENT: gone since the listing
                continue;
            }
            if (S_ISDIR(st.st_mode)) continue;
            TDateTime modified = 0;
            try {
                modified = DateTimeFromTimeT(st.st_mtim.tv_sec,
                                             static_cast<int>(st.st_mtim.tv_nsec / 1000000));
            } catch (const EConvertError&) {
                Skip(path);  // a date no calendar holds: nothing to compare with the cut-off
                continue;
            }
            if (modified >= cutOff || !ChosenForDeletion(name, extension, fileName)) continue;
            if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0 ||
                (logging && st.st_dev == runningLog.st_dev && st.st_ino == runningLog.st_ino) ||
                InUse(probe, path, st)) {
                Skip(path);
                continue;
            }
            if (DeleteFile(path))
                ++deleted;
            else
                Skip(path);
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

bool HousekeepNow = false;

bool CheckHousekeeping() {
    if (HousekeepNow) {
        WriteLog("Perform housekeep manually.", 1);
        PerformHousekeeping();
        return true;
    }
    if (!HousekeepInfo.AutoPurge) return false;
    WriteLog("Check housekeeping - last housekeeping date is " + DateText(HousekeepInfo.LastPurge),
             2);
    WriteLog("Check housekeeping - purge file every " +
                 std::to_string(HousekeepInfo.PurgeInterval) + " day(s)",
             2);
    if (Date() - HousekeepInfo.LastPurge < HousekeepInfo.PurgeInterval) return false;
    if (OperatorView().MessageBox(TMsgKind::Confirmation, "Perform Housekeeping now?", "",
                                  TMsgButtons::YesNo) != TMsgAnswer::Yes)
        return false;
    PerformHousekeeping();
    return true;
}
