// What the run loop hands back per message, and that it runs on the settings of the moment
// it was made.

#include <gtest/gtest.h>

#include "recv_test_server.h"

using TRecvOutcome = TRecvFixture;
using TCalls = std::vector<std::string>;

TEST_F(TRecvOutcome, EachMessageIsToldStoredKeptOrLeftOnTheSnapshotSettings) {
    TRecvTestServer server([](const std::string& path) -> std::optional<TReply> {
        if (path.starts_with("/get") && path.ends_with("id=C3")) return Http200("-201");
        return std::nullopt;
    });
    server.AddMessage("A1", MakeMail("one", {}, {{"A1.TXT", "alpha"}, {"A2.TXT", "beta"}}));
    server.AddMessage("B2", MakeMail("two", {}, {{"..", "up"}}));
    server.AddMessage("C3", MakeMail("three", {}, {{"C.TXT", "gamma"}}));
    UseServer(server);

    TTestRecvThread thread;
    // Changed after the cycle took its settings: the run must not see it.
    ConnectionInfo.WebMailCounter = "http://127.0.0.1:1/none";
    ProgramInfo.InboxPath = dir_.Path() + "ELSEWHERE/";
    thread.Run();
    PumpMessages(0);

    const TReceiveOutcome& outcome = thread.Outcome();
    ASSERT_EQ(outcome.Messages.size(), 3u);
    const std::string inbox = dir_.Path() + "INBOX/";
    EXPECT_EQ(outcome.Messages[0].Id, "A1");
    EXPECT_EQ(outcome.Messages[0].Fate, TMessageFate::Stored);
    EXPECT_EQ(outcome.Messages[0].Files,
              (std::vector<std::string>{inbox + "A1.TXT", inbox + "A2.TXT"}));
    EXPECT_EQ(outcome.Messages[1].Id, "B2");
    EXPECT_EQ(outcome.Messages[1].Fate, TMessageFate::KeptInError);
    EXPECT_TRUE(outcome.Messages[1].Where.starts_with(dir_.Path() + "ERROR/RECV_"));
    EXPECT_TRUE(FileExists(outcome.Messages[1].Where));
    EXPECT_EQ(outcome.Messages[2].Id, "C3");
    EXPECT_EQ(outcome.Messages[2].Fate, TMessageFate::LeftInMailbox);
    EXPECT_EQ(outcome.Messages[2].Reason,
              "Recv: Get Message Content failed. Reason: (-201) Mail retrieve error.");
    EXPECT_EQ(outcome.Received, 1);
    EXPECT_EQ(outcome.NotStoredCount(), 1);
    EXPECT_EQ(outcome.Failure, "Recv: Unable to receiving mails for company@x.y.");
    EXPECT_FALSE(DirectoryExists(dir_.Path() + "ELSEWHERE/"));
    EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "del A1", "get B2", "del B2", "get C3",
                                      "get C3", "get C3", "get C3"}));
}

// The product's own traffic sends A7.TXT and A7.XML both as A7.msg: nothing in the Inbox or
// its sub-folders is replaced, and the outcome names the files as stored.
TEST_F(TRecvOutcome, SameNameIsStoredUnderAFreeNameAndNeverReplacesAFile) {
    const std::string inbox = dir_.Path() + "INBOX/";
    const std::string ord = dir_.Path() + "INBOX/ORD/";
    InboxLocations.Add("ORD=" + ord);
    ForceDirectories(ord);
    WriteFile(ord + "ORD-1.TXT", "already there");
    WriteFile(inbox + "A7_1.msg", "someone's");
    TRecvTestServer server;
    server.AddMessage("A1", MakeMail("one", {}, {{"A7.msg", "text"}, {"A7.msg", "xml"}}));
    server.AddMessage("B2", MakeMail("two", {}, {{"A7.msg", "again"}, {"ORD-1.TXT", "new"}}));
    UseServer(server);
    TTestRecvThread thread;
    thread.Run();

    const TReceiveOutcome& outcome = thread.Outcome();
    ASSERT_EQ(outcome.Messages.size(), 2u);
    EXPECT_EQ(outcome.Messages[0].Files,
              (std::vector<std::string>{inbox + "A7.msg", inbox + "A7_2.msg"}));
    EXPECT_EQ(outcome.Messages[1].Files,
              (std::vector<std::string>{inbox + "A7_3.msg", ord + "ORD-1_1.TXT"}));
    EXPECT_EQ(outcome.Received, 2);
    for (const auto& [path, bytes] :
         std::vector<std::pair<std::string, std::string>>{{inbox + "A7.msg", "text"},
                                                          {inbox + "A7_1.msg", "someone's"},
                                                          {inbox + "A7_2.msg", "xml"},
                                                          {inbox + "A7_3.msg", "again"},
                                                          {ord + "ORD-1.TXT", "already there"},
                                                          {ord + "ORD-1_1.TXT", "new"}})
        EXPECT_EQ(ReadFile(path), bytes) << path;
    EXPECT_EQ(Names(inbox),
              (std::vector<std::string>{"A7.msg", "A7_1.msg", "A7_2.msg", "A7_3.msg", "ORD"}));
    EXPECT_TRUE(Logged("Receive: A file named A7.msg is already in " + inbox +
                       "; the attachment was saved as A7_2.msg"));
    EXPECT_TRUE(Logged("Receive: A file named ORD-1.TXT is already in " + ord +
                       "; the attachment was saved as ORD-1_1.TXT"));
}
