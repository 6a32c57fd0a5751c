#include "common/settings.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include "common/base/fileutil.h"
#include "common/syslog.h"
#include "tests/common/test_support.h"

namespace {

// An installation in a temporary folder: BASE/DVR/ holds the settings files.
class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock);
        programDir = dir.Path() + "DVR/";
        ForceDirectories(programDir);
    }
    void TearDown() override {
        ReleaseSettings();
        SetClock(nullptr);
    }
    void Load(const std::string& userIni, const std::string& dvrIni = "") {
        WriteFile(programDir + "USER.INI", userIni);
        ::chmod((programDir + "USER.INI").c_str(), 0600);  // as an installation makes it
        if (!dvrIni.empty()) WriteFile(programDir + "DVR.INI", dvrIni);
        LoadSettings(dir.Path() + "DVR", "PC1");
    }
    std::vector<std::string> Log() { return LogMessages(LogFileName()); }

    TManualClock clock{EncodeDate(2024, 1, 31) + EncodeTime(8, 0, 0, 0)};
    TTempDir dir;
    std::string programDir;
};

}  // namespace

TEST_F(Settings, AFileWithOnlyAConnectTimeGivesTheDefaults) {
    Load("[SCHEDULE]\r\nCONNECT_AT_TIME=09:30AM\r\n");
    const std::string base = dir.Path();
    EXPECT_EQ(ProgramDir, programDir);
    EXPECT_EQ(BaseDir, base);
    EXPECT_EQ(UpgradeDir, base + "UPGRADE/");
    EXPECT_EQ(ProgramInfo.InboxPath, base + "INBOX/");
    EXPECT_EQ(ProgramInfo.LogPath, base + "LOG/");
    EXPECT_EQ(ProgramInfo.EmailContentType, "multipart/mixed");
    EXPECT_EQ(ProgramInfo.LogLevel, 1);
    EXPECT_EQ(ProgramInfo.Sequence, 1);
    EXPECT_TRUE(ProgramInfo.AutoImport);
    EXPECT_FALSE(DebugMode);
    EXPECT_FALSE(MultiUser);
    EXPECT_FALSE(ConnectionInfo.LeaseLine);
    EXPECT_EQ(ConnectionInfo.Retry, 3);
    EXPECT_EQ(ConnectionInfo.Timeout, 60);
    EXPECT_EQ(ConnectionInfo.DialupDelay, 5);
    EXPECT_EQ(ConnectionInfo.FirewallType, 1);
    EXPECT_EQ(ScheduleInfo.ConnectOption, "1");
    EXPECT_EQ(ScheduleInfo.ConnectEveryMin, 1);
    EXPECT_DOUBLE_EQ(ScheduleInfo.ConnectAtTime, EncodeTime(9, 30, 0, 0));
    EXPECT_EQ(ScheduleInfo.ConnectAtTimeText, "09:30AM");
    EXPECT_EQ(ScheduleInfo.ConnectAtOn, 1);
    EXPECT_FALSE(LoadedSettings().ScheduleEnabled);
    EXPECT_EQ(UpgradeInfo.ForceUpgradeDate, 0);
    EXPECT_FALSE(HousekeepInfo.AutoPurge);
    EXPECT_EQ(HousekeepInfo.PurgeInterval, 14);
    EXPECT_EQ(HousekeepInfo.InboxDays, 30);
    EXPECT_EQ(HousekeepInfo.SentboxDays, 14);
    EXPECT_EQ(HousekeepInfo.SystemLogDays, 90);
    EXPECT_EQ(FormatDateTime("yyyy/MM/dd", HousekeepInfo.LastPurge), "1899/12/31");
    EXPECT_TRUE(Services.empty());
    for (const char* folder : {"INBOX/", "OUTBOX/", "SENTBOX/", "ERROR/", "TEMP/", "LOG/"})
        EXPECT_TRUE(DirectoryExists(base + folder)) << folder;
    EXPECT_FALSE(DirectoryExists(base + "UPGRADE/"));

    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "Start program in computer: PC1");
    EXPECT_EQ(log[1], "Create directory: '" + base + "INBOX/'");
    EXPECT_EQ(log[6].substr(0, 19), "  Platform = Linux ");
}

TEST_F(Settings, TheDemoInstallationDumpsEverySetting) {
    const std::string demo = std::string(DOVRANT_SOURCE_DIR) + "/tools/demo/";
    Load(ReadFile(demo + "USER.INI"), ReadFile(demo + "DVR.INI"));
    EXPECT_EQ(CompanyInfo.Password, "DEMO2024");
    EXPECT_TRUE(ConnectionInfo.LeaseLine);
    EXPECT_TRUE(LoadedSettings().ScheduleEnabled);
    ASSERT_EQ(Services.size(), 2u);
    EXPECT_EQ(Services[1].Email, "invoices@partner.example");

    const std::string base = dir.Path();
    std::vector<std::string> log = Log();
    log.erase(std::remove_if(log.begin(), log.end(),
                             [](const std::string& l) {
                                 return l.rfind("Create directory", 0) == 0 ||
                                        l.rfind("  Platform = ", 0) == 0;
                             }),
              log.end());
    const std::string counter = "https://127.0.0.1:8443/webmail/count?user=%s&login=%s&pwd=%s";
    const std::string sender = "https://127.0.0.1:8443/webmail/send?from=%s";
    std::vector<std::string> expected = {
        "Start program in computer: PC1",
        "  Version = 1.0.0",
        "  Log level = 2",
        "  Inbox Path = " + base + "INBOX/",
        "  Outbox Path = " + base + "OUTBOX/",
        "  Sentbox Path = " + base + "SENTBOX/",
        "  Error Path = " + base + "ERROR/",
        "  Temp Path = " + base + "TEMP/",
        "  EMAIL_CONTENT_TYPE = multipart/mixed",
        "  Debug Mode = False",
        "  AutoImport = True",
        "  Company Email address = demo@quillbern.example",
        "  Company Login ID = DEMO",
        "  Lease line = True",
        "  Dialup profile = ",
        "  Retry = 3",
        "  Send Use Proxy = False",
        "  Send Proxy Address = ",
        "  Send Proxy Port = ",
        "  Send Proxy User ID = ",
        "  Send Use Firewall = False",
        "  Send Firewall Address = ",
        "  Send Firewall Port = ",
        "  Send Firewall User ID = ",
        "  Receive Use Firewall = False",
        "  Receive Firewall Address = ",
        "  Receive Firewall Port = ",
        "  Receive Firewall User ID = ",
        "  Receive Use Proxy = False",
        "  Receive Proxy Address = ",
        "  Receive Proxy Port = ",
        "  Receive Proxy User ID = ",
        "  Timeout = 60",
        "  WebMailCounter = " + counter,
        "  WebMailDelete = https://127.0.0.1:8443/webmail/delete?user=%s&login=%s&pwd=%s&id=%s",
        "  WebMailRetriever = "
        "https://127.0.0.1:8443/webmail/retrieve?user=%s&login=%s&pwd=%s&id=%s",
        "  FireWall Type = 1",
        "  Dialup Delay = 5",
        "  Verify Server Certificate = True",
        "  Server Certificate SHA-256 = ",
        "  Connect option = 2",
        "  Connect every min = 1",
        "  Connect at cycle = 3",
        "  Connect at time = 09:30 AM",
        "  Connect at on = 2025/12/09",
        "  Connect at days = 1,2,3,4,5,",
        "  Auto purge = False",
        "  Purge interval = 14",
        "  Last purge date = 2025/12/09",
        "  No. of days for Inbox = 30",
        "  No. of days for Sendbox = 14",
        "  No. of days for System Log = 90",
        "  File extensions for import",
        "    TXT = 1",
        "    XML = 1",
        "    CSV = 1",
        "    EDI = 0",
        "  Inbox file type and location",
        "  Service: ORDERS",
        "    Email = demo@quillbern.example",
        "    WebMailSender = " + sender,
        "  Service: INVOICES",
        "    Email = invoices@partner.example",
        "    WebMailSender = " + sender,
    };
    EXPECT_EQ(log, expected);
    // Neither the password nor its stored form reaches the log.
    const std::string text = ReadFile(LogFileName());
    EXPECT_EQ(text.find("DEMO2024"), std::string::npos);
    EXPECT_EQ(text.find("/.&$Y[Y_"), std::string::npos);
}

TEST_F(Settings, FoldersGetTheirSlashAndLevelZeroLogsNothing) {
    Load("[SYSTEM]\r\nLOG_LEVEL=0\r\nINBOX=" + dir.Path() + "in\r\nOUTBOX=" + dir.Path() +
         "deep/out/\r\n");
    EXPECT_EQ(ProgramInfo.InboxPath, dir.Path() + "in/");
    EXPECT_EQ(ProgramInfo.OutboxPath, dir.Path() + "deep/out/");
    EXPECT_TRUE(DirectoryExists(dir.Path() + "deep/out"));
    EXPECT_EQ(ProgramInfo.LogPath, dir.Path() + "LOG/");
    EXPECT_FALSE(DirectoryExists(dir.Path() + "LOG/"));
    EXPECT_EQ(LogFileName(), "");
}

TEST_F(Settings, DamagedDatesAndTimesDoNotStopTheStart) {
    Load(
        "[SYSTEM]\r\nLOG_LEVEL=2\r\n[SCHEDULE]\r\nCONNECT_OPTION=3\r\nCONNECT_AT_TIME=25:99XM\r\n"
        "[UPGRADE]\r\nUPGRADE_TITLE=R2\r\nFORCE_UPGDATE=20241301\r\nEFFECT_UPGDATE=20240301\r\n"
        "[HOUSEKEEP]\r\nPURGE_INTERVAL=abc\r\n[IDENTIFICATION]\r\nPASSWORD=\r\n",
        "[IDX]\r\nA = ORDERS \r\n[ORDERS]\r\nEMAIL=o@x\r\n");
    EXPECT_EQ(ScheduleInfo.ConnectAtTime, 0);
    EXPECT_EQ(ScheduleInfo.ConnectAtTimeText, "25:99XM");
    EXPECT_TRUE(LoadedSettings().ScheduleEnabled);
    EXPECT_EQ(UpgradeInfo.ForceUpgradeDate, 0);
    EXPECT_EQ(UpgradeInfo.EffectUpgradeDate, EncodeDate(2024, 3, 1));
    EXPECT_EQ(HousekeepInfo.PurgeInterval, 14);
    ASSERT_EQ(Services.size(), 1u);
    EXPECT_EQ(Services[0].Email, "o@x");
    std::vector<std::string> log = Log();
    auto has = [&](const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    };
    EXPECT_TRUE(has("  Invalid CONNECT_AT_TIME '25:99XM' ignored"));
    EXPECT_TRUE(has("  Connect at time = 12:00 AM"));
    EXPECT_TRUE(has("  Invalid FORCE_UPGDATE '20241301' ignored"));
    EXPECT_TRUE(has("  Force upgrade date = 1899/12/30"));
    EXPECT_TRUE(has("  Effective upgrade date = 2024/03/01"));
    EXPECT_TRUE(has("  Service: ORDERS"));
}

TEST_F(Settings, AFailedLogWriteLeavesNoSettingEmptyAndIsRaisedOnceAtTheEnd) {
    const std::string demo = std::string(DOVRANT_SOURCE_DIR) + "/tools/demo/";
    WriteFile(programDir + "USER.INI", ReadFile(demo + "USER.INI"));
    WriteFile(programDir + "DVR.INI", ReadFile(demo + "DVR.INI"));
    // The log takes a few lines, then its disk is full: a file size limit stands in for that.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 300;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    int raised = 0;
    std::string error;
    try {
        LoadSettings(dir.Path() + "DVR", "PC1");
    } catch (const std::exception& e) {
        ++raised;
        error = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    EXPECT_EQ(raised, 1);
    EXPECT_NE(error.find("Unable to write the system log"), std::string::npos) << error;
    EXPECT_EQ(CompanyInfo.Password, "DEMO2024");
    EXPECT_TRUE(ConnectionInfo.LeaseLine);
    EXPECT_TRUE(LoadedSettings().ScheduleEnabled);
    EXPECT_EQ(ScheduleInfo.ConnectEveryMin, 1);
    EXPECT_EQ(HousekeepInfo.LastPurge, 46000);
    EXPECT_EQ(ImportExtensions.Count(), 4u);
    ASSERT_EQ(Services.size(), 2u);
    EXPECT_EQ(Services[1].Email, "invoices@partner.example");
    EXPECT_LE(ReadFile(LogFileName()).size(), 300u);
}

TEST_F(Settings, ALogThatCannotBeOpenedIsReportedAfterLoading) {
    // Something else sits where the run's log file goes.
    ForceDirectories(dir.Path() + "LOG/" + LogFileNameFor(Now()));
    EXPECT_THROW(Load("[SYSTEM]\r\nLOG_LEVEL=1\r\n[iFile]\r\nTXT=1\r\n"), std::runtime_error);
    EXPECT_EQ(ImportExtensions.Count(), 1u);
    EXPECT_EQ(LogFileName(), "");
}

TEST_F(Settings, FilesHoldingAPasswordAreMadePrivateAndOpenOnesWarnedOfOnce) {
    const mode_t savedMask = ::umask(022);
    LoadSettings(programDir, "PC1");  // a fresh installation: the first write makes USER.INI
    UserIni->WriteString("IDENTIFICATION", "LOGIN_ID", "acme01");
    ::umask(savedMask);
    struct stat st {};
    EXPECT_EQ(::stat((programDir + "USER.INI").c_str(), &st) == 0 ? st.st_mode & 0777 : 0, 0600u);
    ReleaseSettings();
    ::chmod((programDir + "USER.INI").c_str(), 0644);
    WriteFile(programDir + "DIALUP.PBK", "");
    ::chmod((programDir + "DIALUP.PBK").c_str(), 0620);
    LoadSettings(programDir, "PC1");
    const auto log = Log();
    ASSERT_GE(log.size(), 4u);
    const std::string user = programDir + "USER.INI";
    EXPECT_EQ(log[1], "Warning: " + user + " holds a password but other users may read it (mode " +
                          "0644); make it private with: chmod 600 " + user);
    EXPECT_NE(log[2].find("DIALUP.PBK holds a password but other users may change it (mode 0620)"),
              std::string::npos);
    EXPECT_NE(log[3].rfind("Warning", 0), 0u);
}

TEST_F(Settings, AnUnreadableSettingsFileLeavesTheDataFoldersAtTheirDefaults) {
    // A folder where DVR.INI belongs: it opens, but every read of it fails. DVR.INI is read
    // first, so nothing of the step would be set; an empty folder text would store the data
    // in the working folder.
    ForceDirectories(programDir + "DVR.INI");
    WriteFile(programDir + "USER.INI",
              "[SYSTEM]\r\nLOG_LEVEL=1\r\nSENTBOX=" + dir.Path() + "sent\r\n[iFile]\r\nTXT=1\r\n");
    try {
        LoadSettings(dir.Path() + "DVR", "PC1");
        ADD_FAILURE() << "an unreadable DVR.INI is not reported";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("DVR.INI"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ProgramInfo.InboxPath, dir.Path() + "INBOX/");
    EXPECT_EQ(ProgramInfo.OutboxPath, dir.Path() + "OUTBOX/");
    EXPECT_EQ(ProgramInfo.SentboxPath, dir.Path() + "sent/");
    EXPECT_EQ(ProgramInfo.ErrorPath, dir.Path() + "ERROR/");
    EXPECT_EQ(ProgramInfo.EmailContentType, "multipart/mixed");
    EXPECT_TRUE(ProgramInfo.AutoImport);
    EXPECT_EQ(ImportExtensions.Count(), 1u);
    EXPECT_NE(LogFileName(), "");  // the log level of USER.INI was read
}

TEST(SettingsHelpers, SmallConversions) {
    EXPECT_EQ(OrdinalSuffix(1), "st");
    EXPECT_EQ(OrdinalSuffix(2), "nd");
    EXPECT_EQ(OrdinalSuffix(3), "rd");
    EXPECT_EQ(OrdinalSuffix(4), "th");
    EXPECT_EQ(OrdinalSuffix(11), "th");
    EXPECT_EQ(OrdinalSuffix(12), "th");
    EXPECT_EQ(OrdinalSuffix(21), "st");
    EXPECT_EQ(OrdinalSuffix(112), "th");
    EXPECT_EQ(OrdinalSuffix(123), "rd");
    EXPECT_EQ(BoolToText(true), "True");
    EXPECT_EQ(DateFromYYYYMMDD("0"), 0);
    EXPECT_EQ(DateFromYYYYMMDD(""), 0);
    EXPECT_EQ(DateFromYYYYMMDD("20240229"), EncodeDate(2024, 2, 29));
    EXPECT_THROW(DateFromYYYYMMDD("20230229"), EConvertError);
    EXPECT_THROW(DateFromYYYYMMDD("2024ab01"), EConvertError);
}
