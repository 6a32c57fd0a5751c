// Releases delivered by mail: where their files go, what USER.INI records, and which texts of
// a message are refused.

#include "transfer/auto_upgrade.h"

#include <gtest/gtest.h>

#include "mail/attached_files.h"
#include "mail/mail_lines.h"
#include "recv_test_server.h"

namespace {

class AutoUpgradeTest : public TRecvFixture {
  protected:
    void Attach(const std::string& name, const std::string& bytes) {
        files_.Add(name).CreateData().Write(bytes.data(), bytes.size());
    }
    int Upgrade(const std::vector<std::string>& lines) {
        TMailLines text;
        for (const std::string& line : lines) text.Add(line);
        return ProcessAutoUpgrade(files_, text);
    }
    std::string Key(const std::string& key) const {
        return UserIni->ReadString("UPGRADE", key, "(none)");
    }

    TAttachedFiles files_;
};

}  // namespace

TEST_F(AutoUpgradeTest, StoresTheFilesThenRecordsTheRelease) {
    ASSERT_EQ(Upgrade({"No files", "2.10", "20240201", ""}), 0);
    // Without attachments the keys name a setup program that is not there.
    EXPECT_EQ(Key("UPGRADE_PATH"), UpgradeDir + "2.10/SETUP.EXE");
    EXPECT_FALSE(FileExists(UpgradeDir + "2.10/SETUP.EXE"));

    Attach("SETUP.EXE", "MZ");
    ASSERT_EQ(Upgrade({"Release 2.10", "2.10", "20240201", "20240115"}), 0);
    ASSERT_EQ(Upgrade({"Release 2.10", "2.10", "20240201", ""}), 0);
    EXPECT_EQ(ReadFile(UpgradeDir + "2.10/2/SETUP.EXE"), "MZ");
    EXPECT_EQ(Key("UPGRADE_TITLE"), "Release 2.10");
    EXPECT_EQ(Key("UPGRADE_PATH"), UpgradeDir + "2.10/2/SETUP.EXE");
    EXPECT_EQ(Key("FORCE_UPGDATE"), "20240201");
    EXPECT_EQ(Key("EFFECT_UPGDATE"), "");
    EXPECT_TRUE(Logged(UpgradeDir + "2.10/1 created."));
    EXPECT_TRUE(
        Logged("Autoupgrage - Attachment was saved in: " + UpgradeDir + "2.10/1/SETUP.EXE"));
}

TEST_F(AutoUpgradeTest, FailuresLeaveTheKeysAsTheyWere) {
    UserIni->WriteString("UPGRADE", "UPGRADE_PATH", "old");
    Attach("SETUP.EXE", "MZ");
    const std::string prefix = "Unable to update AutoUpgrade information. ";
    EXPECT_EQ(Upgrade({"T", "2.10", "2024020", ""}), 1);
    EXPECT_TRUE(Logged(prefix + "Invalid date format for force upgrade date in Autoupgrade."));
    EXPECT_EQ(Upgrade({"T", "2.10", "20240201", "2024013x"}), 1);
    EXPECT_TRUE(Logged(prefix + "'2024013x' is not a valid date"));
    EXPECT_EQ(Upgrade({"T", "2.10", "20240201"}), 1);
    EXPECT_TRUE(Logged(prefix + "List index out of bounds (3)"));
    EXPECT_FALSE(DirectoryExists(UpgradeDir));
    // An empty text fails without a line here.
    const auto before = Log().size();
    EXPECT_EQ(Upgrade({" ", "", "\t"}), 1);
    EXPECT_EQ(Log().size(), before);

    Attach("..", "x");
    EXPECT_EQ(Upgrade({"T", "2.12", "20240201", ""}), 1);
    EXPECT_TRUE(Logged(prefix + "Invalid attachment file name '..'"));
    EXPECT_EQ(Key("UPGRADE_PATH"), "old");
    EXPECT_EQ(Key("FORCE_UPGDATE"), "(none)");
}

TEST_F(AutoUpgradeTest, ReleaseThatWouldLeaveTheUpgradeFolderIsRefused) {
    for (const std::string release :
         {"../../x", "..", "/tmp/evil", "a/b", "2.10\\..\\x", "", "  ", ".", "2.1\x01"}) {
        EXPECT_EQ(Upgrade({"T", release, "20240201", ""}), 1) << release;
        EXPECT_TRUE(Logged("Unable to update AutoUpgrade information. Invalid release name '" +
                           release + "' in Autoupgrade."))
            << release;
    }
    EXPECT_EQ(Key("UPGRADE_PATH"), "(none)");
    EXPECT_EQ(Names(dir_.Path()), (std::vector<std::string>{"ERROR", "INBOX", "LOG"}));
}
