// Receives everything waiting in the web mailbox of an installation with the gateway's
// receive worker (one run: one count, then fetch, delete and store each message), and prints
// how many attachments reached the Inbox and the seconds it took.
// usage: recv_mailbox PROGRAM_DIR

#include <dirent.h>

#include <cstdio>
#include <string>

#include "bench/real_time.h"
#include "common/base/message_pump.h"
#include "common/settings.h"
#include "transfer/recv_thread.h"

// The plain files in folder (work folders and hidden files aside).
static int CountFiles(const std::string& folder) {
    int files = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_type == DT_REG && entry->d_name[0] != '.') ++files;
        closedir(dir);
    }
    return files;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: recv_mailbox PROGRAM_DIR\n");
        return 2;
    }
    LoadSettings(argv[1], "BENCH");
    const int before = CountFiles(ProgramInfo.InboxPath);
    const double start = RealSeconds();
    bool ended = false;
    TRecvThread worker(SettingsSnapshot(), nullptr, [&](TWorkerThread&) { ended = true; });
    worker.Start();
    while (!ended) PumpMessages(5);
    const double seconds = RealSeconds() - start;
    const int received = CountFiles(ProgramInfo.InboxPath) - before;
    std::printf("RECEIVED %d SECONDS %.3f\n", received, seconds);
    ReleaseSettings();
    return received > 0 ? 0 : 1;
}
