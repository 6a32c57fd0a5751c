// A send cycle killed (SIGKILL) at random moments and started again: every Outbox file must
// end up whole in exactly one of the Outbox, the Sentbox or the Error folder, and the service
// must have received every file that reached the Sentbox.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "common/base/fileutil.h"
#include "common/base/message_pump.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "common/test_support.h"
#include "support/pump_until.h"
#include "support/real_time.h"
#include "transfer/send_thread.h"
#include "webmail_standin.h"
#include "worker_start.h"

namespace {

constexpr int kFiles = 200;

// The child's whole life: send cycles until the Outbox is empty.
[[noreturn]] void SendUntilEmpty(const std::string& programDir) {
    LoadSettings(programDir, "CRASHPC");
    for (;;) {
        if (ScanOutbox(LoadedSettings()).Count() == 0) ::_exit(0);
        bool ended = false;
        auto worker = StartSend(nullptr, [&](TWorkerThread&) { ended = true; });
        while (!ended) PumpMessages(5);
    }
}

TEST(SendCrash, KilledAtRandomMomentsEveryFileIsWholeInExactlyOnePlace) {
    TWebMailStandin standin({{"crash@send.example", "C9", "pw"}});
    TTempDir dir;
    const std::string programDir = dir.Path() + "DVR/";
    ForceDirectories(programDir);
    WriteFile(programDir + "USER.INI",
              "[SYSTEM]\nLOG_LEVEL=1\nAUTOIMPORT=1\n[IDENTIFICATION]\n"
              "EMAIL_ADDR=crash@send.example\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\n"
              "[iFile]\nTXT=1\n");
    WriteFile(programDir + "DVR.INI",
              "[SYSTEM]\nVERSION=1\n[IDX]\nA=ORDERS\n[ORDERS]\n"
              "EMAIL=orders@partner.example\nWebMailSender=" +
                  standin.UrlFormat("send") + "\n");
    ForceDirectories(dir.Path() + "OUTBOX");
    std::mt19937 random(20261209);
    std::map<std::string, std::string> files;
    for (int i = 0; i < kFiles; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "A%03d.TXT", i);
        std::string bytes(1000 + random() % 3000, ' ');
        for (char& c : bytes) c = static_cast<char>('A' + random() % 26);
        files[name] = bytes;
        WriteFile(dir.Path() + "OUTBOX/" + name, bytes);
    }

    int kills = 0;
    for (int run = 0; run < 200; ++run) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) SendUntilEmpty(programDir);
        int status = 0;
        const bool last = run >= 60;  // then let it finish undisturbed
        const int64_t killAt = RealMs() + 2 + static_cast<int64_t>(random() % 30);
        const int64_t limit = RealMs() + 120000;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (!last && RealMs() >= killAt) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                ++kills;
                break;
            }
            ASSERT_LT(RealMs(), limit) << "a send run did not end";
            ::usleep(1000);
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) break;
    }
    EXPECT_GT(kills, 10);

    std::string uploads = standin.Get("uploads");
    for (const auto& [name, bytes] : files) {
        int places = 0;
        for (const char* folder : {"OUTBOX/", "SENTBOX/", "ERROR/"}) {
            const std::string path = dir.Path() + folder + name;
            if (!std::filesystem::exists(path)) continue;
            ++places;
            EXPECT_EQ(ReadFile(path), bytes) << path;
        }
        EXPECT_EQ(places, 1) << name;
        if (std::filesystem::exists(dir.Path() + "SENTBOX/" + name)) {
            const std::string message = name.substr(0, name.size() - 4) + ".msg\"";
            EXPECT_NE(uploads.find(message), std::string::npos) << name << " was never received";
        }
    }
}

}  // namespace

namespace {

// Writers that take their time: one byte every 10 ms, ten writers at once, ten rounds.
TEST(SendSlowWriter, AFileStillBeingWrittenIsNeverSentCutShort) {
    TWebMailStandin standin({{"slow@send.example", "S1", "pw"}});
    TTempDir dir;
    const std::string programDir = dir.Path() + "DVR/";
    ForceDirectories(programDir);
    WriteFile(programDir + "USER.INI",
              "[SYSTEM]\nLOG_LEVEL=1\nAUTOIMPORT=1\n[IDENTIFICATION]\n"
              "EMAIL_ADDR=slow@send.example\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\n"
              "[iFile]\nTXT=1\n");
    WriteFile(programDir + "DVR.INI",
              "[SYSTEM]\nVERSION=1\n[IDX]\nA=ORDERS\n[ORDERS]\n"
              "EMAIL=orders@partner.example\nWebMailSender=" +
                  standin.UrlFormat("send") + "\n");
    LoadSettings(programDir, "SLOWPC");
    const std::string content = "0123456789ABCDEF";
    int trials = 0;
    for (int round = 0; round < 10; ++round) {
        std::vector<std::thread> writers;
        std::atomic<int> writing{10};
        for (int w = 0; w < 10; ++w, ++trials) {
            const std::string path = ProgramInfo.OutboxPath + "A" + std::to_string(trials) + ".TXT";
            writers.emplace_back([path, &content, &writing] {
                FILE* file = std::fopen(path.c_str(), "wb");
                for (char c : content) {
                    std::fputc(c, file);
                    std::fflush(file);
                    TSystemClock().Sleep(10);
                }
                std::fclose(file);
                --writing;
            });
        }
        // Send cycles run all the while the writers write, and once more after them.
        for (bool last = false; !last;) {
            last = writing == 0;
            bool ended = false;
            auto worker = StartSend(nullptr, [&](TWorkerThread&) { ended = true; });
            ASSERT_TRUE(PumpUntil([&] { return ended; }));
        }
        for (auto& writer : writers) writer.join();
    }
    EXPECT_EQ(ScanOutbox(LoadedSettings()).Count(), 0u);
    for (int i = 0; i < trials; ++i)
        EXPECT_EQ(ReadFile(ProgramInfo.SentboxPath + "A" + std::to_string(i) + ".TXT"), content)
            << i;
    ReleaseSettings();
}

}  // namespace
