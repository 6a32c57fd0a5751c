// New installations, finding an installation's folders, and the status report's verdicts.

#include "service/installation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/profile.h"
#include "common/single_instance.h"
#include "common/test_support.h"
#include "gateway/gateway_status.h"
#include "service/command_line.h"
#include "service/status_command.h"

namespace {

TEST(Installation, InitLaysOutANewInstallationTheGatewayCanRead) {
    TTempDir dir;
    const std::string base = dir.Path() + "site/new/";
    ASSERT_EQ(InitInstallation(base), "");
    for (const char* folder : {"DVR", "INBOX", "OUTBOX", "SENTBOX", "ERROR", "LOG", "TEMP"})
        EXPECT_TRUE(std::filesystem::is_directory(base + folder)) << folder;
    // The settings file holds the scrambled password: its owner's alone.
    struct stat info {};
    ASSERT_EQ(stat((base + "DVR/USER.INI").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    TIniFile user(base + "DVR/USER.INI");
    EXPECT_EQ(user.ReadInteger("SYSTEM", "LOG_LEVEL", 0), 1);
    EXPECT_EQ(user.ReadString("CONNECTION", "LEASE_LINE", ""), "1");
    EXPECT_EQ(user.ReadString("iFile", "TXT", ""), "1");
    // The first purge comes a full interval after the installation.
    EXPECT_EQ(user.ReadInteger("HOUSEKEEP", "LAST_PURGE", 0), static_cast<int>(Date()));
    EXPECT_EQ(InstalledVersion(base + "DVR/"), kBuildVersion);
    TIniFile dvr(base + "DVR/DVR.INI");
    EXPECT_EQ(dvr.ReadString("IDX", "A", ""), "ORDERS");
    EXPECT_NE(dvr.ReadString("CONNECTION", "WEBMAILCOUNTER", "").find("%s"), std::string::npos);

    // An empty folder that exists is fine too.
    std::filesystem::create_directories(dir.Path() + "empty");
    EXPECT_EQ(InitInstallation(dir.Path() + "empty"), "");
}

TEST(Installation, InitRefusesAFolderInUse) {
    TTempDir dir;
    std::filesystem::create_directories(dir.Path() + "used");
    WriteFile(dir.Path() + "used/keep.txt", "mine");
    const std::string error = InitInstallation(dir.Path() + "used");
    EXPECT_NE(error.find("not empty"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir.Path() + "used/keep.txt"), "mine");
    EXPECT_FALSE(FileExists(dir.Path() + "used/DVR/USER.INI"));

    WriteFile(dir.Path() + "plain", "x");
    EXPECT_NE(InitInstallation(dir.Path() + "plain"), "");
    EXPECT_EQ(ReadFile(dir.Path() + "plain"), "x");
}

TEST(Installation, TheProgramFolderIsFoundFromEitherLevel) {
    TTempDir dir;
    ASSERT_EQ(InitInstallation(dir.Path() + "site"), "");
    const std::string program = dir.Path() + "site/DVR/";
    EXPECT_EQ(ResolveProgramDir(dir.Path() + "site"), program);
    EXPECT_EQ(ResolveProgramDir(dir.Path() + "site/"), program);
    EXPECT_EQ(ResolveProgramDir(program), program);
    EXPECT_EQ(ResolveProgramDir(dir.Path() + "site/DVR/../DVR"), program);
    EXPECT_EQ(ResolveProgramDir(dir.Path() + "nothing"), dir.Path() + "nothing/");
    EXPECT_EQ(LogFolderOf(program), dir.Path() + "site/LOG/");
    EXPECT_EQ(CheckProgramDir(program), "");
    EXPECT_NE(CheckProgramDir(dir.Path() + "site/"), "");
    EXPECT_NE(CheckProgramDir(dir.Path() + "nothing/"), "");

    // A relative folder is made absolute against the working folder.
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string relative = ResolveProgramDir("site");
    std::filesystem::current_path(here);
    EXPECT_EQ(relative, program);
}

// A packaged program lives in a folder without USER.INI and finds the user's installation.
TEST(Installation, WithoutAFolderGivenAPackagedProgramUsesTheInstallationInHome) {
    TTempDir dir;
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", dir.Path().c_str(), 1);
    const std::string own = ProgramFolder();
    const std::string before = DefaultProgramDir();
    ASSERT_EQ(InitInstallation(dir.Path() + "quillbern-dovrant"), "");
    const std::string after = DefaultProgramDir();
    setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(before, own);
    EXPECT_EQ(after, dir.Path() + "quillbern-dovrant/DVR/");
}

class StatusReport : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(InitInstallation(site), ""); }

    int Report(TDateTime now) {
        std::ostringstream out;
        const int code = PrintStatus(site, out, now);
        text = out.str();
        return code;
    }

    TTempDir dir;
    std::string site = dir.Path() + "site";
    std::string text;
    TDateTime noon = EncodeDate(2026, 12, 9) + EncodeTime(12, 0, 0, 0);
};

TEST_F(StatusReport, ExitCodeZeroOnlyForAHealthyRunningGateway) {
    EXPECT_EQ(Report(noon), 1);
    EXPECT_EQ(text.rfind("ATTENTION: no status file", 0), 0u) << text;

    WriteFile(dir.Path() + "site/LOG/status.json", "{\"updated\": ");
    EXPECT_EQ(Report(noon), 1);
    EXPECT_EQ(text.rfind("ATTENTION: ", 0), 0u) << text;

    WriteFile(dir.Path() + "site/LOG/status.json", std::string(100000, ' '));
    EXPECT_EQ(Report(noon), 1);

    TGatewayStatus status;
    status.Updated = noon;
    status.Running = true;
    status.LastSend = {noon, false, 2, 0, ""};
    status.OutboxWaiting = 3;
    status.Line = "leased line";
    WriteStatusFile(dir.Path() + "site/LOG/", status);
    EXPECT_EQ(Report(noon + 1.0 / 24 / 60), 0) << text;
    EXPECT_EQ(text.rfind("OK", 0), 0u) << text;
    EXPECT_NE(text.find("2 file(s) sent"), std::string::npos) << text;
    EXPECT_NE(text.find("outbox waiting:  3"), std::string::npos) << text;
    EXPECT_NE(text.find("not scheduled"), std::string::npos) << text;

    // Stale an hour later.
    EXPECT_EQ(Report(noon + 1.0 / 24), 1);
    EXPECT_NE(text.find("stale"), std::string::npos) << text;

    status.ErrorFiles = 1;
    WriteStatusFile(dir.Path() + "site/LOG/", status);
    EXPECT_EQ(Report(noon), 1);
    EXPECT_EQ(text.rfind("ATTENTION: 1 file(s) in the Error folder", 0), 0u) << text;
}

}  // namespace
