// No password leaves the settings: after a send cycle and a receive run with every password
// set to one canary text (debug mode on, so every work file stays), the canary appears in no
// log line, no file of the installation, no request the service logged, and no command line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/base/fileutil.h"
#include "common/outbox_scan.h"
#include "common/password.h"
#include "common/settings.h"
#include "common/test_support.h"
#include "support/pump_until.h"
#include "transfer/recv_thread.h"
#include "transfer/send_thread.h"
#include "webmail_standin.h"
#include "worker_start.h"

namespace {

const std::string kCanary = "Canary-Pw-93f1";

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every file under folder that holds the canary.
std::vector<std::string> Holders(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file() && Bytes(it->path()).find(kCanary) != std::string::npos)
            found.push_back(it->path());
    return found;
}

TEST(Passwords, NoPasswordInAnyLogLineWorkFileRequestLogOrCommandLine) {
    TWebMailStandin standin({{"canary@x.example", "CAN1", kCanary}});
    TTempDir dir;
    const std::string programDir = dir.Path() + "DVR/";
    ForceDirectories(programDir);
    const std::string stored = EncodeStoredPassword(kCanary);
    std::string connection = "LEASE_LINE=1\nTIMEOUT=30\n";
    for (const char* key : {"SEND_PROXY", "SEND_FIREWALL", "RECV_PROXY", "RECV_FIREWALL"})
        connection += std::string(key) + "_PASSWORD=" + stored + "\n";
    WriteFile(programDir + "USER.INI",
              "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\nDEBUGMODE=1\n"
              "[IDENTIFICATION]\nEMAIL_ADDR=canary@x.example\n"
              "LOGIN_ID=CAN1\nPASSWORD=" +
                  stored + "\n[CONNECTION]\n" + connection + "[iFile]\nTXT=1\n");
    WriteFile(programDir + "DVR.INI",
              "[SYSTEM]\nVERSION=1\nEMAIL_CONTENT_TYPE=multipart/mixed\n[CONNECTION]\n"
              "WEBMAILCOUNTER=" +
                  standin.UrlFormat("count") + "\nWEBMAILRETRIEVER=" +
                  standin.UrlFormat("retrieve") + "\nWEBMAILDELETE=" + standin.UrlFormat("delete") +
                  "\n[IDX]\nA=SELF\n[SELF]\nEMAIL=canary@x.example\nWebMailSender=" +
                  standin.UrlFormat("send") + "\n");
    LoadSettings(programDir, "CANARYPC");
    ASSERT_EQ(CompanyInfo.Password, kCanary);

    // Sends a file to its own mailbox, then receives it back.
    WriteFile(ProgramInfo.OutboxPath + "A1.TXT", "round trip");
    bool sent = false;
    auto sender = StartSend(nullptr, [&](TWorkerThread&) { sent = true; });
    ASSERT_TRUE(PumpUntil([&] { return sent; }));
    bool received = false;
    auto receiver = StartReceive(nullptr, [&](TWorkerThread&) { received = true; });
    ASSERT_TRUE(PumpUntil([&] { return received; }));
    ReleaseSettings();
    EXPECT_TRUE(FileExists(dir.Path() + "INBOX/A1.msg"));

    // The installation (logs, work folders, Inbox, Sentbox, Error) and the service's side.
    std::vector<std::string> holders = Holders(dir.Path());
    std::erase(holders, programDir + "USER.INI");  // holds it scrambled, never in clear
    EXPECT_EQ(holders, std::vector<std::string>{});
    // The service's request log names the password parameter, never its value.
    const std::string requests = Bytes(standin.StateDir() + "requests.log");
    EXPECT_EQ(requests.find(kCanary), std::string::npos);
    EXPECT_NE(Bytes(standin.StateDir() + "requests.log").find("pwd="), std::string::npos);
    // Command lines of this process and of every process it started.
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string cmdline = Bytes(entry.path().string() + "/cmdline");
        EXPECT_EQ(cmdline.find(kCanary), std::string::npos) << entry.path();
    }
}

}  // namespace
