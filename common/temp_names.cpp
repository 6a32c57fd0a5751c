#include "common/temp_names.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <stdexcept>

#include "common/base/fileutil.h"

std::string MakeTempFileName(const std::string& folder) {
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string dir = IncludeTrailingPathDelimiter(folder);
    unsigned unique = random() & 0xFFFF;
    for (int attempt = 0; attempt < 0x10000; ++attempt, unique = (unique + 1) & 0xFFFF) {
        if (unique == 0) continue;
        char name[16];
        std::snprintf(name, sizeof name, "~qb%04X.tmp", unique);
        const std::string path = dir + name;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            unlink(path.c_str());
            return path;
        }
        if (errno != EEXIST) break;
    }
    throw std::runtime_error("Unable to create a temporary file in " + dir + ": " +
                             std::strerror(errno));
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
