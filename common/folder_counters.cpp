#include "common/folder_counters.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "common/base/to_main_thread.h"
#include "common/lookups.h"
#include "common/settings.h"

namespace {

enum class TEntryKind { File, Folder, Other };

TEntryKind KindOf(int dirFd, const dirent* entry) {
    switch (entry->d_type) {
        case DT_REG:
            return TEntryKind::File;
        case DT_DIR:
            return TEntryKind::Folder;
        case DT_UNKNOWN:
            break;  // some file systems leave the type to stat
        case DT_LNK:
            break;  // a link to a file counts as the file
        default:
            return TEntryKind::Other;
    }
    struct stat st {};
    bool link = entry->d_type == DT_LNK;
    if (fstatat(dirFd, entry->d_name, &st, link ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return TEntryKind::Other;
    if (S_ISREG(st.st_mode)) return TEntryKind::File;
    if (S_ISDIR(st.st_mode) && !link) return TEntryKind::Folder;
    return TEntryKind::Other;
}

// Takes ownership of dirFd.
long CountBelow(int dirFd) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return 0;
    }
    long count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;  // ".", ".." and hidden entries
        switch (KindOf(dirfd(dir), entry)) {
            case TEntryKind::File:
                ++count;
                break;
            case TEntryKind::Folder: {
                int sub = openat(dirfd(dir), entry->d_name,
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) count += CountBelow(sub);
                break;
            }
            case TEntryKind::Other:
                break;
        }
    }
    closedir(dir);
    return count;
}

std::string ExtensionOf(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot && dot != name ? std::string(dot) : std::string();
}

std::mutex SinkLock;
TCounterSink Sink;

}  // namespace

long CountFilesRecursive(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? 0 : CountBelow(fd);
}

long CountFilesWithExtension(const std::string& folder,
                             const std::function<bool(const std::string&)>& accept) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    long count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        if (KindOf(dirfd(dir), entry) == TEntryKind::File && accept(ExtensionOf(entry->d_name)))
            ++count;
    }
    closedir(dir);
    return count;
}

std::string CounterCaption(const std::string& name, long count) {
    return name + " (" + std::to_string(count) + ")";
}

TFolderCounts CountFolders() { return CountFolders(LoadedSettings()); }

TFolderCounts CountFolders(const TSettings& settings) {
    const auto enabled = [&settings](const std::string& extension) {
        return IsImportExtension(settings, extension);
    };
    TFolderCounts counts;
    counts.Inbox = CountFilesRecursive(settings.ProgramInfo.InboxPath);
    counts.Outbox = CountFilesWithExtension(settings.ProgramInfo.OutboxPath, enabled);
    counts.Error = CountFilesWithExtension(settings.ProgramInfo.ErrorPath, enabled);
    return counts;
}

void SetCounterSink(TCounterSink sink) {
    std::lock_guard<std::mutex> guard(SinkLock);
    Sink = std::move(sink);
}

namespace {

void DeliverCounts(const TFolderCounts& counts) {
    TCounterSink sink;
    {
        std::lock_guard<std::mutex> guard(SinkLock);
        sink = Sink;
    }
    if (sink) sink(counts);
}

}  // namespace

void RefreshCounters() { RefreshCounters(LoadedSettings()); }

void RefreshCounters(const TSettings& settings) {
    const TFolderCounts counts = CountFolders(settings);
    if (MainThread().IsMainThread())
        DeliverCounts(counts);
    else  // a worker counted: the window hears of it on the main thread
        MainThread().Post([counts] { DeliverCounts(counts); });
}
