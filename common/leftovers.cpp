#include "common/leftovers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/unique_handle.h"
#include "common/file_in_use.h"
#include "common/lookups.h"
#include "common/settings.h"
#include "common/syslog.h"

namespace {

// Deeper Inbox sub-folders than this are not the gateway's.
constexpr int kMaxDepth = 8;

bool IsAtomicTemp(const std::string& name) {
    return name.size() == 11 && name.compare(0, 5, ".dvr-") == 0;
}

bool IsUploadFolder(const std::string& name) {
    return name.size() == 7 && name.compare(0, 3, "~qb") == 0;
}

class TSweep {
  public:
    // A regular file nobody holds: removed.
    bool RemoveFile(const std::string& path) {
        const TUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!fd || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
        if (probe_.InUseElsewhere(fd.Get(), st)) return false;
        return ::unlink(path.c_str()) == 0;
    }

    // An upload work folder: its files, then the folder, unless one of them is held.
    void RemoveUploadFolder(const std::string& folder) {
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
        for (const std::string& name : FolderEntries(folder + "/"))
            if (!RemoveFile(folder + "/" + name)) return;
        if (::rmdir(folder.c_str()) == 0) Removed(folder + "/");
    }

    void SweepTemps(const std::string& folder, bool subFolders, int depth) {
        for (const std::string& name : FolderEntries(folder)) {
            const std::string path = folder + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) continue;
            if (S_ISREG(st.st_mode) && IsAtomicTemp(name)) {
                if (RemoveFile(path)) Removed(path);
            } else if (S_ISDIR(st.st_mode) && subFolders && depth < kMaxDepth &&
                       !IsUploadFolder(name)) {
                SweepTemps(path + "/", true, depth + 1);
            }
        }
    }

    void Removed(const std::string& path) {
        WriteLog("Removed a leftover of an earlier run: " + path, 1);
        removed.push_back(path);
    }

    std::vector<std::string> removed;

  private:
    TFileUseProbe probe_;
};

// A file an earlier run sent but could not file in the Sentbox was kept in the Outbox as
// "<name>.sent"; it is filed there now (under a free name when name is taken). Only names of
// files the gateway sends: any other ".sent" file is not ours to move.
void FileKeptSent(const TSettings& settings, const std::string& outbox) {
    const std::string sentbox = IncludeTrailingPathDelimiter(settings.ProgramInfo.SentboxPath);
    const std::string suffix = ".sent";
    for (const std::string& name : FolderEntries(outbox)) {
        if (name.size() <= suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string sent = name.substr(0, name.size() - suffix.size());
        struct stat st {};
        if (::lstat((outbox + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            !IsImportExtension(settings, ExtractFileExt(sent)))
            continue;
        std::string filed;
        try {
            filed = MoveFileAtomicToFreeName(outbox + name, sentbox, sent);
        } catch (const std::exception& e) {
            WriteLog("Send: " + sent + " was sent and is kept in the Outbox as " + name +
                         ". Reason: " + e.what(),
                     1);
            continue;
        }
        WriteLog("Move file: " + name + " to " + sentbox + " as " + filed, 1);
    }
}

}  // namespace

std::vector<std::string> SweepLeftovers(const TSettings& settings) {
    const TProgramInfo& p = settings.ProgramInfo;
    TSweep sweep;
    if (!p.OutboxPath.empty()) {
        const std::string outbox = IncludeTrailingPathDelimiter(p.OutboxPath);
        for (const std::string& name : FolderEntries(outbox))
            if (IsUploadFolder(name)) sweep.RemoveUploadFolder(outbox + name);
        sweep.SweepTemps(outbox, false, 0);
        if (!p.SentboxPath.empty()) FileKeptSent(settings, outbox);
    }
    if (!p.InboxPath.empty()) sweep.SweepTemps(IncludeTrailingPathDelimiter(p.InboxPath), true, 0);
    for (const std::string& folder : {p.SentboxPath, p.ErrorPath})
        if (!folder.empty()) sweep.SweepTemps(IncludeTrailingPathDelimiter(folder), false, 0);
    return sweep.removed;
}
