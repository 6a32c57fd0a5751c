// Nothing received is lost: the raw message is on disk, whole, before it leaves the mailbox;
// a message whose content cannot be stored ends up in the Error folder; its bytes are kept
// as received; and no password reaches the log.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "recv_test_server.h"
#include "transfer/received_record.h"

namespace {

class RecvKeep : public TRecvFixture {
  protected:
    // An Inbox sub-folder for the application reference ORD that cannot be created.
    void UnusableOrdFolder() {
        WriteFile(dir_.Path() + "PLAIN", "a file, not a folder");
        InboxLocations.Add("ORD=" + dir_.Path() + "PLAIN/ORD");
    }
};

}  // namespace

TEST_F(RecvKeep, RawMessageIsWholeOnDiskBeforeTheDeleteAndGoneAfterTheStore) {
    // An attachment in 8 bits with a NUL byte and a bare CR.
    const std::string body =
        "Subject: Orders\nContent-Type: multipart/mixed; boundary=\"B\"\n\n--B\n"
        "Content-Type: application/octet-stream\n"
        "Content-Disposition: attachment; filename=\"BIN.DAT\"\n\n" +
        std::string("ab\0cd\rline", 10) + "\n--B--\n";
    std::mutex seenLock;
    std::vector<std::string> seen;
    TRecvTestServer server([&](const std::string& path) -> std::optional<TReply> {
        // What a power cut at the moment of the delete would leave behind.
        std::lock_guard<std::mutex> lock(seenLock);
        if (path.starts_with("/del"))
            for (const std::string& name : Names(ProgramInfo.InboxPath))
                seen.push_back(ReadFile(ProgramInfo.InboxPath + name + "/MsgBody.txt"));
        return std::nullopt;
    });
    server.AddMessage("A1", body);
    UseServer(server);
    Receive();
    std::lock_guard<std::mutex> lock(seenLock);
    EXPECT_EQ(seen, std::vector<std::string>{body});
    EXPECT_EQ(Names(ProgramInfo.InboxPath), std::vector<std::string>{"BIN.DAT"});
    EXPECT_NE(ReadFile(ProgramInfo.InboxPath + "BIN.DAT").find(std::string("ab\0cd", 5)),
              std::string::npos);
}

TEST_F(RecvKeep, MessageThatCannotBeStoredGoesToTheErrorFolderAndTheNextOneIsReceived) {
    UnusableOrdFolder();
    const std::string unusable = MakeMail("Orders", {"x"}, {{"A.TXT", "a"}, {"ORD-1.TXT", "o"}});
    const std::string dots = MakeMail("Orders", {"x"}, {{"..", "up"}});
    TRecvTestServer server;
    server.AddMessage("A/1", unusable);
    server.AddMessage("B2", dots);
    server.AddMessage("C3", MakeMail("Orders", {"x"}, {{"C.TXT", "c"}}));
    UseServer(server);
    Receive();

    EXPECT_EQ(server.Calls().back(), "del C3");
    const std::string kept = ProgramInfo.ErrorPath + "RECV_20240115100000_A_1.eml";
    // Each with the record that tells it was received.
    EXPECT_EQ(Names(ProgramInfo.ErrorPath),
              (std::vector<std::string>{
                  ".RECV_20240115100000_A_1.eml.received", ".RECV_20240115100000_B2.eml.received",
                  "RECV_20240115100000_A_1.eml", "RECV_20240115100000_B2.eml"}));
    EXPECT_TRUE(IsRecordedReceived(kept));
    EXPECT_EQ(ReadFile(kept), unusable);
    EXPECT_EQ(ReadFile(ProgramInfo.ErrorPath + "RECV_20240115100000_B2.eml"), dots);
    EXPECT_TRUE(Logged("Recv: The received message could not be stored and was moved to " + kept));
    EXPECT_TRUE(Logged("Receive: Invalid attachment file name '..'"));
    // The attachment before the failing one is stored; no work folder is left.
    EXPECT_EQ(Names(ProgramInfo.InboxPath), (std::vector<std::string>{"A.TXT", "C.TXT"}));
    EXPECT_EQ(Names(dir_.Path()), (std::vector<std::string>{"ERROR", "INBOX", "LOG", "PLAIN"}));
    // Only the stored message counts as received; the two others have their own line.
    const auto lines = Log();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{
                  "Receive: 1 message(s) was/were received. ( 3 Email )",
                  "Receive: 2 message(s) could not be stored and went to the Error folder."}));
}

TEST_F(RecvKeep, FullDiskLeavesTheOldInboxFileAndKeepsTheMessage) {
    WriteFile(ProgramInfo.InboxPath + "ORDER1.TXT", "old");
    const std::string body = MakeMail("Orders", {"x"}, {{"ORDER1.TXT", "new"}});
    TRecvTestServer server;
    server.AddMessage("A1", body);
    UseServer(server);
    // The raw message reaches the disk; the attachment runs out of room.
    std::atomic<int> flushes{0};
    SetAtomicWriteFault([&flushes](TAtomicStep step) {
        return step == TAtomicStep::Fsync && ++flushes == 2 ? ENOSPC : 0;
    });
    Receive();
    EXPECT_EQ(Names(ProgramInfo.InboxPath), std::vector<std::string>{"ORDER1.TXT"});
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "ORDER1.TXT"), "old");
    EXPECT_EQ(ReadFile(ProgramInfo.ErrorPath + "RECV_20240115100000_A1.eml"), body);
}

TEST_F(RecvKeep, ACopyThatFailsHalfWayLeavesTheMessageForTheNextAttempt) {
    // A message of many pieces goes to its copy as it arrives; the disk refuses the third.
    std::string data;
    for (int i = 0; data.size() < 400000; ++i) data += "line " + std::to_string(i) + "\r\n";
    const std::string body = MakeMail("Orders", {"x"}, {{"BIG.TXT", data}});
    TRecvTestServer server;
    server.AddMessage("A1", body);
    UseServer(server);
    std::atomic<int> writes{0};
    std::string copy;
    SetAtomicPathFault([&](TAtomicStep step, const std::string& path) {
        if (step != TAtomicStep::Write || !path.ends_with("/MsgBody.txt") || ++writes != 3)
            return 0;
        copy = path;
        return ENOSPC;
    });
    Receive();
    SetAtomicPathFault(nullptr);
    EXPECT_TRUE(
        Logged("Recv: Https Error. Reason: Unable to write " + copy + ": No space left on device"));
    EXPECT_EQ(Names(ProgramInfo.InboxPath), std::vector<std::string>{"BIG.TXT"});
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "BIG.TXT"), data);
}

TEST_F(RecvKeep, WhenTheErrorFolderFailsTooTheMessageStaysInItsWorkFolder) {
    UnusableOrdFolder();
    ProgramInfo.ErrorPath = dir_.Path() + "PLAIN/ERROR/";
    const std::string body = MakeMail("Orders", {"x"}, {{"ORD-1.TXT", "o"}});
    TRecvTestServer server;
    server.AddMessage("A1", body);
    UseServer(server);
    Receive();
    const auto names = Names(ProgramInfo.InboxPath);
    ASSERT_EQ(names.size(), 1u);
    const std::string kept = ProgramInfo.InboxPath + names[0] + "/MsgBody.txt";
    EXPECT_EQ(ReadFile(kept), body);
    const auto lines = Log();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.starts_with(
            "Recv: Unable to move the received message to the Error folder. It is kept in " + kept +
            ". Reason: ");
    }));
    EXPECT_EQ(lines.back(),
              "Receive: 1 message(s) could not be stored and stay in the Inbox work folder.");
    EXPECT_TRUE(Logged("Receive: 0 message(s) was/were received. ( 1 Email )"));
}

TEST_F(RecvKeep, NoPasswordInAnyLogLine) {
    const std::string password = kPassword;
    int counts = 0;
    TRecvTestServer server([&](const std::string& path) -> std::optional<TReply> {
        if (++counts == 1) return TReply{"HTTP/1.0 403 Wrong " + password + "\r\n\r\n"};
        if (counts == 2)
            return TReply{"HTTP/1.0 200 OK\r\nX-Echo: " + path + "\r\n\r\nrefused: " + password};
        return Http200("0");
    });
    UseServer(server);
    Receive();
    EXPECT_EQ(server.Calls().size(), 3u);
    EXPECT_EQ(ReadFile(LogFileName()).find(password), std::string::npos);
    EXPECT_TRUE(Logged("Recv: Https Error. Reason: 151: 403 Wrong ********"));
    EXPECT_TRUE(
        Logged("Recv: Get Message Count failed. Reason: Unknown content = refused: ********"));
    // As it travels in a URL, too.
    CompanyInfo.Password = "p@ss w";
    EXPECT_EQ(HidePasswords("?p=p%40ss%20w&q=p@ss w"), "?p=********&q=********");
}
