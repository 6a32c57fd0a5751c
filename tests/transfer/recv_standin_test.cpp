// Receive runs against the stand-in web-mail service over TLS: its mail, its faults, and a
// mailbox that is empty afterwards only for what was stored.

#include <gtest/gtest.h>

#include "recv_test_server.h"
#include "webmail_standin.h"

namespace {

class RecvStandin : public TRecvFixture {
  protected:
    static void SetUpTestSuite() {
        // The password reaches the stand-in through a file, never a command line.
        standin_ = new TWebMailStandin({{"company@x.y", "LOGIN1", kPassword}});
    }
    static void TearDownTestSuite() {
        delete standin_;
        standin_ = nullptr;
    }
    void SetUp() override {
        TRecvFixture::SetUp();
        standin_->Post("reset", "{}");
        ConnectionInfo.WebMailCounter = standin_->UrlFormat("count");
        ConnectionInfo.WebMailRetriever = standin_->UrlFormat("retrieve");
        ConnectionInfo.WebMailDelete = standin_->UrlFormat("delete");
    }
    void Add(const std::string& subject, const std::string& text, const std::string& name) {
        standin_->Post("mailbox/add",
                       "{\"address\": \"company@x.y\", \"from\": \"s@x.y\", "
                       "\"subject\": " +
                           JsonText(subject) + ", \"text\": " + text +
                           ", \"attachments\": [{\"name\": " + JsonText(name) +
                           ", \"data\": \"bytes of " + name + "\"}]}");
    }
    long Waiting() { return JsonNumber(standin_->Get("status"), "company@x.y"); }

    static TWebMailStandin* standin_;
};

TWebMailStandin* RecvStandin::standin_ = nullptr;

}  // namespace

TEST_F(RecvStandin, MailAndAnUpgradeAreStoredAndLeaveTheMailbox) {
    InboxLocations.Add("ORD=" + dir_.Path() + "IN/ORD");
    Add("Orders", "\"see attached\"", "ORD-0001.TXT");
    Add("AUTOUPGRADE", "[\"Release 2.10\", \"2.10\", \"20991231\", \"\"]", "SETUP.EXE");
    Receive();
    EXPECT_EQ(ReadFile(dir_.Path() + "IN/ORD/ORD-0001.TXT"), "bytes of ORD-0001.TXT");
    EXPECT_EQ(ReadFile(UpgradeDir + "2.10/SETUP.EXE"), "bytes of SETUP.EXE");
    EXPECT_EQ(UserIni->ReadString("UPGRADE", "FORCE_UPGDATE", ""), "20991231");
    EXPECT_EQ(Log().back(), "Receive: 2 message(s) was/were received. ( 1 AutoUpgrade, 1 Email )");
    EXPECT_TRUE(Logged("Recv: Https Header response: HTTP/1.0 200 OK"));
    EXPECT_LE(Waiting(), 0);
    EXPECT_EQ(ReadFile(LogFileName()).find(kPassword), std::string::npos);
}

TEST_F(RecvStandin, StalledFetchAndDroppedDeleteAreTriedAgain) {
    Add("Orders", "\"x\"", "A.TXT");
    Add("Orders", "\"x\"", "B.TXT");
    standin_->Post("faults",
                   "[{\"kind\": \"stall\", \"target\": \"retrieve\"},"
                   " {\"kind\": \"drop\", \"target\": \"delete\", \"skip\": 1}]");
    ConnectionInfo.Timeout = 2;
    Receive();
    EXPECT_TRUE(Logged("Recv: Https Timeout Interrupt, no response from Server after 2 seconds"));
    EXPECT_EQ(Names(ProgramInfo.InboxPath), (std::vector<std::string>{"A.TXT", "B.TXT"}));
    EXPECT_EQ(Log().back(), "Receive: 2 message(s) was/were received. ( 2 Email )");
    EXPECT_LE(Waiting(), 0);
}
