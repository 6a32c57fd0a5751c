#include "common/lookups.h"

#include <gtest/gtest.h>

#include "common/base/fileutil.h"
#include "common/run_program.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/temp_names.h"
#include "tests/common/test_support.h"

namespace {

class Lookups : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(OpenLog(dir.Path() + "LOG/", 2));
        ProgramInfo.InboxPath = dir.Path() + "INBOX/";
    }
    void TearDown() override {
        CloseLog();
        ImportExtensions.Clear();
        InboxLocations.Clear();
        ServiceIndex.Clear();
        Services.clear();
    }
    TTempDir dir;
};

}  // namespace

TEST_F(Lookups, ImportExtensionsAreEnabledByTheValueOne) {
    EXPECT_FALSE(IsImportExtension(".TXT"));  // empty list
    ImportExtensions.Add("txt=0");
    EXPECT_FALSE(IsImportExtension(ExtractFileExt("ORDER1.TXT")));
    ImportExtensions.Clear();
    ImportExtensions.Add("xml=1");
    ImportExtensions.Add("txt=1");
    EXPECT_TRUE(IsImportExtension(ExtractFileExt("ORDER1.TXT")));
    EXPECT_TRUE(IsImportExtension(".Xml"));
    EXPECT_FALSE(IsImportExtension(".CSV"));
    EXPECT_FALSE(IsImportExtension(ExtractFileExt("ORDER1")));
    EXPECT_FALSE(IsImportExtension(""));
    // Only the last dot counts for the extension of a name.
    EXPECT_TRUE(IsImportExtension(ExtractFileExt("A.B.txt")));
}

TEST_F(Lookups, TheFirstCharacterChoosesTheService) {
    ServiceIndex.Add("A=ORDERS");
    ServiceIndex.Add("B=BILLS");
    Services = {{"orders@x", "https://h/send?%s"}, {"bills@x", "https://h/bill?%s"}};
    std::string service = "kept", email = "old", sender = "old";
    LookupService("/out/a100.txt", service, email, sender);
    EXPECT_EQ(service, "ORDERS");
    EXPECT_EQ(email, "orders@x");
    EXPECT_EQ(sender, "https://h/send?%s");
    service = "kept";
    LookupService("/out/Z100.txt", service, email, sender);
    EXPECT_EQ(service, "kept");
    EXPECT_EQ(email, "");
    EXPECT_EQ(sender, "");
    std::vector<std::string> log = LogMessages(LogFileName());
    EXPECT_EQ(log, (std::vector<std::string>{
                       "First character: a", "Service: ORDERS", "  Email: orders@x",
                       "  WebMailSender: https://h/send?%s", "First character: Z", "Service: "}));
}

TEST_F(Lookups, TheApplicationReferenceChoosesTheInboxFolder) {
    const std::string abc = dir.Path() + "IN/ABC";
    InboxLocations.Add("ABC=" + abc);
    InboxLocations.Add("EMPTY=");
    std::string folder;
    GetInboxFolder("ABC-123.TXT", folder);
    EXPECT_EQ(folder, abc + "/");
    EXPECT_TRUE(DirectoryExists(abc));
    GetInboxFolder("abc-9.TXT", folder);  // exists now: no second "Create directory"
    EXPECT_EQ(folder, abc + "/");
    GetInboxFolder("XYZ.TXT", folder);
    EXPECT_EQ(folder, dir.Path() + "INBOX/");
    GetInboxFolder("EMPTY-1.TXT", folder);
    EXPECT_EQ(folder, dir.Path() + "INBOX/");
    std::vector<std::string> log = LogMessages(LogFileName());
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "Application refernce: ABC");
    EXPECT_EQ(log[1], "Create directory: '" + abc + "/'");
    EXPECT_EQ(log[2], "The sub-directory for received file(ABC-123.TXT): " + abc + "/");
    EXPECT_EQ(log[3], "Application refernce: abc");
    EXPECT_EQ(log[5], "Application refernce: ");

    // A folder that cannot be made fails the save instead of sending it elsewhere.
    WriteFile(dir.Path() + "IN/FILE", "");
    InboxLocations.Add("BAD=" + dir.Path() + "IN/FILE/BAD");
    try {
        GetInboxFolder("BAD-1.TXT", folder);
        ADD_FAILURE() << "a folder that cannot be made is not reported";
    } catch (const std::runtime_error& e) {
        // The log line of the failed message says why, not only which folder.
        EXPECT_EQ(std::string(e.what()),
                  "Unable to create directory: '" + dir.Path() + "IN/FILE/BAD/': Not a directory");
    }
}

TEST(Helpers, RunProgramReportsWhatCouldNotStart) {
    TTempDir dir;
    std::string error = "unchanged";
    EXPECT_EQ(RunProgram("touch " + dir.Path() + "started", 5, error), 33);
    EXPECT_EQ(error, "unchanged");
    for (int i = 0; i < 200 && !FileExists(dir.Path() + "started"); ++i) usleep(10000);
    EXPECT_TRUE(FileExists(dir.Path() + "started"));
    EXPECT_EQ(RunProgram(dir.Path() + "nothing.exe /x", 5, error), 2);
    EXPECT_EQ(error, "The specified file was not found.");
    EXPECT_EQ(RunProgram(dir.Path() + "no/such/folder/setup", 5, error), 3);
    EXPECT_EQ(error, "The specified path was not found.");
    WriteFile(dir.Path() + "plain.txt", "not a program");
    EXPECT_EQ(RunProgram("\"" + dir.Path() + "plain.txt\"", 5, error), 11);
    EXPECT_EQ(error, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).");
    EXPECT_EQ(RunProgram("no-such-program-anywhere", 5, error), 2);
}

TEST(Helpers, RunProgramTakesNoShellSyntaxFromItsCommandLine) {
    // An upgrade folder is named after a release text from a message.
    TTempDir dir;
    const std::string folder = dir.Path() + "UPGRADE/R 2; touch " + dir.Path() + "pwned/";
    ForceDirectories(folder);
    WriteFile(folder + "SETUP.EXE",
              "#!/bin/sh\ncd \"$(dirname \"$0\")\" && echo \"$1|$2\" > out && mv out ran\n");
    chmod((folder + "SETUP.EXE").c_str(), 0755);
    std::string error;
    EXPECT_EQ(RunProgram(folder + "SETUP.EXE /silent \"a b$HOME\"", 1, error), 33);
    for (int i = 0; i < 500 && !FileExists(folder + "ran"); ++i) usleep(10000);
    EXPECT_EQ(ReadFile(folder + "ran"), "/silent|a b$HOME\n");
    EXPECT_FALSE(FileExists(dir.Path() + "pwned"));
}

TEST(Helpers, TemporaryNamesAreNewAndShort) {
    TTempDir dir;
    const std::string file = MakeTempFileName(dir.Path());
    EXPECT_EQ(ExtractFilePath(file), dir.Path());
    EXPECT_EQ(ExtractFileName(file).substr(0, 3), "~qb");
    EXPECT_EQ(ExtractFileExt(file), ".tmp");
    EXPECT_FALSE(FileExists(file));
    const std::string folder = MakeTempDirName(dir.Path());
    EXPECT_EQ(ExtractFileName(folder).size(), 7u);
    EXPECT_FALSE(DirectoryExists(folder));
    EXPECT_THROW(MakeTempFileName(dir.Path() + "missing/"), std::runtime_error);

    // A work folder is made at once, and a folder that cannot hold one tells why.
    const std::string work = MakeTempDir(dir.Path());
    EXPECT_EQ(ExtractFilePath(work.substr(0, work.size() - 1)), dir.Path());
    EXPECT_TRUE(DirectoryExists(work));
    WriteFile(dir.Path() + "plain", "");
    try {
        MakeTempDir(dir.Path() + "plain");
        ADD_FAILURE() << "no error for a folder that is a file";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unable to create a work folder in " + dir.Path() + "plain/: Not a directory");
    }
}
