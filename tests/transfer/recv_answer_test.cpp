// Answers that are not a whole mail, and ids that cannot go into a URL as they are: the message
// stays in the mailbox, or leaves it only once kept whole in the Error folder, and the log and
// the outcome (which the status reads) say so.

#include <gtest/gtest.h>

#include "recv_test_server.h"
#include "transfer/received_record.h"

namespace {

class RecvAnswer : public TRecvFixture {
  protected:
    // One receive run against server; the outcome lives until the next run.
    const TReceiveOutcome& RunAgainst(const TRecvTestServer& server) {
        UseServer(server);
        thread_ = std::make_unique<TTestRecvThread>();
        thread_->Run();
        PumpMessages(0);
        return thread_->Outcome();
    }
    std::unique_ptr<TTestRecvThread> thread_;
};
using TCalls = std::vector<std::string>;

const std::string kMail = MakeMail("Orders", {"x"}, {{"A.TXT", "alpha"}});

}  // namespace

TEST_F(RecvAnswer, AnAnswerWithoutTheHeaderBlockOfAMailIsAFailedFetch) {
    struct TCase {
        std::string body;
        bool mail;
    };
    for (const auto& [body, mail] : std::vector<TCase>{
             {"", false},
             {"<html>\r\n<body><b>Note:</b> Please try again later</body>\r\n</html>\r\n", false},
             {"Please try again later", false},
             {"-201 Mail retrieve error", false},
             {"Error: mailbox busy\r\n", false},
             {"\r\n" + kMail, false},
             {"From service@x.y Mon Jan 15 09:00:00 2024\r\n" + kMail, true}}) {
        TRecvTestServer server([&](const std::string& path) -> std::optional<TReply> {
            if (path.starts_with("/get")) return Http200(body);
            return std::nullopt;
        });
        server.AddMessage("A1", kMail);
        const TReceiveOutcome& outcome = RunAgainst(server);
        ASSERT_EQ(outcome.Messages.size(), 1u) << body;
        if (mail) {
            EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "del A1"}));
            EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "A.TXT"), "alpha");
            continue;
        }
        // Tried four times, never deleted, nothing stored and nothing counted.
        EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "get A1", "get A1", "get A1"}))
            << body;
        EXPECT_EQ(outcome.Received, 0);
        EXPECT_EQ(outcome.Messages[0].Fate, TMessageFate::LeftInMailbox);
        const std::string reason = outcome.FirstFailure();
        EXPECT_TRUE(
            reason.starts_with("Recv: Get Message Content failed. Reason: the answer for "
                               "Message Id = A1 is not a mail. Body response: "))
            << reason;
        EXPECT_EQ(CountLogged(reason), 4) << body;
        EXPECT_EQ(Log().back(), "Receive: 0 message(s) was/were received.");
        EXPECT_TRUE(Names(ProgramInfo.InboxPath).empty());
        EXPECT_TRUE(Names(ProgramInfo.ErrorPath).empty());
    }
}

TEST_F(RecvAnswer, AMessageThatEndsEarlyIsStoredAsFarAsItGoesAndKeptWholeInTheErrorFolder) {
    const std::string whole =
        MakeMail("Orders", {"x"}, {{"A.TXT", "alpha"}, {"B.TXT", std::string(600, 'b')}});
    // Cut in the middle of B's Base64 group, before the closing delimiter.
    const std::string cut = whole.substr(0, whole.find("YmJi") + 102);
    TRecvTestServer server;
    server.AddMessage("A1", cut);
    server.AddMessage("C2", MakeMail("Orders", {"x"}, {{"C.TXT", "gamma"}}));
    const TReceiveOutcome& outcome = RunAgainst(server);

    // Deleted once its copy was whole on disk, so it is not fetched for ever.
    EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "del A1", "get C2", "del C2"}));
    const std::string inbox = ProgramInfo.InboxPath;
    EXPECT_EQ(ReadFile(inbox + "A.TXT"), "alpha");
    EXPECT_EQ(ReadFile(inbox + "B.TXT"), std::string(76, 'b'));
    const std::string kept = ProgramInfo.ErrorPath + "RECV_20240115100000_A1.eml";
    EXPECT_EQ(ReadFile(kept), cut);
    EXPECT_TRUE(IsRecordedReceived(kept));

    ASSERT_EQ(outcome.Messages.size(), 2u);
    const TMessageOutcome& damaged = outcome.Messages[0];
    EXPECT_EQ(damaged.Fate, TMessageFate::Damaged);
    EXPECT_EQ(damaged.Files, (TCalls{inbox + "A.TXT", inbox + "B.TXT"}));
    EXPECT_EQ(damaged.Where, kept);
    EXPECT_EQ(damaged.Reason, "Recv: The received message was kept whole in the Error folder as " +
                                  kept + ". Reason: the message ends before its closing boundary");
    EXPECT_EQ(outcome.FirstFailure(), damaged.Reason);
    EXPECT_EQ(outcome.Received, 1);
    EXPECT_EQ(outcome.NotStoredCount(), 1);
    EXPECT_TRUE(Logged(damaged.Reason));
    const auto lines = Log();
    EXPECT_EQ(TCalls(lines.end() - 2, lines.end()),
              (TCalls{"Receive: 1 message(s) was/were received. ( 2 Email )",
                      "Receive: 1 message(s) ended before their closing boundary: what they carry "
                      "was stored as far as it goes, and the whole message(s) went to the Error "
                      "folder."}));
}

TEST_F(RecvAnswer, IdsThatWouldReachTheRequestHeadAreRefusedOthersArePercentEncoded) {
    TRecvTestServer server([](const std::string& path) -> std::optional<TReply> {
        if (path.starts_with("/count")) return Http200("5/X\r\nY;B 2;T\t3;D\x7f;C&3#\xe9;");
        return std::nullopt;
    });
    server.AddMessage("C%263%23%E9", kMail);
    const TReceiveOutcome& outcome = RunAgainst(server);

    EXPECT_EQ(server.Calls(), (TCalls{"count", "get C%263%23%E9", "del C%263%23%E9"}));
    ASSERT_EQ(outcome.Messages.size(), 5u);
    const char* const shown[] = {"X\\x0D\\x0AY", "B 2", "T\\x093", "D\\x7F"};
    for (int i = 0; i < 4; ++i) {
        const std::string line = "Recv: Message Id = " + std::string(shown[i]) +
                                 " is refused: it holds a blank or a control character. The "
                                 "message stays in the mailbox.";
        EXPECT_EQ(outcome.Messages[i].Fate, TMessageFate::LeftInMailbox);
        EXPECT_EQ(outcome.Messages[i].Reason, line);
        EXPECT_TRUE(Logged(line)) << line;
    }
    EXPECT_EQ(outcome.Messages[4].Fate, TMessageFate::Stored);
    EXPECT_EQ(outcome.Received, 1);
    EXPECT_EQ(outcome.FirstFailure(), outcome.Messages[0].Reason);
}
