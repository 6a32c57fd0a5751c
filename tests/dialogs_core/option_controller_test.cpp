#include "dialogs/core/option_controller.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <tuple>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/housekeeping.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"
#include "dialogs/core/autostart.h"

namespace {

// The dialog as a recorder: it holds the values shown, and notes pages, focus and closing.
class TOptionRecorder : public IOptionView {
  public:
    void ShowValues(const TOptionValues& v) override { values = v; }
    TOptionValues Values() const override { return values; }
    void SetGroupEnabled(TOptionGroup group, bool on) override {
        enabled[static_cast<int>(group)] = on;
    }
    void ShowCertificateWarning(const std::string& text) override { certificateWarning = text; }
    void ShowPage(TOptionPage page) override { pages.push_back(page); }
    void FocusField(TOptionField field) override { focus.push_back(field); }
    std::optional<TImportedCompany> RunSetupDrive() override { return imported; }
    void CloseDialog(bool accepted) override { closed.push_back(accepted); }
    void RequestMainClose() override { ++mainCloses; }

    bool Enabled(TOptionGroup group) const { return enabled[static_cast<int>(group)]; }

    TOptionValues values;
    bool enabled[8] = {};
    std::string certificateWarning = "(never shown)";
    std::vector<TOptionPage> pages;
    std::vector<TOptionField> focus;
    std::optional<TImportedCompany> imported;
    std::vector<bool> closed;
    int mainCloses = 0;
};

// Values that pass every check.
TOptionValues ValidValues() {
    TOptionValues v;
    v.EmailAddr = "1234567@mail.dovrant.example";
    v.LoginID = "acme01";
    v.Password = "s3cret";
    v.EveryMin = "30";
    v.Timeout = "60";
    return v;
}

const std::string kStoredIni =
    "[SYSTEM]\nLOG_LEVEL=2\n"
    "[IDENTIFICATION]\nEMAIL_ADDR=old@mail.example\nLOGIN_ID=old01\n"
    "[CONNECTION]\nLEASE_LINE=0\nDIALUP_PROFILE=Gone Entry\nDIALUP_DELAY=7\nTIMEOUT=45\n"
    "SEND_USE_PROXY=1\nSEND_PROXY_ADDR=proxy.old\nSEND_PROXY_PORT=8080\nSEND_PROXY_USERID=pu\n"
    "RECV_USE_FIREWALL=0\nRECV_FIREWALL_ADDR=fw.old\n"
    "[SCHEDULE]\nCONNECT_OPTION=3\nCONNECT_AT_CYCLE=3\nCONNECT_AT_TIME=08:30PM\n"
    "CONNECT_AT_DAYS=1,3,5,\nCONNECT_EVERY_MIN=15\nCONNECT_AT_ON=45000\n"
    "[HOUSEKEEP]\nAUTO_PURGE=1\nPURGE_INTERVAL=10\nINBOX=14\nSENTBOX=90\nSYSTEMLOG=45\n";

// An installation in a temporary folder with its settings loaded.
class OptionTest : public testing::Test {
  protected:
    void SetUp() override {
        // The autostart entry goes to this test's folder, never the user's own.
        if (const char* value = std::getenv("XDG_CONFIG_HOME")) savedConfig = value;
        setenv("XDG_CONFIG_HOME", (dir.Path() + "config").c_str(), 1);
        SetOperatorView(&boxes);
        ForceDirectories(programDir);
        Load(kStoredIni);
    }
    void TearDown() override {
        ReleaseSettings();
        SetOperatorView(nullptr);
        if (savedConfig)
            setenv("XDG_CONFIG_HOME", savedConfig->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    void Load(const std::string& userIni) {
        WriteFile(programDir + "USER.INI", userIni);
        LoadSettings(programDir, "PC1");
        controller.emplace(view, *UserIni, std::vector<std::string>{"Office ISP", "Backup ISP"});
    }
    // Reads the file back the way the program does at its next start.
    void Reload() {
        ReleaseSettings();
        LoadSettings(programDir, "PC1");
    }
    std::vector<std::string> Log() { return LogMessages(LogFileName()); }
    bool Logged(const std::string& line) {
        auto lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TTempDir dir;
    std::string programDir = dir.Path() + "DVR/";
    TScriptedView boxes;
    TOptionRecorder view;
    std::optional<TOptionController> controller;
    std::optional<std::string> savedConfig;
};

}  // namespace

TEST(OptionChecks, TheFirstFailingCheckNamesItsPageFieldAndMessage) {
    using P = TOptionPage;
    using F = TOptionField;
    struct TCase {
        std::function<void(TOptionValues&)> change;
        P page;
        F field;
        std::string message;
    };
    const std::vector<TCase> cases = {
        {[](auto& v) { v.EmailAddr = "   "; }, P::Identification, F::edt_EmailAddr,
         "E-mail address must be entered."},
        {[](auto& v) { v.EmailAddr = "acme.example"; }, P::Identification, F::edt_EmailAddr,
         "Invalid format of E-mail address."},
        {[](auto& v) { v.LoginID = ""; }, P::Identification, F::edt_LoginID,
         "Login ID must be entered."},
        {[](auto& v) { v.Password = " "; }, P::Identification, F::edt_Pwd,
         "Password must be entered."},
        {[](auto& v) { v.ConnectOption = 2, v.EveryMin = ""; }, P::Schedule, F::edtMin,
         "Time interval of connection must be entered."},
        {[](auto& v) { v.ConnectOption = 2, v.EveryMin = "4"; }, P::Schedule, F::edtMin,
         "Time interval of connection must at least 5 mins."},
        {[](auto& v) { v.ConnectOption = 2, v.EveryMin = "1x"; }, P::Schedule, F::edtMin,
         "'1x' is not a valid integer value"},
        {[](auto& v) { v.ConnectOption = 3, v.Hour = "08", v.AmPm = "PM"; }, P::Schedule,
         F::cbxHour, "Scheduled Time of connection must be entered."},
        {[](auto& v) {
             v.ConnectOption = 3, v.Hour = "08", v.Minute = "30", v.AmPm = "PM",
             v.ConnectAtCycle = 3;
         },
         P::Schedule, F::chkMon, "At least one day must be selected for scheduled connection."},
        {[](auto& v) { v.LeaseLine = false; }, P::Connection, F::cbxDialup,
         "Dialup Profile must be entered."},
        {[](auto& v) { v.UseProxy = true; }, P::Network, F::edt_ProxyAddr,
         "Proxy Server Location server must be entered."},
        {[](auto& v) { v.UseProxy = true, v.ProxyAddr = "p"; }, P::Network, F::edt_ProxyPort,
         "Proxy Server Port must be entered."},
        {[](auto& v) { v.UseProxy = true, v.ProxyAddr = "p", v.ProxyPort = "1"; }, P::Network,
         F::edt_ProxyUserID, "Proxy Server User ID must be entered."},
        {[](auto& v) {
             v.UseProxy = true, v.ProxyAddr = "p", v.ProxyPort = "1", v.ProxyUserID = "u";
         },
         P::Network, F::edt_ProxyPwd, "Proxy Server Password must be entered."},
        {[](auto& v) { v.UseFirewall = true; }, P::Network, F::edt_FWAddr,
         "Firewall Location must be entered."},
        {[](auto& v) { v.UseFirewall = true, v.FWAddr = "f"; }, P::Network, F::edt_FWPort,
         "Firewall Port must be entered."},
        {[](auto& v) { v.UseFirewall = true, v.FWAddr = "f", v.FWPort = "1"; }, P::Network,
         F::edt_FWUserID, "Firewall User ID must be entered."},
        {[](auto& v) { v.UseFirewall = true, v.FWAddr = "f", v.FWPort = "1", v.FWUserID = "u"; },
         P::Network, F::edt_FWPwd, "Firewall Password must be entered."},
        {[](auto& v) { v.Timeout = " "; }, P::Network, F::edt_Timeout,
         "Server timeout must be entered."},
        {[](auto& v) { v.ServerCertSha256 = "AB:CD:EF"; }, P::Network, F::edt_CertSha256,
         "The certificate fingerprint must be 64 hexadecimal digits (SHA-256)."},
        {[](auto& v) { v.ServerCertSha256 = std::string(63, 'a') + "z"; }, P::Network,
         F::edt_CertSha256, "The certificate fingerprint must be 64 hexadecimal digits (SHA-256)."},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].message);
        TOptionValues v = ValidValues();
        cases[i].change(v);
        auto failed = CheckOptions(v);
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->Page, cases[i].page);
        EXPECT_EQ(failed->Field, cases[i].field);
        EXPECT_EQ(failed->Message, cases[i].message);
    }
}

TEST(OptionChecks, RunInTheirOrderOneFaultAtATime) {
    TOptionValues v;  // empty identification, timeout and minutes
    v.ConnectOption = 2;
    v.LeaseLine = false;
    v.UseProxy = v.UseFirewall = true;
    const std::vector<std::pair<std::string, std::function<void()>>> steps = {
        {"E-mail address must be entered.", [&] { v.EmailAddr = "acme"; }},
        {"Invalid format of E-mail address.", [&] { v.EmailAddr = "a@b"; }},
        {"Login ID must be entered.", [&] { v.LoginID = "l"; }},
        {"Password must be entered.", [&] { v.Password = "p"; }},
        {"Time interval of connection must be entered.", [&] { v.EveryMin = "4"; }},
        {"Time interval of connection must at least 5 mins.", [&] { v.EveryMin = "5"; }},
        {"Dialup Profile must be entered.", [&] { v.DialupProfile = "Office ISP"; }},
        {"Proxy Server Location server must be entered.", [&] { v.ProxyAddr = "p"; }},
        {"Proxy Server Port must be entered.", [&] { v.ProxyPort = "1"; }},
        {"Proxy Server User ID must be entered.", [&] { v.ProxyUserID = "u"; }},
        {"Proxy Server Password must be entered.", [&] { v.ProxyPwd = "w"; }},
        {"Firewall Location must be entered.", [&] { v.FWAddr = "f"; }},
        {"Firewall Port must be entered.", [&] { v.FWPort = "1"; }},
        {"Firewall User ID must be entered.", [&] { v.FWUserID = "u"; }},
        {"Firewall Password must be entered.", [&] { v.FWPwd = "w"; }},
        {"Server timeout must be entered.", [&] { v.Timeout = "60"; }},
    };
    for (const auto& [message, fix] : steps) {
        auto failed = CheckOptions(v);
        ASSERT_TRUE(failed) << message;
        EXPECT_EQ(failed->Message, message);
        fix();
    }
    EXPECT_FALSE(CheckOptions(v));
}

TEST(OptionChecks, ValuesThatPass) {
    EXPECT_FALSE(CheckOptions(ValidValues()));
    TOptionValues v = ValidValues();
    v.ConnectOption = 2;
    v.EveryMin = " 5 ";
    EXPECT_FALSE(CheckOptions(v));
    // A time every day: the day boxes are not examined.
    v.ConnectOption = 3, v.Hour = "08", v.Minute = "30", v.AmPm = "PM", v.ConnectAtCycle = 1;
    EXPECT_FALSE(CheckOptions(v));
    // Proxy and firewall unticked: their empty fields are not examined.
    v.ProxyAddr = v.FWAddr = "";
    v.LeaseLine = false, v.DialupProfile = "Office ISP";
    EXPECT_FALSE(CheckOptions(v));
}

TEST(OptionHousekeepAges, ShownAsWeeksMonthsOrDaysAndSavedAsDays) {
    EXPECT_EQ(AgeFromDays(14), (THousekeepAge{2, "Weeks"}));
    EXPECT_EQ(AgeFromDays(90), (THousekeepAge{3, "Months"}));
    EXPECT_EQ(AgeFromDays(210), (THousekeepAge{7, "Months"}));
    EXPECT_EQ(AgeFromDays(45), (THousekeepAge{45, "Days"}));
    EXPECT_EQ(DaysFromAge({2, "Weeks"}), 14);
    EXPECT_EQ(DaysFromAge({3, "Months"}), 90);
    EXPECT_EQ(DaysFromAge({9, "Days"}), 9);
    EXPECT_EQ(DaysFromAge({9, "Fortnights"}), 9);
    EXPECT_TRUE(AcceptDigitKey('0') && AcceptDigitKey('9') && AcceptDigitKey('\b'));
    EXPECT_FALSE(AcceptDigitKey('a') || AcceptDigitKey('-') || AcceptDigitKey(' '));
}

TEST_F(OptionTest, OpeningShowsTheStoredSettingsWithTheirEnablingRules) {
    controller->FormCreate();
    controller->FormShow();
    const TOptionValues& v = view.values;
    EXPECT_EQ(v.EmailAddr, "old@mail.example");
    EXPECT_EQ(v.ConnectOption, 3);
    EXPECT_EQ(v.ConnectAtCycle, 3);
    EXPECT_EQ(v.Hour + v.Minute + v.AmPm, "0830PM");
    EXPECT_EQ(v.EveryMin, "15");
    EXPECT_EQ(v.ConnectAtOn, 45000);
    EXPECT_EQ(v.Days, (std::array<bool, 7>{true, false, true, false, true, false, false}));
    EXPECT_FALSE(v.LeaseLine);
    // A stored profile no longer in the phone book shows no selection.
    EXPECT_EQ(v.DialupProfiles, (std::vector<std::string>{"Office ISP", "Backup ISP"}));
    EXPECT_EQ(v.DialupProfile, "");
    EXPECT_EQ(v.DialupDelay, 7);
    EXPECT_TRUE(v.UseProxy);
    EXPECT_EQ(v.ProxyAddr, "proxy.old");
    EXPECT_FALSE(v.UseFirewall);
    EXPECT_EQ(v.FWAddr, "fw.old");
    EXPECT_EQ(v.Timeout, "45");
    EXPECT_EQ(v.PurgeInterval, 10);
    EXPECT_EQ(v.Inbox, (THousekeepAge{2, "Weeks"}));
    EXPECT_EQ(v.Sentbox, (THousekeepAge{3, "Months"}));
    EXPECT_EQ(v.SysLog, (THousekeepAge{45, "Days"}));
    EXPECT_EQ(view.pages, std::vector<TOptionPage>{TOptionPage::Identification});
    EXPECT_TRUE(Logged("Open - Option"));

    using G = TOptionGroup;
    EXPECT_FALSE(view.Enabled(G::EveryMinutes));
    EXPECT_TRUE(view.Enabled(G::AtTime));
    EXPECT_FALSE(view.Enabled(G::AtDate));
    EXPECT_TRUE(view.Enabled(G::AtDays));
    EXPECT_TRUE(view.Enabled(G::Dialup));
    EXPECT_TRUE(view.Enabled(G::Proxy));
    EXPECT_FALSE(view.Enabled(G::Firewall));
    EXPECT_TRUE(view.Enabled(G::Purge));

    // Clicks apply the same rules to what is shown now.
    view.values.ConnectOption = 2;
    view.values.LeaseLine = true;
    view.values.UseFirewall = true;
    controller->rbschedule1Click();
    EXPECT_TRUE(view.Enabled(G::EveryMinutes));
    EXPECT_FALSE(view.Enabled(G::AtTime));
    EXPECT_FALSE(view.Enabled(G::AtDays));
    EXPECT_FALSE(view.Enabled(G::Dialup));
    EXPECT_TRUE(view.Enabled(G::Firewall));
    view.values.ConnectOption = 3;
    view.values.ConnectAtCycle = 2;
    controller->rbschedule4Click();
    EXPECT_TRUE(view.Enabled(G::AtDate));
    EXPECT_FALSE(view.Enabled(G::AtDays));
}

TEST_F(OptionTest, AFailingCheckFocusesItsFieldAndWritesNothing) {
    controller->FormCreate();
    view.values.Password = "pw";
    view.values.EveryMin = "4";
    view.values.ConnectOption = 2;
    controller->BitBtn_OKClick();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, TMsgKind::Error);
    EXPECT_EQ(boxes.boxes[0].text, "Time interval of connection must at least 5 mins.");
    EXPECT_EQ(view.pages.back(), TOptionPage::Schedule);
    EXPECT_EQ(view.focus, std::vector<TOptionField>{TOptionField::edtMin});
    EXPECT_TRUE(view.closed.empty());
    EXPECT_EQ(ReadFile(programDir + "USER.INI"), kStoredIni);
}

TEST_F(OptionTest, OkWritesEveryPageAndTheProgramReadsThemBackAtItsNextStart) {
    controller->FormCreate();
    TOptionValues& v = view.values;
    EXPECT_EQ(v.HistoryDays, 400);  // none stored: the default
    v.HistoryDays = 730;
    v.EmailAddr = "  7654321@mail.dovrant.example ";
    v.LoginID = " new01 ";
    v.Password = " pa=ss\"word ";
    v.Hour = "07", v.Minute = "05", v.AmPm = "AM";
    v.Days = {false, true, false, false, false, false, true};
    v.DialupProfile = "Backup ISP";
    v.DialupDelay = 12;
    v.ProxyAddr = " proxy.new ", v.ProxyPort = "3128", v.ProxyUserID = "pu2", v.ProxyPwd = "ppw";
    v.UseFirewall = true;
    v.FWAddr = "fw.new", v.FWPort = "1080", v.FWUserID = "fu", v.FWPwd = "fpw";
    v.Timeout = "90";
    v.Inbox = {3, "Months"};
    v.Sentbox = {1, "Weeks"};
    v.SysLog = {5, "Days"};
    // A reader that has the file open while it is saved.
    std::ifstream reader(programDir + "USER.INI", std::ios::binary);
    controller->BitBtn_OKClick();

    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, TMsgKind::Information);
    EXPECT_EQ(boxes.boxes[0].text,
              "You must restart Quillbern Dovrant before the new setting will take effect.");
    EXPECT_EQ(view.closed, std::vector<bool>{true});
    auto log = Log();
    auto from = std::find(log.begin(), log.end(), "Open - Option");
    ASSERT_NE(from, log.end());
    EXPECT_EQ(std::vector<std::string>(from + 1, log.end()),
              (std::vector<std::string>{"Option - Identification saved", "Option - Schedule saved",
                                        "Option - Connection saved", "Option - Network saved",
                                        "Option - Housekeep saved", "Option modified."}));
    // Passwords are stored scrambled, never as typed, and never logged.
    const std::string stored = ReadFile(programDir + "USER.INI");
    for (const char* secret : {"pa=ss", "ppw", "fpw"}) {
        EXPECT_EQ(stored.find(secret), std::string::npos) << secret;
        for (auto& line : Log()) EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
    // The file was replaced by the atomic writer, never rewritten in place: the open reader
    // still sees the whole old file.
    std::ostringstream seen;
    seen << reader.rdbuf();
    EXPECT_EQ(seen.str(), kStoredIni);

    Reload();
    EXPECT_EQ(CompanyInfo.EmailAddr, "7654321@mail.dovrant.example");
    EXPECT_EQ(CompanyInfo.LoginID, "new01");
    EXPECT_EQ(CompanyInfo.Password, "pa=ss\"word");
    EXPECT_EQ(ScheduleInfo.ConnectOption, "3");
    EXPECT_EQ(ScheduleInfo.ConnectAtCycle, "3");
    EXPECT_EQ(ScheduleInfo.ConnectAtTimeText, "07:05AM");
    EXPECT_EQ(ScheduleInfo.ConnectAtDays, "2,7,");
    EXPECT_EQ(ScheduleInfo.ConnectEveryMin, 15);  // not the chosen option: kept
    EXPECT_FALSE(ConnectionInfo.LeaseLine);
    EXPECT_EQ(ConnectionInfo.DialupProfile, "Backup ISP");
    EXPECT_EQ(ConnectionInfo.DialupDelay, 12);
    EXPECT_TRUE(ConnectionInfo.SendUseProxy);
    EXPECT_FALSE(ConnectionInfo.RecvUseProxy);  // never written by this dialog
    // Typed blanks reach the file; the reader drops them.
    EXPECT_NE(stored.find("SEND_PROXY_ADDR= proxy.new \n"), std::string::npos);
    EXPECT_EQ(ConnectionInfo.SendProxyAddr, "proxy.new");
    EXPECT_EQ(ConnectionInfo.RecvProxyPort, "3128");
    EXPECT_EQ(ConnectionInfo.SendProxyPassword, "ppw");
    EXPECT_EQ(ConnectionInfo.RecvProxyPassword, "ppw");
    EXPECT_TRUE(ConnectionInfo.RecvUseFirewall);
    EXPECT_FALSE(ConnectionInfo.SendUseFirewall);
    EXPECT_EQ(ConnectionInfo.SendFirewallAddr, "fw.new");
    EXPECT_EQ(ConnectionInfo.RecvFirewallPassword, "fpw");
    EXPECT_EQ(ConnectionInfo.SendFirewallPassword, "fpw");
    EXPECT_EQ(ConnectionInfo.Timeout, 90);
    EXPECT_TRUE(HousekeepInfo.AutoPurge);
    EXPECT_EQ(HousekeepInfo.PurgeInterval, 10);
    EXPECT_EQ(HousekeepInfo.InboxDays, 90);
    EXPECT_EQ(HousekeepInfo.SentboxDays, 7);
    EXPECT_EQ(HousekeepInfo.SystemLogDays, 5);
    EXPECT_EQ(ProgramInfo.HistoryDays, 730);
}

TEST_F(OptionTest, UnchosenOptionsLeaveTheirStoredKeys) {
    controller->FormCreate();
    TOptionValues& v = view.values;
    v.Password = "pw";
    v.LeaseLine = true;  // dial-up profile and delay stay
    v.UseProxy = false;  // only SEND_USE_PROXY is written; the proxy address stays
    v.AutoPurge = false;
    v.ConnectOption = 3, v.ConnectAtCycle = 2, v.ConnectAtOn = 45123.75;
    controller->BitBtn_OKClick();
    Reload();
    EXPECT_TRUE(ConnectionInfo.LeaseLine);
    EXPECT_EQ(ConnectionInfo.DialupProfile, "Gone Entry");
    EXPECT_EQ(ConnectionInfo.DialupDelay, 7);
    EXPECT_FALSE(ConnectionInfo.SendUseProxy);
    EXPECT_EQ(ConnectionInfo.SendProxyAddr, "proxy.old");
    EXPECT_FALSE(HousekeepInfo.AutoPurge);
    EXPECT_EQ(HousekeepInfo.PurgeInterval, 10);
    EXPECT_EQ(HousekeepInfo.InboxDays, 14);
    EXPECT_EQ(ScheduleInfo.ConnectAtCycle, "2");
    EXPECT_EQ(ScheduleInfo.ConnectAtOn, 45123);
    EXPECT_EQ(ScheduleInfo.ConnectAtDays, "1,3,5,");

    // Connect every N minutes writes the trimmed minutes and nothing of the timed options.
    view.values.ConnectOption = 2, view.values.EveryMin = " 20 ";
    controller.emplace(view, *UserIni, std::vector<std::string>{});
    controller->BitBtn_OKClick();
    Reload();
    EXPECT_EQ(ScheduleInfo.ConnectOption, "2");
    EXPECT_EQ(ScheduleInfo.ConnectEveryMin, 20);
    EXPECT_EQ(ScheduleInfo.ConnectAtCycle, "2");
}

TEST_F(OptionTest, CancelAsksFirstAndOkOrHousekeepingCloseWithoutAsking) {
    controller->FormCreate();
    controller->BitBtn_CancelClick();
    EXPECT_EQ(view.closed, std::vector<bool>{false});
    boxes.answers = {TMsgAnswer::No};
    EXPECT_FALSE(controller->FormClose(false));
    EXPECT_EQ(boxes.boxes.back().text, "Do you want to close without save?");
    EXPECT_EQ(boxes.boxes.back().buttons, TMsgButtons::YesNo);
    EXPECT_FALSE(Logged("Quit option without save."));
    boxes.answers = {TMsgAnswer::Yes};
    EXPECT_TRUE(controller->FormClose(false));
    EXPECT_TRUE(Logged("Quit option without save."));
    const size_t asked = boxes.boxes.size();
    EXPECT_TRUE(controller->FormClose(true));
    EXPECT_EQ(boxes.boxes.size(), asked);
    EXPECT_EQ(ReadFile(programDir + "USER.INI"), kStoredIni);

    // Housekeep now: No does nothing; Yes closes this dialog and asks the window to close.
    HousekeepNow = false;
    boxes.answers = {TMsgAnswer::No};
    controller->btnHousekeepClick();
    EXPECT_EQ(boxes.boxes.back().text,
              "Quillbern Dovrant is going to exit and perform housekeeping now.\n\rDo you want "
              "to continue?");
    EXPECT_FALSE(HousekeepNow);
    EXPECT_EQ(view.mainCloses, 0);
    boxes.answers = {TMsgAnswer::Yes};
    controller->btnHousekeepClick();
    EXPECT_TRUE(HousekeepNow);
    EXPECT_EQ(view.closed, (std::vector<bool>{false, true}));
    EXPECT_EQ(view.mainCloses, 1);
    EXPECT_EQ(ReadFile(programDir + "USER.INI"), kStoredIni);
    HousekeepNow = false;
}

TEST_F(OptionTest, TheKeyDiskFillsTheIdentificationWithoutWritingIt) {
    controller->FormCreate();
    view.values.Timeout = "33";
    controller->BitBtn_LoadClick();  // the drive dialog was cancelled
    EXPECT_EQ(view.values.EmailAddr, "old@mail.example");
    view.imported = TImportedCompany{"1234567@mail.dovrant.example", "acme01", "s3cret"};
    controller->BitBtn_LoadClick();
    EXPECT_EQ(view.values.EmailAddr, "1234567@mail.dovrant.example");
    EXPECT_EQ(view.values.LoginID, "acme01");
    EXPECT_EQ(view.values.Password, "s3cret");
    EXPECT_EQ(view.values.Timeout, "33");
    EXPECT_EQ(ReadFile(programDir + "USER.INI"), kStoredIni);
}

TEST_F(OptionTest, TheCertificateRuleIsSavedWithTheNetworkPageAndReadAtTheNextStart) {
    controller->FormCreate();
    EXPECT_FALSE(view.values.VerifyServerCert);
    EXPECT_EQ(view.values.ServerCertSha256, "");
    view.values.Password = "pw";
    view.values.LeaseLine = true;
    view.values.UseProxy = false;
    view.values.VerifyServerCert = true;
    std::string colons;
    for (int i = 0; i < 32; ++i) colons += std::string(i ? ":" : "") + "5F";
    view.values.ServerCertSha256 = " " + colons + " ";
    controller->BitBtn_OKClick();
    EXPECT_EQ(view.closed, std::vector<bool>{true});
    Reload();
    EXPECT_TRUE(ConnectionInfo.VerifyServerCert);
    EXPECT_EQ(ConnectionInfo.ServerCertSha256, colons);
    controller.emplace(view, *UserIni, std::vector<std::string>{});
    controller->FormCreate();
    EXPECT_TRUE(view.values.VerifyServerCert);
    EXPECT_EQ(view.values.ServerCertSha256, colons);
}

// The line under the rule shows exactly while neither setting checks the certificate.
TEST_F(OptionTest, TheCertificateWarningShowsWhileNothingIsChecked) {
    controller->FormCreate();  // the stored file has neither key
    EXPECT_EQ(view.certificateWarning, kNoCertificateCheckCaption);
    for (const auto& [verify, pin, warned] : std::vector<std::tuple<bool, std::string, bool>>{
             {true, "", false}, {false, "AB:CD", false}, {true, "AB", false}, {false, " ", true}}) {
        view.values.VerifyServerCert = verify;
        view.values.ServerCertSha256 = pin;
        controller->CertificateRuleChange();
        EXPECT_EQ(view.certificateWarning.empty(), !warned) << verify << " '" << pin << "'";
    }
}

TEST_F(OptionTest, SwitchingAutostartWritesOrRemovesTheEntryOnlyWhenItChanges) {
    const std::string entry = dir.Path() + "config/autostart/quillbern-dovrant.desktop";
    auto open = [&] {  // the dialog shown again, its values made to pass the checks
        controller.emplace(view, *UserIni, std::vector<std::string>{});
        controller->FormCreate();
        view.values.Password = "pw";
        view.values.LeaseLine = true;
        view.values.UseProxy = false;
    };
    open();
    EXPECT_FALSE(view.values.Autostart);
    view.values.Autostart = true;
    controller->BitBtn_OKClick();
    const std::string text = ReadFile(entry);
    EXPECT_NE(text.find("\nExec=" + RunningProgramPath() + " --dir " + programDir + "\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(Logged("Option - Start with the desktop session switched on"));

    // Shown as on; OK without switching leaves the entry as it is, even one edited by hand.
    WriteFile(entry, "[Desktop Entry]\nType=Application\nExec=edited\n");
    open();
    EXPECT_TRUE(view.values.Autostart);
    controller->BitBtn_OKClick();
    EXPECT_EQ(view.closed, (std::vector<bool>{true, true}));
    EXPECT_EQ(ReadFile(entry), "[Desktop Entry]\nType=Application\nExec=edited\n");

    // An entry marked hidden starts nothing and is shown as off; switching on replaces it.
    WriteFile(entry, "[Desktop Entry]\nType=Application\nExec=edited\nHidden=true\n");
    open();
    EXPECT_FALSE(view.values.Autostart);
    view.values.Autostart = true;
    controller->BitBtn_OKClick();
    EXPECT_EQ(ReadFile(entry), text);

    open();
    view.values.Autostart = false;
    controller->BitBtn_OKClick();
    EXPECT_FALSE(FileExists(entry));
    EXPECT_TRUE(Logged("Option - Start with the desktop session switched off"));
    EXPECT_EQ(boxes.boxes.back().kind, TMsgKind::Information);
}

TEST_F(OptionTest, AnAutostartEntryThatCannotBeWrittenIsReportedAndTheSettingsAreStillSaved) {
    // The configuration folder is a file: the autostart folder cannot be made.
    WriteFile(dir.Path() + "config", "not a folder");
    controller->FormCreate();
    view.values.Password = "pw";
    view.values.LeaseLine = true;
    view.values.UseProxy = false;
    view.values.Timeout = "77";
    view.values.Autostart = true;
    controller->BitBtn_OKClick();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].kind, TMsgKind::Error);
    EXPECT_EQ(
        boxes.boxes[0].text.rfind("The start with the desktop session could not be changed: ", 0),
        0u)
        << boxes.boxes[0].text;
    EXPECT_EQ(boxes.boxes[1].kind, TMsgKind::Information);
    EXPECT_EQ(view.closed, std::vector<bool>{true});
    bool logged = false;
    for (const auto& line : Log())
        logged =
            logged || line.rfind("Option - Start with the desktop session not changed: ", 0) == 0;
    EXPECT_TRUE(logged);
    Reload();
    EXPECT_EQ(ConnectionInfo.Timeout, 77);
}
