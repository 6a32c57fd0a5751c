// ScanOutbox: the files of the Outbox that are ready to be sent.
#include "common/outbox_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "common/base/fileutil.h"
#include "common/file_in_use.h"
#include "common/lookups.h"
#include "common/settings.h"

TStringList ScanOutbox(const TSettings& settings) {
    TStringList queue;
    const std::string folder = IncludeTrailingPathDelimiter(settings.ProgramInfo.OutboxPath);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return queue;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
    // Name order, as the original platform's file search returns them.
    std::sort(names.begin(), names.end());

    TFileUseProbe probe;
    for (const std::string& name : names) {
        if (name == "." || name == "..") continue;
        const std::string ext = ExtractFileExt(name);
        if (ext.empty()) continue;
        const std::string path = folder + name;
        struct stat entry {};
        if (lstat(path.c_str(), &entry) != 0 || S_ISDIR(entry.st_mode)) continue;
        // A link or special file is listed as itself, never opened: the worker files it in
        // the Error folder.
        if (!S_ISREG(entry.st_mode)) {
            if (IsImportExtension(settings, ext)) queue.Add(path);
            continue;
        }
        // A file a writer still holds open is left for a later scan.
        int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        bool ready = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !probe.InUseElsewhere(fd, st);
        close(fd);
        if (ready && IsImportExtension(settings, ext) &&
            std::find(queue.begin(), queue.end(), path) == queue.end())
            queue.Add(path);
    }
    return queue;
}
