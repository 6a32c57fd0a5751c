// Receive runs against the scripted mailbox: the calls made, the lines logged, the retries
// and their pauses, the time-outs, and one run on a real worker thread.

#include <gtest/gtest.h>

#include "recv_test_server.h"
#include "support/pump_until.h"
#include "support/real_time.h"
#include "worker_start.h"

namespace {

class RecvRun : public TRecvFixture {};

std::string Mail(const std::string& name, const std::string& bytes) {
    return MakeMail("Orders", {"see attached"}, {{name, bytes}});
}

using TCalls = std::vector<std::string>;

}  // namespace

TEST(ParseCountAnswer, CountSlashThenIdsEachEndedBySemicolon) {
    int count = 0;
    std::vector<std::string> ids;
    ASSERT_TRUE(ParseCountAnswer("1/A1;B2;", count, ids));
    EXPECT_EQ(ids, TCalls{"A1"});
    ASSERT_TRUE(ParseCountAnswer("-2/A;", count, ids));
    EXPECT_TRUE(ids.empty());
    for (const char* unknown : {"3/A1;B2;", "2/A1;B2", "A1;B2;", "2000000000/A;"})
        EXPECT_FALSE(ParseCountAnswer(unknown, count, ids)) << unknown;
    EXPECT_THROW(ParseCountAnswer("2 /A;B;", count, ids), EConvertError);
}

TEST_F(RecvRun, FetchesDeletesAndStoresEveryMessageInOrder) {
    TRecvTestServer server;
    server.AddMessage("A1", Mail("ORDER1.TXT", "first"));
    server.AddMessage("U2", MakeMail("AUTOUPGRADE", {"T", "2.10", "20240201", ""}, {}));
    server.AddMessage("B3", Mail("ORDER3.TXT", "third"));
    UseServer(server);
    TRecordingView view;
    Receive(&view);

    EXPECT_EQ(server.Calls(),
              (TCalls{"count", "get A1", "del A1", "get U2", "del U2", "get B3", "del B3"}));
    // Only the attachments are left in the Inbox: the work folders are gone.
    EXPECT_EQ(Names(ProgramInfo.InboxPath), (TCalls{"ORDER1.TXT", "ORDER3.TXT"}));
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "ORDER3.TXT"), "third");
    const auto lines = Log();
    EXPECT_EQ(TCalls(lines.begin(), lines.begin() + 6),
              (TCalls{"Receive thread execute", "Recv: Receive mails for company@x.y",
                      "Recv: Https Login Params:", "  User ID  : company@x.y",
                      "  Login ID : LOGIN1", "Recv: Get Message Count"}));
    EXPECT_TRUE(Logged("Recv: 3 mails in mailbox."));
    EXPECT_TRUE(Logged("Recv: Retrieving the 2nd message from mailbox."));
    EXPECT_TRUE(Logged("Recv: Https Header response: HTTP/1.0 200 OK"));
    EXPECT_EQ(lines.back(), "Receive: 3 message(s) was/were received. ( 1 AutoUpgrade, 2 Email )");

    EXPECT_TRUE(view.animating);
    EXPECT_EQ(view.progress, (std::vector<std::pair<bool, int>>{{true, 0}}));
    EXPECT_EQ(view.labels, (TCalls{"Receiving message 1 of 3", "Receiving message 2 of 3",
                                   "Receiving message 3 of 3"}));
    // Each fetch starts at 0 and ends at 100; counts and deletes post nothing.
    EXPECT_EQ(std::count(progress_.begin(), progress_.end(), 100), 3);
    EXPECT_EQ(progress_.front(), 0);
}

TEST_F(RecvRun, CountIsTriedThreeTimesFifteenSecondsApart) {
    int calls = 0;
    TRecvTestServer server([&calls](const std::string&) -> std::optional<TReply> {
        if (++calls == 1) return Http200("-202");
        if (calls == 2) return TReply{"HTTP/1.0 404 Not Found\r\n\r\n  gone  "};
        return Http200("3/A1;B2;");
    });
    UseServer(server);
    const int64_t start = MonotonicMs();
    Receive();
    EXPECT_EQ(server.Calls(), (TCalls{"count", "count", "count"}));
    EXPECT_GE(MonotonicMs() - start, 45000);
    EXPECT_TRUE(Logged("Recv: Get Message Count failed. Reason: (-202) Login mailbox failed."));
    EXPECT_TRUE(Logged("Recv: Https Error. Reason: 151: 404 Not Found"));
    EXPECT_TRUE(Logged("Recv: Get Message Count failed. Body response: gone"));
    EXPECT_TRUE(Logged("Recv: Get Message Count failed. Reason: Unknown content = 3/A1;B2;"));
    EXPECT_TRUE(Logged("Recv: Unable to receiving mails for company@x.y."));
    EXPECT_EQ(Log().back(), "Receive: 0 message(s) was/were received.");
}

TEST_F(RecvRun, MessageThatCannotBeFetchedIsTriedFourTimesThenTheNextOne) {
    TRecvTestServer server([](const std::string& path) -> std::optional<TReply> {
        if (path.starts_with("/get") && path.ends_with("id=B2")) return Http200(" 0 ");
        return std::nullopt;
    });
    server.AddMessage("A1", Mail("A.TXT", "a"));
    server.AddMessage("B2", Mail("B.TXT", "b"));
    server.AddMessage("C3", Mail("C.TXT", "c"));
    UseServer(server);
    TRecordingView view;
    const int64_t start = MonotonicMs();
    Receive(&view);

    EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "del A1", "get B2", "get B2", "get B2",
                                      "get B2", "get C3", "del C3"}));
    EXPECT_GE(MonotonicMs() - start, 4 * 15000);
    // A return code is a failure of the fetch whatever its value.
    EXPECT_EQ(CountLogged("Recv: Get Message Content failed. Reason: Unknown return code : 0"), 4);
    EXPECT_EQ(view.labels[4], "Receiving message 2 of 3 (Retry 3)");
    EXPECT_EQ(Log().back(), "Receive: 2 message(s) was/were received. ( 2 Email )");
    // The last message succeeded.
    EXPECT_FALSE(Logged("Recv: Unable to receiving mails for company@x.y."));
    EXPECT_EQ(Names(ProgramInfo.InboxPath), (TCalls{"A.TXT", "C.TXT"}));
}

TEST_F(RecvRun, FailedDeleteFetchesAgainAtOnceAndDebugModeDeletesNothing) {
    int deletes = 0;
    TRecvTestServer server([&deletes](const std::string& path) -> std::optional<TReply> {
        if (path.starts_with("/del") && ++deletes == 1) return Http200("deleted");
        if (path.starts_with("/del") && deletes == 2) return Http200("-201");
        return std::nullopt;
    });
    server.AddMessage("A1", Mail("A.TXT", "a"));
    UseServer(server);
    DebugMode = true;
    Receive();
    DebugMode = false;
    const int64_t start = MonotonicMs();
    Receive();
    EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "count", "get A1", "del A1", "get A1",
                                      "del A1", "get A1", "del A1"}));
    EXPECT_LT(MonotonicMs() - start, 15000);
    // A body that is no return code fails without a line of its own.
    EXPECT_EQ(CountLogged("Recv: Delete Message failed. Reason: (-201) Mail retrieve error."), 1);
    EXPECT_EQ(CountLogged("Receive: 1 message(s) was/were received. ( 1 Email )"), 2);
}

TEST_F(RecvRun, ErrorsThatEndTheRunOrOnlyTheCall) {
    TRecvTestServer server([](const std::string&) { return Http200("x/A1;"); });
    UseServer(server);
    Receive();
    EXPECT_TRUE(
        Logged("Recv: Error occurred when receiving mails for company@x.y. Reason: 'x' is "
               "not a valid integer value"));

    ConnectionInfo.RecvUseFirewall = true;
    ConnectionInfo.RecvFirewallPort = " 80x ";
    Receive();
    EXPECT_TRUE(
        Logged("Recv: Error occurred when receiving mails for company@x.y. Reason: '80x' "
               "is not a valid integer value"));

    ConnectionInfo.RecvUseFirewall = false;
    ConnectionInfo.RecvUseProxy = true;
    ConnectionInfo.RecvProxyPort = "none";
    Receive();
    EXPECT_EQ(CountLogged("Recv: Https Error. Reason: 'none' is not a valid integer value"), 3);

    ConnectionInfo.LeaseLine = false;
    DVR_RASConn = 0;
    Receive();
    EXPECT_TRUE(Logged("Remote connection not available"));
    EXPECT_TRUE(
        Logged("Recv: Error occurred when receiving mails for company@x.y. Reason: Remote "
               "connection not available"));
    EXPECT_EQ(server.Calls(), TCalls{"count"});
    EXPECT_EQ(CountLogged("Receive: 0 message(s) was/were received."), 4);
}

TEST_F(RecvRun, SilentServerIsInterruptedAfterTheTimeout) {
    int calls = 0;
    TRecvTestServer server([&calls](const std::string&) -> std::optional<TReply> {
        // First no answer at all, then half a body, then the mailbox.
        if (++calls == 1) return TReply{"", true};
        if (calls == 3) return TReply{"HTTP/1.0 200 OK\r\nContent-Length: 99\r\n\r\nFrom:", true};
        return std::nullopt;
    });
    server.AddMessage("A1", Mail("A.TXT", "a"));
    UseServer(server);
    ConnectionInfo.Timeout = 2;
    Receive();
    EXPECT_EQ(server.Calls(), (TCalls{"count", "count", "get A1", "get A1", "del A1"}));
    EXPECT_EQ(CountLogged("Recv: Https Timeout Interrupt, no response from Server after 2 seconds"),
              2);
    EXPECT_EQ(CountLogged("Recv: Https Error. Reason: 301: Interrupted."), 2);
    EXPECT_TRUE(Logged("Recv: Get Message Content failed. Body response: From:"));
    EXPECT_EQ(Log().back(), "Receive: 1 message(s) was/were received. ( 1 Email )");
}

// One byte every 8 s re-arms the 15-second inactivity timer for ever: the request as a whole
// ends after 300 s. Count and delete answers over 64 KB are refused; a large mail is not.
TEST_F(RecvRun, TricklingAnswerEndsAtTheRequestLimitAndHugeCountOrDeleteAnswersAreRefused) {
    const std::string huge(70000, '0');
    std::atomic<int> counts{0}, deletes{0};
    const std::string limitLine =
        "Recv: Https Request Interrupt, no complete answer from Server after 300 seconds";
    // The clock moves on only once the client has taken the byte before: two steps of 8 s
    // unseen by a starved client would read as 16 s of silence. Once the client has given up,
    // the trickle stops at once: a step more would lengthen the client's next pause.
    const auto limitLogged = [&] { return CountLogged(limitLine) > 0; };
    const auto clientCaughtUp = [&](long sent) {
        const auto lines = Log();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                   return line.starts_with("Recv: Https ") && line.ends_with(" bytes retrieved");
               }) >= sent;
    };
    long trickled = 0;
    TRecvTestServer server([&](const std::string& path) -> std::optional<TReply> {
        if (path.starts_with("/count") && ++counts == 1)
            return TReply{"HTTP/1.0 200 OK\r\n\r\n", false, [&] {
                              for (const int64_t end = RealMs() + 10000;
                                   !clientCaughtUp(trickled) && !limitLogged() && RealMs() < end;)
                                  ::usleep(1000);
                              if (limitLogged()) return false;
                              clock_.AdvanceMs(8000);
                              ++trickled;
                              return true;
                          }};
        if (path.starts_with("/count") && counts == 2) return Http200("1/A1;" + huge);
        // Taken as "0" (deleted) once trimmed, were it read.
        if (path.starts_with("/del") && ++deletes == 1)
            return Http200("0" + std::string(70000, ' '));
        return std::nullopt;
    });
    const std::string big(100000, 'b');
    server.AddMessage("A1", Mail("A.TXT", "a"));
    server.AddMessage("B2", Mail("B.TXT", big));
    UseServer(server);
    ConnectionInfo.Timeout = 15;
    const int64_t start = MonotonicMs();
    Receive();
    const int64_t took = MonotonicMs() - start;

    // 300 s for the trickle and two pauses of 15 s between the counts.
    EXPECT_GE(took, 330000);
    EXPECT_LT(took, 345000);
    EXPECT_EQ(CountLogged(limitLine), 1);
    EXPECT_EQ(CountLogged("Recv: Https Answer refused, more than 65536 bytes in a count or "
                          "delete answer"),
              2);
    EXPECT_EQ(server.Calls(), (TCalls{"count", "count", "count", "get A1", "del A1", "get A1",
                                      "del A1", "get B2", "del B2"}));
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "B.TXT"), big);
    EXPECT_EQ(Names(ProgramInfo.InboxPath), (TCalls{"A.TXT", "B.TXT"}));
    const auto lines = Log();
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.size() > 60000; }));
    EXPECT_EQ(lines.back(), "Receive: 2 message(s) was/were received. ( 2 Email )");
}

// As the main window starts it: its own thread, labels through synchronized calls, the end
// handler on the main thread.
TEST_F(RecvRun, RealThreadEndsThroughItsEndHandlerOnTheMainThread) {
    TRecvTestServer server;
    server.AddMessage("A1", Mail("A.TXT", "a"));
    UseServer(server);
    TRecordingView view;
    bool finished = false, onMainThread = false;
    auto worker = StartReceive(&view, [&](TWorkerThread& thread) {
        finished = true;
        onMainThread = MainThread().IsMainThread() && thread.FatalError().empty();
    });
    ASSERT_TRUE(PumpUntil([&] { return finished; }));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(view.labels, TCalls{"Receiving message 1 of 1"});
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "A.TXT"), "a");
}
