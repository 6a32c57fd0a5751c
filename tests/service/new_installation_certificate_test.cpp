// What --init lays out checks the service's certificate: the send worker refuses a
// self-signed service until the operator pins that certificate as the template says.

#include <gtest/gtest.h>

#include <filesystem>

#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/base/profile.h"
#include "common/certificate_check.h"
#include "common/password.h"
#include "common/settings.h"
#include "common/test_support.h"
#include "service/installation.h"
#include "support/pump_until.h"
#include "support/test_certificates.h"
#include "transfer/webmail_standin.h"
#include "transfer/worker_start.h"

namespace {

class NewInstallation : public testing::Test {
  protected:
    void SetUp() override { SetClock(&clock_); }
    void TearDown() override {
        ReleaseSettings();
        SetClock(nullptr);
    }

    TManualClock clock_{EncodeDate(2026, 12, 9) + EncodeTime(10, 0, 0, 0)};
};

TEST_F(NewInstallation, RefusesASelfSignedServiceUntilItIsPinned) {
    const std::string certificate = Certificates() + "selfsigned";
    TWebMailStandin standin({{"company@send.example", "C1", "Pw-new-1"}},
                            {"--cert", certificate + ".pem", "--key", certificate + ".key"});
    TTempDir dir;
    const std::string site = dir.Path() + "site/";
    ASSERT_EQ(InitInstallation(site), "");
    // What the operator fills in before the first run.
    TIniFile user(site + "DVR/USER.INI");
    user.WriteString("SYSTEM", "LOG_LEVEL", "2");
    user.WriteString("IDENTIFICATION", "EMAIL_ADDR", "company@send.example");
    user.WriteString("IDENTIFICATION", "LOGIN_ID", "C1");
    user.WriteString("IDENTIFICATION", "PASSWORD", EncodeStoredPassword("Pw-new-1"));
    TIniFile dvr(site + "DVR/DVR.INI");
    dvr.WriteString("ORDERS", "EMAIL", "company@send.example");
    dvr.WriteString("ORDERS", "WebMailSender", standin.UrlFormat("send"));

    // One start with one send cycle; the lines it logged.
    TNullMainView view;
    auto sendOnce = [&] {
        std::filesystem::remove_all(site + "LOG");
        LoadSettings(site + "DVR/", "PC1");
        bool ended = false;
        auto worker = StartSend(&view, [&](TWorkerThread&) { ended = true; });
        EXPECT_TRUE(PumpUntil([&] { return ended; }, 120000));
        worker.reset();
        ReleaseSettings();
        std::vector<std::string> lines;
        for (const auto& entry : std::filesystem::directory_iterator(site + "LOG"))
            for (auto& line : LogMessages(entry.path().string())) lines.push_back(line);
        return lines;
    };
    auto logged = [](const std::vector<std::string>& lines, const std::string& start) {
        long count = 0;
        for (const auto& line : lines) count += line.rfind(start, 0) == 0;
        return count;
    };

    WriteFile(site + "OUTBOX/A1.TXT", "order");
    auto lines = sendOnce();
    EXPECT_GT(logged(lines, "Send: Server certificate refused (verification failed)"), 0);
    EXPECT_EQ(logged(lines, kNoCertificateCheckWarning), 0);
    EXPECT_EQ(ReadFile(site + "ERROR/A1.TXT"), "order");  // after its three tries
    EXPECT_EQ(JsonNumber(standin.Get("status"), "uploads"), 0);

    // Pinned as the comment above VERIFY_SERVER_CERT says, the file sent again goes through.
    user.WriteString("CONNECTION", "VERIFY_SERVER_CERT", "0");
    user.WriteString("CONNECTION", "SERVER_CERT_SHA256", OpensslFingerprint("selfsigned"));
    std::filesystem::rename(site + "ERROR/A1.TXT", site + "OUTBOX/A1.TXT");
    lines = sendOnce();
    EXPECT_GT(logged(lines, "Send: Server certificate accepted (fingerprint matches the pinned "
                            "one)"),
              0);
    EXPECT_EQ(logged(lines, kNoCertificateCheckWarning), 0);
    EXPECT_EQ(ReadFile(site + "SENTBOX/A1.TXT"), "order");
    EXPECT_EQ(JsonNumber(standin.Get("status"), "uploads"), 1);
}

}  // namespace
