#pragma once

// A private folder for the files a fuzz target writes, made once per process: in /dev/shm
// where there is one (no disk flushes to wait for), else in /tmp. Ends with "/".
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

inline const std::string& FuzzFolder() {
    static const std::string folder = [] {
        struct stat st {};
        std::string path =
            ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
        path += "/dovrant-fuzz-XXXXXX";
        if (!::mkdtemp(path.data())) abort();
        return path + "/";
    }();
    return folder;
}
