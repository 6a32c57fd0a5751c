// What --init lays out checks the service's certificate: the send worker refuses a
// self-signed service until the operator pins that certificate as the template's comment says.

#include <gtest/gtest.h>

#include <filesystem>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/password.h"
#include "common/test_support.h"
#include "service/installation.h"
#include "support/pump_until.h"
#include "support/test_certificates.h"
#include "transfer/webmail_standin.h"
#include "transfer/worker_start.h"

TEST(NewInstallation, RefusesASelfSignedServiceUntilItIsPinned) {
    const std::string certificate = Certificates() + "selfsigned";
    TWebMailStandin standin({{"company@send.example", "C1", "Pw-new-1"}},
                            {"--cert", certificate + ".pem", "--key", certificate + ".key"});
    TTempDir dir;
    ASSERT_EQ(InitInstallation(dir.Path()), "");
    TIniFile user(dir.Path() + "DVR/USER.INI");  // what the operator fills in
    user.WriteString("IDENTIFICATION", "EMAIL_ADDR", "company@send.example");
    user.WriteString("IDENTIFICATION", "LOGIN_ID", "C1");
    user.WriteString("IDENTIFICATION", "PASSWORD", EncodeStoredPassword("Pw-new-1"));
    TIniFile dvr(dir.Path() + "DVR/DVR.INI");
    dvr.WriteString("ORDERS", "EMAIL", "company@send.example");
    dvr.WriteString("ORDERS", "WebMailSender", standin.UrlFormat("send"));
    WriteFile(dir.Path() + "OUTBOX/A1.TXT", "order");
    TManualClock clock{EncodeDate(2026, 12, 9)};
    SetClock(&clock);
    for (const bool pinned : {false, true}) {
        if (pinned) {  // the refused file is sent again, to the pinned certificate
            user.WriteString("CONNECTION", "VERIFY_SERVER_CERT", "0");
            user.WriteString("CONNECTION", "SERVER_CERT_SHA256", OpensslFingerprint("selfsigned"));
            std::filesystem::rename(dir.Path() + "ERROR/A1.TXT", dir.Path() + "OUTBOX/A1.TXT");
        }
        LoadSettings(dir.Path() + "DVR/", "PC1");
        bool ended = false;
        TNullMainView view;
        auto worker = StartSend(&view, [&](TWorkerThread&) { ended = true; });
        EXPECT_TRUE(PumpUntil([&] { return ended; }, 120000));
        worker.reset();
        ReleaseSettings();
        EXPECT_TRUE(FileExists(dir.Path() + (pinned ? "SENTBOX/A1.TXT" : "ERROR/A1.TXT")))
            << pinned;
        EXPECT_EQ(JsonNumber(standin.Get("status"), "uploads"), pinned ? 1 : 0);
    }
    SetClock(nullptr);
}
