// Answers that are not a whole mail, ids that cannot go into a URL as they are: the message
// stays in the mailbox or is kept whole, and the log and the outcome (the status) say so.

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
    for (const std::string& body :
         {std::string(), std::string("<html>\r\n<b>Note:</b> Please try again later\r\n</html>"),
          std::string("-201 Mail retrieve error"), std::string("Error: mailbox busy\r\n"),
          "\r\n" + kMail, "From service@x.y Mon Jan 15 09:00:00 2024\r\n" + kMail}) {
        TRecvTestServer server([&](const std::string& path) -> std::optional<TReply> {
            return path.starts_with("/get") ? std::optional(Http200(body)) : std::nullopt;
        });
        server.AddMessage("A1", kMail);
        const TReceiveOutcome& outcome = RunAgainst(server);
        if (body.starts_with("From ")) {  // a mailbox line before the mail is no harm
            EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "del A1"}));
            EXPECT_EQ(outcome.Received, 1);
            continue;
        }
        // Tried four times, never deleted, nothing stored, nothing counted, and said so.
        EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "get A1", "get A1", "get A1"}));
        EXPECT_EQ(outcome.Messages.at(0).Fate, TMessageFate::LeftInMailbox);
        const std::string reason = outcome.FirstFailure();
        EXPECT_TRUE(
            reason.starts_with("Recv: Get Message Content failed. Reason: the answer for "
                               "Message Id = A1 is not a mail. Body response: "));
        EXPECT_EQ(CountLogged(reason), 4) << body;
        EXPECT_EQ(Log().back(), "Receive: 0 message(s) was/were received.");
        EXPECT_TRUE(Names(ProgramInfo.InboxPath).empty() && Names(ProgramInfo.ErrorPath).empty());
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
    EXPECT_EQ(ReadFile(inbox + "B.TXT"), std::string(76, 'b'));  // as far as it goes
    const std::string kept = ProgramInfo.ErrorPath + "RECV_20240115100000_A1.eml";
    EXPECT_EQ(ReadFile(kept), cut);
    EXPECT_TRUE(IsRecordedReceived(kept));
    const TMessageOutcome& damaged = outcome.Messages.at(0);
    EXPECT_EQ(damaged.Fate, TMessageFate::Damaged);
    EXPECT_EQ(damaged.Files, (TCalls{inbox + "A.TXT", inbox + "B.TXT"}));
    EXPECT_EQ(damaged.Reason, "Recv: The received message was kept whole in the Error folder as " +
                                  kept + ". Reason: the message ends before its closing boundary");
    EXPECT_EQ(outcome.FirstFailure(), damaged.Reason);
    EXPECT_TRUE(Logged(damaged.Reason));
    EXPECT_EQ(Log().back(),
              "Receive: 1 message(s) ended before their closing boundary: what they carry was "
              "stored as far as it goes, and the whole message(s) went to the Error folder.");
}

TEST_F(RecvAnswer, IdsThatWouldReachTheRequestHeadAreRefusedOthersArePercentEncoded) {
    TRecvTestServer server([](const std::string& path) -> std::optional<TReply> {
        if (!path.starts_with("/count")) return std::nullopt;
        return Http200("5/X\r\nY;B 2;T\t3;D\x7f;C&3#\xe9;");
    });
    server.AddMessage("C%263%23%E9", kMail);
    const TReceiveOutcome& outcome = RunAgainst(server);

    EXPECT_EQ(server.Calls(), (TCalls{"count", "get C%263%23%E9", "del C%263%23%E9"}));
    // Each refused one stays in the mailbox, shown in the log as it came.
    ASSERT_EQ(outcome.Messages.size(), 5u);
    const std::string refused =
        "Recv: Message Id = X\\x0D\\x0AY is refused: it holds a blank "
        "or a control character. The message stays in the mailbox.";
    EXPECT_EQ(outcome.FirstFailure(), refused);
    for (const char* shown : {"X\\x0D\\x0AY", "B 2", "T\\x093", "D\\x7F"})
        EXPECT_EQ(CountLogged(std::string(refused).replace(19, 10, shown)), 1) << shown;
    EXPECT_EQ(outcome.Received, 1);
}

// The server closes the connection (plainly, no error) halfway through the length it
// announced: the half mail is never parsed, and the message stays in the mailbox.
TEST_F(RecvAnswer, AnAnswerShorterThanItsLengthLeavesTheMessageInTheMailbox) {
    const std::string mail = MakeMail("Orders", {"x"}, {{"A.TXT", std::string(6000, 'a')}});
    const std::string half = mail.substr(0, mail.size() / 2);
    TRecvTestServer server([&](const std::string& path) -> std::optional<TReply> {
        if (!path.starts_with("/get")) return std::nullopt;
        return TReply{"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(mail.size()) +
                      "\r\n\r\n" + half};
    });
    server.AddMessage("A1", mail);
    const TReceiveOutcome& outcome = RunAgainst(server);
    EXPECT_EQ(server.Calls(), (TCalls{"count", "get A1", "get A1", "get A1", "get A1"}));
    EXPECT_EQ(outcome.Messages.at(0).Fate, TMessageFate::LeftInMailbox);
    EXPECT_EQ(
        CountLogged("Recv: Https Error. Reason: 284: The server closed the connection after " +
                    std::to_string(half.size()) + " of " + std::to_string(mail.size()) +
                    " body bytes."),
        4);
    EXPECT_EQ(Log().back(), "Receive: 0 message(s) was/were received.");
    EXPECT_TRUE(Names(ProgramInfo.InboxPath).empty() && Names(ProgramInfo.ErrorPath).empty());
}
