// Times the Inbox count of RefreshCounters on a large Inbox.
//
//   refresh_counters --make INBOX FOLDERS FILES   lays out FILES files spread evenly over
//                                                 FOLDERS sub-folders of INBOX
//   refresh_counters INBOX [RUNS]                 counts RUNS times (default 5) and prints
//                                                 "count <n> median_ms <t>"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/real_time.h"
#include "common/folder_counters.h"

namespace {

int Make(const std::string& inbox, int folders, int files) {
    mkdir(inbox.c_str(), 0755);
    for (int f = 0; f < folders; ++f) {
        std::string folder = inbox + "/APP" + std::to_string(f);
        if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return 1;
        for (int i = f; i < files; i += folders) {
            std::string name =
                folder + "/APP" + std::to_string(f) + "-" + std::to_string(i) + ".TXT";
            int fd = open(name.c_str(), O_WRONLY | O_CREAT, 0644);
            if (fd < 0) return 1;
            close(fd);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--make")
        return Make(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc < 2) {
        std::fprintf(stderr, "usage: refresh_counters INBOX [RUNS] | --make INBOX FOLDERS FILES\n");
        return 2;
    }
    std::string inbox = std::string(argv[1]) + "/";
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::vector<double> times;
    long count = 0;
    for (int r = 0; r < runs; ++r) {
        const double start = RealSeconds() * 1000;
        count = CountFilesRecursive(inbox);
        times.push_back(RealSeconds() * 1000 - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("count %ld median_ms %.1f\n", count, times[times.size() / 2]);
    return 0;
}
