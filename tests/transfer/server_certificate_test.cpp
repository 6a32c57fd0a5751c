// The certificate rules of the workers against the stand-in service serving a certificate
// the test root issued for 127.0.0.1, one signed by itself, and one issued for another host.

#include "transfer/server_certificate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/base/text.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "common/test_support.h"
#include "recv_test_server.h"
#include "support/pump_until.h"
#include "support/test_certificates.h"
#include "transfer/send_thread.h"
#include "webmail_standin.h"
#include "worker_start.h"

namespace {

// SSL_CERT_FILE points at the test root for the life of the object.
class TTrustRoot {
  public:
    TTrustRoot() {
        if (const char* value = std::getenv("SSL_CERT_FILE")) saved_ = value;
        setenv("SSL_CERT_FILE", (Certificates() + "ca.pem").c_str(), 1);
    }
    ~TTrustRoot() {
        if (saved_)
            setenv("SSL_CERT_FILE", saved_->c_str(), 1);
        else
            unsetenv("SSL_CERT_FILE");
    }

  private:
    std::optional<std::string> saved_;
};

// One stand-in per certificate, started on first use.
TWebMailStandin& StandinServing(const std::string& certificate) {
    static std::map<std::string, std::unique_ptr<TWebMailStandin>> standins;
    auto& standin = standins[certificate];
    if (!standin) {
        const std::string path = Certificates() + certificate;
        standin = std::make_unique<TWebMailStandin>(
            std::vector<TStandinAccount>{{"company@send.example", "C1", "Pw-cert-1"}},
            std::vector<std::string>{"--cert", path + ".pem", "--key", path + ".key"});
    }
    return *standin;
}

struct TRuleCase {
    std::string Certificate;
    std::string UserIni;  // lines of [CONNECTION]
    bool Accepted;
    std::string Reason;
};

class CertificateRule : public testing::Test {
  protected:
    void TearDown() override {
        ReleaseSettings();
        SetClock(nullptr);
    }

    // One send cycle of the real worker for one file, with these USER.INI lines.
    void SendOne(const TRuleCase& rule, TWebMailStandin& standin) {
        SetClock(&clock_);
        TTempDir dir;
        const std::string programDir = dir.Path() + "DVR/";
        ForceDirectories(programDir);
        WriteFile(programDir + "USER.INI",
                  "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n"
                  "[IDENTIFICATION]\nEMAIL_ADDR=company@send.example\nLOGIN_ID=C1\n"
                  "[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\nRETRY=1\n" +
                      rule.UserIni + "[iFile]\nTXT=1\n");
        WriteFile(programDir + "DVR.INI",
                  "[SYSTEM]\nVERSION=2.4.1\n[IDX]\nA=ORDERS\n[ORDERS]\n"
                  "EMAIL=orders@partner.example\nWebMailSender=" +
                      standin.UrlFormat("send") + "\n");
        LoadSettings(programDir, "TESTPC");
        WriteFile(ProgramInfo.OutboxPath + "A1.TXT", "order");
        bool ended = false;
        auto worker = StartSend(&view_, [&](TWorkerThread&) { ended = true; });
        ASSERT_TRUE(PumpUntil([&] { return ended; }, 120000));

        const std::string context = rule.Certificate + " with " + rule.UserIni;
        std::vector<std::string> verdicts;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "LOG/"))
            for (auto& line : LogMessages(entry.path().string()))
                if (line.rfind("Send: Server certificate ", 0) == 0) verdicts.push_back(line);
        ASSERT_FALSE(verdicts.empty()) << context;
        const std::string expected = std::string("Send: Server certificate ") +
                                     (rule.Accepted ? "accepted" : "refused") + " (" + rule.Reason +
                                     "): subject \"";
        for (const auto& line : verdicts) EXPECT_EQ(line.rfind(expected, 0), 0u) << line;
        EXPECT_NE(verdicts[0].find(", SHA-256 " +
                                   NormalizeFingerprint(OpensslFingerprint(rule.Certificate))),
                  std::string::npos)
            << verdicts[0];
        EXPECT_EQ(FileExists(ProgramInfo.SentboxPath + "A1.TXT"), rule.Accepted) << context;
        ReleaseSettings();
    }

    TManualClock clock_{EncodeDate(2026, 12, 9) + EncodeTime(10, 0, 0, 0)};
    TNullMainView view_;
};

}  // namespace

TEST(ServerCertificateText, FingerprintsAreReadInEveryCommonSpellingAndNothingElse) {
    const std::string hex(64, 'a');
    EXPECT_EQ(NormalizeFingerprint(hex), hex);
    std::string colons;
    for (int i = 0; i < 32; ++i) colons += std::string(i ? ":" : "") + "AA";
    EXPECT_EQ(NormalizeFingerprint(colons), hex);
    EXPECT_EQ(NormalizeFingerprint("  " + std::string(32, 'A') + " " + std::string(32, 'a')), hex);
    EXPECT_EQ(NormalizeFingerprint(std::string(63, 'a')), "");        // too short
    EXPECT_EQ(NormalizeFingerprint(std::string(66, 'a')), "");        // too long
    EXPECT_EQ(NormalizeFingerprint(std::string(63, 'a') + "g"), "");  // no hex digit
    EXPECT_EQ(NormalizeFingerprint("sha256:" + hex), "");
    EXPECT_EQ(NormalizeFingerprint(""), "");
}

TEST(ServerCertificateText, WithoutACertificateOnlyTheDefaultAccepts) {
    EXPECT_TRUE(JudgeServerCertificate({}, 0, "", "[0x0] OK").Accept);
    const std::string pin(64, 'a');
    for (const TServerCertificateRule& rule :
         {TServerCertificateRule{true, ""}, TServerCertificateRule{false, pin}}) {
        const auto verdict = JudgeServerCertificate(rule, 0, "", "[0x0] OK");
        EXPECT_FALSE(verdict.Accept);
        EXPECT_EQ(verdict.LogLine,
                  "Server certificate refused (no certificate offered): subject \"\", status "
                  "[0x0] OK, SHA-256 (none)");
    }
}

// Each rule against each kind of certificate, through the send worker and USER.INI.
TEST_F(CertificateRule, SendWorkerAcceptsOnlyWhatTheRuleAllows) {
    TTrustRoot trust;
    const std::string trustedPin = OpensslFingerprint("trusted");
    const std::string selfPin = OpensslFingerprint("selfsigned");
    const std::string wrongPin = OpensslFingerprint("wronghost");
    ASSERT_EQ(NormalizeFingerprint(trustedPin).size(), 64u) << trustedPin;
    const std::vector<TRuleCase> cases = {
        // the default takes whatever is offered
        {"trusted", "", true, "no check configured"},
        {"selfsigned", "", true, "no check configured"},
        {"wronghost", "VERIFY_SERVER_CERT=0\n", true, "no check configured"},
        // verification wants a trusted chain issued for the host
        {"trusted", "VERIFY_SERVER_CERT=1\n", true, "verified"},
        {"selfsigned", "VERIFY_SERVER_CERT=1\n", false, "verification failed"},
        {"wronghost", "VERIFY_SERVER_CERT=1\n", false, "verification failed"},
        // a pin alone takes the pinned certificate, trusted or not, and nothing else
        {"trusted", "SERVER_CERT_SHA256=" + trustedPin + "\n", true,
         "fingerprint matches the pinned one"},
        {"selfsigned", "SERVER_CERT_SHA256=" + selfPin + "\n", true,
         "fingerprint matches the pinned one"},
        {"wronghost", "SERVER_CERT_SHA256=" + LowerCase(wrongPin) + "\n", true,
         "fingerprint matches the pinned one"},
        {"selfsigned", "SERVER_CERT_SHA256=" + trustedPin + "\n", false,
         "fingerprint does not match the pinned one"},
        {"trusted", "SERVER_CERT_SHA256=" + selfPin + "\n", false,
         "fingerprint does not match the pinned one"},
        {"trusted", "SERVER_CERT_SHA256=not-a-fingerprint\n", false,
         "the pinned fingerprint is not a SHA-256 fingerprint"},
        // both: the pinned certificate must verify as well
        {"trusted", "VERIFY_SERVER_CERT=1\nSERVER_CERT_SHA256=" + trustedPin + "\n", true,
         "verified, fingerprint matches the pinned one"},
        {"selfsigned", "VERIFY_SERVER_CERT=1\nSERVER_CERT_SHA256=" + selfPin + "\n", false,
         "verification failed"},
    };
    for (const auto& rule : cases) {
        TWebMailStandin& standin = StandinServing(rule.Certificate);
        const long before = JsonNumber(standin.Get("status"), "uploads");
        SendOne(rule, standin);
        EXPECT_EQ(JsonNumber(standin.Get("status"), "uploads") - before, rule.Accepted ? 1 : 0)
            << rule.Certificate << " with " << rule.UserIni;
        if (HasFatalFailure()) return;
    }
}

class RecvCertificateRule : public TRecvFixture {};

TEST_F(RecvCertificateRule, ReceiveWorkerRefusesAnUntrustedServiceAndLeavesTheMailbox) {
    TTrustRoot trust;
    for (const std::string certificate : {"selfsigned", "trusted"}) {
        TWebMailStandin& standin = StandinServing(certificate);
        standin.Post("reset", "{}");
        CompanyInfo = {"company@send.example", "C1", "Pw-cert-1"};
        standin.Post("mailbox/add",
                     "{\"address\": \"company@send.example\", \"from\": \"s@x.y\", "
                     "\"subject\": \"Orders\", \"text\": \"x\", \"attachments\": "
                     "[{\"name\": \"R.TXT\", \"data\": \"bytes\"}]}");
        ConnectionInfo.WebMailCounter = standin.UrlFormat("count");
        ConnectionInfo.WebMailRetriever = standin.UrlFormat("retrieve");
        ConnectionInfo.WebMailDelete = standin.UrlFormat("delete");
        ConnectionInfo.VerifyServerCert = true;
        const size_t logged = Log().size();
        Receive();
        const bool trusted = certificate == "trusted";
        long verdicts = 0;
        const auto log = Log();
        for (size_t i = logged; i < log.size(); ++i)
            if (const std::string& line = log[i]; line.rfind("Recv: Server certificate ", 0) == 0) {
                ++verdicts;
                EXPECT_EQ(line.rfind(trusted ? "Recv: Server certificate accepted (verified)"
                                             : "Recv: Server certificate refused "
                                               "(verification failed)",
                                     0),
                          0u)
                    << line;
            }
        EXPECT_GT(verdicts, 0) << certificate;
        EXPECT_EQ(FileExists(ProgramInfo.InboxPath + "R.TXT"), trusted) << certificate;
        const long waiting = JsonNumber(standin.Get("status"), "company@send.example");
        if (trusted)
            EXPECT_LE(waiting, 0);
        else
            EXPECT_EQ(waiting, 1);
    }
}
