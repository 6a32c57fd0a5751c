// What a receive run finds of earlier runs: copies of messages whose delete went out are
// stored before the count, copies of messages still in the mailbox are dropped, and nothing
// else in the Inbox is touched. Deletes without an answer, and runs killed (SIGKILL) at
// random moments and started again: every message ends up either still in the mailbox or
// stored whole (its attachment in the Inbox, or the raw message in the Error folder).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "common/base/fileutil.h"
#include "common/base/message_pump.h"
#include "common/password.h"
#include "common/settings.h"
#include "common/test_support.h"
#include "recv_test_server.h"
#include "support/real_time.h"
#include "transfer/recv_thread.h"
#include "webmail_standin.h"
#include "worker_start.h"

namespace {

class RecvKept : public TRecvFixture {
  protected:
    // A work folder as a run leaves it: the mark is empty until a delete goes out, then
    // holds the message id (markedAt: the time in seconds).
    std::string Kept(const std::string& name, const std::string& body, const std::string& msgId,
                     long markedAt = 0) {
        const std::string folder = ProgramInfo.InboxPath + name + "/";
        ForceDirectories(folder);
        if (!body.empty()) WriteFile(folder + "MsgBody.txt", body);
        WriteFile(folder + "Deleting.txt", markedAt > 0 ? msgId + "\n" : "");
        if (markedAt > 0) {
            const timespec times[2] = {{markedAt, 0}, {markedAt, 0}};
            ::utimensat(AT_FDCWD, (folder + "Deleting.txt").c_str(), times, 0);
        }
        return folder;
    }
    long LineOf(const std::string& text) const {
        const auto lines = Log();
        return std::find(lines.begin(), lines.end(), text) - lines.begin();
    }
};

std::string Mail(const std::string& name, const std::string& bytes) {
    return MakeMail("Orders", {"x"}, {{name, bytes}});
}

}  // namespace

TEST_F(RecvKept, MarkedCopiesAreStoredBeforeTheCountInTheOrderTheirDeletesWentOut) {
    // The later delete carries the later content, whatever the folder names say.
    const std::string newer = Kept("~qb0001", Mail("ORDER.TXT", "newer"), "A1", 2000);
    Kept("~qb0002", Mail("ORDER.TXT", "older"), "B2", 1000);
    const std::string unusable = MakeMail("Orders", {"x"}, {{"..", "up"}});
    Kept("~qb0003", unusable, "C/3", 3000);
    Kept("~qb0004", "", "", 4000);                  // the body was already removed
    Kept("~qb0005", Mail("STILL.TXT", "s"), "D4");  // the delete never went out
    // An earlier version kept an error page as a message: it is no mail, and stays whole.
    Kept("~qb0006", "Please try again later", "F6", 5000);
    TRecvTestServer server;
    server.AddMessage("E5", Mail("E.TXT", "e"));
    UseServer(server);
    Receive();

    // Each kept copy's delete goes out again first.
    EXPECT_EQ(server.Calls(), (std::vector<std::string>{"del B2", "del A1", "del C/3", "del F6",
                                                        "count", "get E5", "del E5"}));
    EXPECT_EQ(Names(ProgramInfo.InboxPath),
              (std::vector<std::string>{"E.TXT", "ORDER.TXT", "ORDER_1.TXT"}));
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "ORDER.TXT"), "older");
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "ORDER_1.TXT"), "newer");
    EXPECT_EQ(ReadFile(ProgramInfo.ErrorPath + "RECV_20240115100000_C_3.eml"), unusable);
    EXPECT_EQ(ReadFile(ProgramInfo.ErrorPath + "RECV_20240115100000_F6.eml"),
              "Please try again later");
    const long stored =
        LineOf("Recv: Processing a message kept from an earlier run: " + newer + "MsgBody.txt");
    EXPECT_LT(stored, LineOf("Recv: Get Message Count"));
    EXPECT_TRUE(Logged("Recv: Removing the copy of a message still in the mailbox: " +
                       ProgramInfo.InboxPath + "~qb0005/MsgBody.txt"));
    EXPECT_TRUE(Logged("Receive: 3 message(s) was/were received. ( 4 Email )"));
    EXPECT_EQ(Log().back(),
              "Receive: 2 message(s) could not be stored and went to the Error folder.");

    // Stored once: the next run finds nothing left.
    Receive();
    EXPECT_EQ(CountLogged("Receive: 0 message(s) was/were received."), 1);
}

// A run killed between a delete and its answer: the next one sends the delete again before it
// stores the kept copy, and does not fetch that message again, so it is stored exactly once.
TEST_F(RecvKept, KeptCopyIsStoredOnceWhetherOrNotItsDeleteReachedTheMailbox) {
    Kept("~qb0001", Mail("A1.TXT", "a"), "A1", 1000);  // the delete never reached the mailbox
    Kept("~qb0002", Mail("B2.TXT", "b"), "B2", 2000);  // the delete took
    Kept("~qb0003", Mail("C3.TXT", "c"), "C3", 3000);  // its delete fails again
    // Killed after its attachment was stored, before the copy went.
    Kept("~qb0004", Mail("E5.TXT", "e"), "E5", 4000);
    WriteFile(ProgramInfo.InboxPath + "E5.TXT", "e");
    TRecvTestServer server([](const std::string& path) -> std::optional<TReply> {
        if (path.starts_with("/del") && path.ends_with("id=C3")) return Http200("-201");
        return std::nullopt;
    });
    for (const char* id : {"A1", "C3", "D4"})
        server.AddMessage(id, Mail(std::string(id) + ".TXT", id));
    UseServer(server);
    TTestRecvThread thread;
    thread.Run();

    EXPECT_EQ(server.Calls(), (std::vector<std::string>{"del A1", "del B2", "del C3", "del E5",
                                                        "count", "get D4", "del D4"}));
    EXPECT_EQ(Names(ProgramInfo.InboxPath),
              (std::vector<std::string>{"A1.TXT", "B2.TXT", "C3.TXT", "D4.TXT", "E5.TXT"}));
    EXPECT_EQ(CountLogged("The received message is a non-encrypted mail."), 5);
    const TReceiveOutcome& outcome = thread.Outcome();
    ASSERT_EQ(outcome.Messages.size(), 5u);
    const std::vector<std::string> ids{"A1", "B2", "C3", "E5", "D4"};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(outcome.Messages[i].Id, ids[i]);
        EXPECT_EQ(outcome.Messages[i].Fate, TMessageFate::Stored);
        EXPECT_EQ(outcome.Messages[i].Files,
                  std::vector<std::string>{ProgramInfo.InboxPath + ids[i] + ".TXT"});
    }
    EXPECT_EQ(outcome.Received, 5);
    EXPECT_TRUE(
        Logged("Receive: The attachment E5.TXT was stored before the run was cut short; "
               "it stays as " +
               ProgramInfo.InboxPath + "E5.TXT"));
    EXPECT_TRUE(Logged("Recv: Delete the message of the kept copy in mailbox, Message Id = A1"));
    EXPECT_TRUE(
        Logged("Recv: The delete of the kept message C3 was not confirmed; it is stored once and "
               "not fetched in this run. Reason: (-201) Mail retrieve error."));
    EXPECT_TRUE(
        Logged("Recv: Message Id = C3 was stored from its kept copy; it is not fetched again."));
    EXPECT_TRUE(Logged("Recv: 2 mails in mailbox."));
}

TEST_F(RecvKept, FoldersNotMadeByTheWorkerAreLeftAlone) {
    const std::string body = Mail("X.TXT", "x");
    Kept("~qbXYZ1", body, "A1", 1000);  // not a name the worker gives
    Kept("~qb0006", body, "B2", 1000);
    WriteFile(ProgramInfo.InboxPath + "~qb0006/notes.txt", "someone else's");
    WriteFile(ProgramInfo.InboxPath + "~qb0007", "a file");
    ForceDirectories(ProgramInfo.InboxPath + "~qb0008/MsgBody.txt");
    TRecvTestServer server;
    UseServer(server);
    Receive();
    EXPECT_EQ(Names(ProgramInfo.InboxPath),
              (std::vector<std::string>{"~qb0006", "~qb0007", "~qb0008", "~qbXYZ1"}));
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "~qbXYZ1/MsgBody.txt"), body);
    EXPECT_EQ(Names(ProgramInfo.InboxPath + "~qb0006"),
              (std::vector<std::string>{"Deleting.txt", "MsgBody.txt", "notes.txt"}));
    EXPECT_EQ(Log().back(), "Receive: 0 message(s) was/were received.");

    // DebugMode keeps what it fetched for a look, even when the message is still in the
    // mailbox.
    DebugMode = true;
    Kept("~qb0009", body, "C3");
    Receive();
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "~qb0009/MsgBody.txt"), body);
}

// A delete whose answer never came: the next fetch tells whether the copy on disk is still
// needed.
TEST_F(RecvKept, DeleteWithoutAnAnswerLosesNothingAndStoresNothingTwice) {
    TWebMailStandin standin({{"company@x.y", "LOGIN1", kPassword}});
    ConnectionInfo.WebMailCounter = standin.UrlFormat("count");
    ConnectionInfo.WebMailRetriever = standin.UrlFormat("retrieve");
    ConnectionInfo.WebMailDelete = standin.UrlFormat("delete");
    for (const char* id : {"A1", "B2", "C3"})
        standin.Post("mailbox/add", "{\"address\": \"company@x.y\", \"id\": \"" + std::string(id) +
                                        "\", \"subject\": \"Orders\", \"attachments\": "
                                        "[{\"name\": \"" +
                                        id + ".TXT\", \"data\": \"bytes of " + id + "\"}]}");
    // A1 and C3 are deleted without an answer; B2's delete is lost on the way; C3 cannot be
    // fetched again.
    standin.Post("faults",
                 "[{\"kind\": \"drop\", \"target\": \"delete\", \"msgid\": \"A1\", "
                 "\"apply\": true},"
                 " {\"kind\": \"drop\", \"target\": \"delete\", \"msgid\": \"B2\"},"
                 " {\"kind\": \"drop\", \"target\": \"delete\", \"msgid\": \"C3\", "
                 "\"apply\": true},"
                 " {\"kind\": \"drop\", \"target\": \"retrieve\", \"msgid\": \"C3\", "
                 "\"skip\": 1, \"count\": 3}]");
    Receive();

    EXPECT_EQ(Names(ProgramInfo.InboxPath),
              (std::vector<std::string>{"A1.TXT", "B2.TXT", "C3.TXT"}));
    for (const char* id : {"A1", "B2", "C3"})
        EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + id + ".TXT"), "bytes of " + std::string(id));
    EXPECT_EQ(CountLogged("Recv: Get Message Content failed. Reason: (-103) Invalid message id."),
              1);
    EXPECT_EQ(CountLogged("The received message is a non-encrypted mail."), 3);
    EXPECT_EQ(Log().back(), "Receive: 3 message(s) was/were received. ( 3 Email )");
    EXPECT_EQ(JsonNumber(standin.Get("status"), "company@x.y"), 0);
}

namespace {

constexpr int kMessages = 200;
const char* const kAddress = "crash@recv.example";

std::string Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

long Waiting(const TWebMailStandin& standin) { return JsonNumber(standin.Get("status"), kAddress); }

// The child's whole life: receive runs until a run leaves the mailbox empty.
[[noreturn]] void ReceiveUntilEmpty(const std::string& programDir, const TWebMailStandin& standin) {
    LoadSettings(programDir, "CRASHPC");
    for (int run = 0; run < 50; ++run) {
        {
            bool ended = false;
            auto worker = StartReceive(nullptr, [&](TWorkerThread&) { ended = true; });
            while (!ended) PumpMessages(5);
        }  // joined before the child may end
        if (Waiting(standin) <= 0) ::_exit(0);
    }
    ::_exit(1);
}

}  // namespace

TEST(RecvCrash, KilledAtRandomMomentsNoMessageIsLostOrCut) {
    TTempDir dir;
    std::mt19937 random(20261211);
    std::map<std::string, std::string> attachments;
    std::string seed = "{\"" + std::string(kAddress) + "\": [";
    for (int i = 0; i < kMessages; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "R%03d.TXT", i);
        std::string bytes(1000 + random() % 3000, ' ');
        for (char& c : bytes) c = static_cast<char>('A' + random() % 26);
        attachments[name] = bytes;
        seed += std::string(i ? "," : "") + "{\"from\": \"s@x.y\", \"subject\": \"Orders " + name +
                "\", \"text\": \"x\", \"attachments\": [{\"name\": \"" + name + "\", \"data\": \"" +
                bytes + "\"}]}";
    }
    WriteFile(dir.Path() + "seed.json", seed + "]}");
    TWebMailStandin standin({{kAddress, "RC1", "crash-pw"}}, {"--seed", dir.Path() + "seed.json"});
    ASSERT_EQ(Waiting(standin), kMessages);

    const std::string programDir = dir.Path() + "DVR/";
    ForceDirectories(programDir);
    WriteFile(programDir + "USER.INI",
              "[SYSTEM]\nLOG_LEVEL=1\n[IDENTIFICATION]\nEMAIL_ADDR=" + std::string(kAddress) +
                  "\nLOGIN_ID=RC1\nPASSWORD=" + EncodeStoredPassword("crash-pw") +
                  "\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\n");
    WriteFile(programDir + "DVR.INI",
              "[SYSTEM]\nVERSION=1\n[CONNECTION]\nWEBMAILCOUNTER=" + standin.UrlFormat("count") +
                  "\nWEBMAILRETRIEVER=" + standin.UrlFormat("retrieve") +
                  "\nWEBMAILDELETE=" + standin.UrlFormat("delete") + "\n");

    // Each child is killed once it has stored a few more attachments, at a random moment
    // within the time one message took: so the kills fall anywhere in a message's handling,
    // however fast the build runs.
    int kills = 0;
    bool finished = false;
    const int64_t limit = RealMs() + 50000;
    std::size_t stored = 0;
    int64_t pace = 20;
    for (int run = 0; run < 100 && !finished; ++run) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) ReceiveUntilEmpty(programDir, standin);
        int status = 0;
        const bool last = run >= 40;  // then let it finish undisturbed
        const std::size_t target = stored + 1 + random() % 4;
        int64_t lastStore = RealMs(), killAt = -1;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (RealMs() >= limit) ::kill(child, SIGKILL);
            const std::size_t now = FolderNames(dir.Path() + "INBOX").size();
            if (now > stored) {
                pace = std::max<int64_t>(1, (RealMs() - lastStore) / (now - stored));
                lastStore = RealMs();
                stored = now;
            }
            if (!last && killAt < 0 && stored >= target)
                killAt = RealMs() + static_cast<int64_t>(random() % pace);
            if (killAt >= 0 && RealMs() >= killAt) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                ++kills;
                break;
            }
            ::usleep(500);
        }
        ASSERT_LT(RealMs(), limit) << "the receive runs did not end";
        finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    ASSERT_TRUE(finished);
    EXPECT_GE(kills, 10);
    EXPECT_EQ(Waiting(standin), 0);

    // The raw messages parked in the Error folder, by the attachment they carry.
    std::string errors;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "ERROR", error))
        errors += Bytes(entry.path());
    for (const auto& [name, bytes] : attachments) {
        const std::string stored = dir.Path() + "INBOX/" + name;
        if (FileExists(stored)) {
            EXPECT_EQ(Bytes(stored), bytes) << name;
        } else {
            EXPECT_NE(errors.find("filename=\"" + name + "\""), std::string::npos)
                << name << " was lost";
        }
    }
    // The kills did hit the moments between a delete and the store.
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "LOG", error))
        log += Bytes(entry.path());
    int recovered = 0;
    for (auto at = log.find("Recv: Processing a message kept from an earlier run: ");
         at != std::string::npos; at = log.find("Recv: Processing a message kept", at + 1))
        ++recovered;
    EXPECT_GE(recovered, 1);
    std::printf("%d kills, %d messages stored from kept copies\n", kills, recovered);

    // The atomic writer's temporary files aside, only attachments are left in the Inbox.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "INBOX", error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".dvr-")) {
            EXPECT_TRUE(attachments.count(name)) << name;
        }
    }
}
