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
    for (int cycle = 0; cycle < 100; ++cycle) {
        ScanOutbox();
        if (OutboxQueue.Count() == 0) break;
        queued += OutboxQueue.Count();
        bool ended = false;
        new TSendThread(nullptr, [&](TWorkerThread&) { ended = true; });
        while (!ended) PumpMessages(5);
    }
    const double seconds = RealSeconds() - start;
    ScanOutbox();
    std::printf("SENT %zu LEFT %zu SECONDS %.3f\n", queued - OutboxQueue.Count(),
                OutboxQueue.Count(), seconds);
    ReleaseSettings();
    return OutboxQueue.Count() == 0 ? 0 : 1;
}
