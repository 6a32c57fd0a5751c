#include "common/temp_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <stdexcept>

#include "common/base/fileutil.h"

namespace {

// Tries the names "~qbXXXX" + suffix in folder, from a random start, until take makes one
// (true) or fails for another reason than a taken name (false, errno set); the path taken.
std::string TakeTempName(const std::string& folder, const char* suffix, const char* what,
                         bool (*take)(const std::string& path)) {
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string dir = IncludeTrailingPathDelimiter(folder);
    unsigned unique = random() & 0xFFFF;
    for (int attempt = 0; attempt < 0x10000; ++attempt, unique = (unique + 1) & 0xFFFF) {
        if (unique == 0) continue;
        char name[16];
        std::snprintf(name, sizeof name, "~qb%04X%s", unique, suffix);
        const std::string path = dir + name;
        if (take(path)) return path;
        if (errno != EEXIST) break;
    }
    throw std::runtime_error(std::string("Unable to create ") + what + " in " + dir + ": " +
                             std::strerror(errno));
}

}  // namespace

std::string MakeTempFileName(const std::string& folder) {
    return TakeTempName(folder, ".tmp", "a temporary file", [](const std::string& path) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        close(fd);
        unlink(path.c_str());
        return true;
    });
}

std::string MakeTempDir(const std::string& folder) {
    return TakeTempName(folder, "", "a work folder",
                        [](const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }) +
           "/";
}

std::string MakeTempDirName(const std::string& folder) {
    std::string candidate;
    do {
        std::string name = ExtractFileName(MakeTempFileName(folder));
        name = name.substr(0, name.find('.')).substr(0, 8);
        candidate = IncludeTrailingPathDelimiter(folder) + name;
    } while (DirectoryExists(candidate));
    return candidate;
}
