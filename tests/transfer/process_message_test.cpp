// Where the attachments of received mail go, and how an upgrade is told apart.

#include "transfer/process_message.h"

#include <gtest/gtest.h>

#include "mail/orv_msg.h"
#include "recv_test_server.h"

namespace {

class ProcessMessageTest : public TRecvFixture {
  protected:
    void Process(const std::string& mail) {
        TOrvMsg message;
        message.RawMail().SetText(mail);
        message.ParseMsg();
        ProcessMessage(message, counters_);
    }
    TMessageCounters counters_;
};

}  // namespace

TEST_F(ProcessMessageTest, AttachmentsGoToTheFolderOfTheirApplicationReference) {
    const std::string ord = dir_.Path() + "IN/ORD";
    InboxLocations.Add("ORD=" + ord);
    Process(MakeMail("a", {"x"}, {{"ORD-0001.TXT", "o"}, {"XYZ.TXT", "first"}}));
    Process(MakeMail("b", {"x"}, {{"XYZ.TXT", "second"}}));
    Process("Subject: text only\r\n\r\njust text\r\n");
    EXPECT_EQ(ReadFile(ord + "/ORD-0001.TXT"), "o");
    // The second XYZ.TXT takes a free name: no file in the Inbox is ever replaced.
    EXPECT_EQ(Names(ProgramInfo.InboxPath), (std::vector<std::string>{"XYZ.TXT", "XYZ_1.TXT"}));
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "XYZ.TXT"), "first");
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "XYZ_1.TXT"), "second");
    EXPECT_EQ(counters_.Email, 3);
    EXPECT_TRUE(Logged("Create directory: '" + ord + "/'"));
    EXPECT_TRUE(Logged("  Attachment was saved in: " + ord + "/ORD-0001.TXT"));
}

TEST_F(ProcessMessageTest, FailedSaveStopsTheMessageAndIsLoggedAsItLeaves) {
    WriteFile(ProgramInfo.InboxPath + "X.TXT", "a file");
    InboxLocations.Add("BAD=" + ProgramInfo.InboxPath + "X.TXT/sub");
    EXPECT_THROW(
        Process(MakeMail("m", {"x"}, {{"A.TXT", "a"}, {"BAD-1.TXT", "b"}, {"C.TXT", "c"}})),
        std::runtime_error);
    EXPECT_EQ(Names(ProgramInfo.InboxPath), (std::vector<std::string>{"A.TXT", "X.TXT"}));
    const auto lines = Log();
    EXPECT_EQ(lines.back(), "Receive: Unable to create directory: '" + ProgramInfo.InboxPath +
                                "X.TXT/sub/': Not a directory");
}

TEST_F(ProcessMessageTest, SubjectAutoupgradeInAnyCaseIsAnUpgrade) {
    Process(MakeMail("autoupgrade", {"T", "3.0", "20240301", ""}, {{"SETUP.EXE", "MZ"}}));
    EXPECT_EQ(ReadFile(UpgradeDir + "3.0/SETUP.EXE"), "MZ");
    Process(MakeMail("AUTOUPGRADE 3.0", {"x"}, {}));
    EXPECT_THROW(Process(MakeMail("AutoUpgrade", {"T", "3.0", "2024030", ""}, {})),
                 std::runtime_error);
    EXPECT_EQ(counters_.AutoUpgrade, 2);
    EXPECT_EQ(counters_.Email, 1);
    const auto lines = Log();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"Error in process AutoUpgrade message",
                                        "Receive: Error in process AutoUpgrade message"}));
}

TEST(SaveAttachment, NamesThatLeaveTheFolderOrAreTheFolderAreRefused) {
    TTempDir dir;
    const std::string folder = dir.Path() + "IN/";
    ForceDirectories(folder);
    for (const std::string& name :
         std::vector<std::string>{"", ".", "..", "../OUT.TXT", "/tmp/x", "sub/OUT.TXT",
                                  "..\\OUT.TXT", std::string("A\0/../x", 7)}) {
        TAttachedFile file;
        file.SetFileName(name);
        file.CreateData().Write("x", 1);
        EXPECT_THROW(SaveAttachment(file, folder), std::runtime_error) << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    for (const std::string name : {"...", ".hidden", "a..b"}) {
        TAttachedFile file;
        file.SetFileName(name);
        file.CreateData().Write("y", 1);
        EXPECT_EQ(ReadFile(SaveAttachment(file, folder)), "y");
    }
}
