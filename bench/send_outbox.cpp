// Sends everything in the Outbox of an installation with the gateway's send worker, cycle
// after cycle until the Outbox is empty, and prints the count and the seconds it took.
// usage: send_outbox PROGRAM_DIR

#include <cstdio>

#include "bench/real_time.h"
#include "common/base/message_pump.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "transfer/send_thread.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: send_outbox PROGRAM_DIR\n");
        return 2;
    }
    LoadSettings(argv[1], "BENCH");
    const double start = RealSeconds();
    std::size_t queued = 0;
    const std::atomic<bool> autoImport{true};
    for (int cycle = 0; cycle < 100; ++cycle) {
        TStringList queue = ScanOutbox(LoadedSettings());
        if (queue.Count() == 0) break;
        queued += queue.Count();
        bool ended = false;
        TSendThread worker({SettingsSnapshot(), queue, &autoImport}, nullptr,
                           [&](TWorkerThread&) { ended = true; });
        worker.Start();
        while (!ended) PumpMessages(5);
    }
    const double seconds = RealSeconds() - start;
    const std::size_t left = ScanOutbox(LoadedSettings()).Count();
    std::printf("SENT %zu LEFT %zu SECONDS %.3f\n", queued - left, left, seconds);
    ReleaseSettings();
    return left == 0 ? 0 : 1;
}
