// Sends everything in the Outbox of an installation with the gateway's send worker, cycle
// after cycle until the Outbox is empty, and prints the count and the seconds it took. Each
// cycle's outcome goes into the transfer history as the gateway records it; the seconds that
// took, and the seconds the worker spent reading the checksums of the files it filed (read
// again here, from the same cache), are printed beside.
// usage: send_outbox PROGRAM_DIR

#include <cstdio>

#include "bench/real_time.h"
#include "common/base/datetime.h"
#include "common/base/message_pump.h"
#include "common/file_digest.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "gateway/history_rows.h"
#include "history/history_recorder.h"
#include "transfer/send_thread.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: send_outbox PROGRAM_DIR\n");
        return 2;
    }
    LoadSettings(argv[1], "BENCH");
    const double start = RealSeconds();
    std::size_t queued = 0;
    double recording = 0, digests = 0;
    THistoryRecorder history(ProgramInfo.LogPath + kHistoryFileName, [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
    });
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
        const double recordStart = RealSeconds();
        history.Record(SendHistoryRows(worker.Outcome(), LoadedSettings(), Now()));
        const double digestStart = RealSeconds();
        recording += digestStart - recordStart;
        for (const auto& [path, digest] : worker.Outcome().Digests) FileDigest(path);
        digests += RealSeconds() - digestStart;
    }
    // The send workers alone: neither the recording after each cycle nor the reading again.
    const double seconds = RealSeconds() - start - digests - recording;
    const std::size_t left = ScanOutbox(LoadedSettings()).Count();
    std::printf("SENT %zu LEFT %zu SECONDS %.3f RECORD %.3f DIGEST %.3f\n", queued - left, left,
                seconds, recording, digests);
    ReleaseSettings();
    return left == 0 ? 0 : 1;
}
