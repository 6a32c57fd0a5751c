// The transfer history's database: searches, writers at once, a kill mid-write, a damaged
// file, and the purge by age.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "history/history_recorder.h"
#include "support/temp_dir.h"

namespace {

THistoryRow Row(const std::string& name, TDateTime time, THistoryDirection direction,
                THistoryOutcome outcome, const std::string& partner = "orders@partner.example",
                const std::string& sha = "") {
    THistoryRow row;
    row.Time = time;
    row.Direction = direction;
    row.Name = row.FinalName = name;
    row.Folder = "/data/SENTBOX/";
    row.Partner = partner;
    row.Size = 10;
    row.Sha256 = sha;
    row.Outcome = outcome;
    row.Subject = direction == THistoryDirection::Receive ? "Invoice " + name : "";
    return row;
}

std::string Names(const std::vector<THistoryRow>& rows) {
    std::string names;
    for (const THistoryRow& row : rows) names += (names.empty() ? "" : " ") + row.Name;
    return names;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(HistoryStore, FindsWhatEachFilterAsksForNewestFirst) {
    TTempDir dir;
    THistoryStore store(dir.Path() + kHistoryFileName);
    const TDateTime day = EncodeDate(2024, 3, 1);
    const auto send = THistoryDirection::Send;
    const auto receive = THistoryDirection::Receive;
    store.Add({Row("A100.TXT", day + 0.1, send, THistoryOutcome::Sent, "a@x.example", "aa"),
               Row("A101.TXT", day + 1.1, send, THistoryOutcome::ToError),
               Row("B_1%.TXT", day + 2.1, send, THistoryOutcome::PossiblyDelivered, "b@y.example"),
               Row("INV7.XML", day + 3.1, receive, THistoryOutcome::Stored, "Billing <b@y.example>",
                   "bb"),
               Row("INV8.XML", day + 4.1, receive, THistoryOutcome::LeftInMailbox)});
    struct TCase {
        const char* What;
        THistoryFilter Filter;
        const char* Names;
    };
    THistoryFilter since, until, name, wildcard, literal, partner, direction, failed, text, sha;
    since.Since = day + 2;
    until.Until = day + 1.1;  // before, not at
    name.Name = "a10?.txt";
    wildcard.Name = "*.XML";
    literal.Name = "B_1%*";  // "_" and "%" are no wildcards here
    partner.Partner = "Y.EXAMPLE";
    direction.Direction = receive;
    failed.FailedOnly = true;
    text.Text = "invoice inv7";
    sha.Sha256 = "bb";
    const TCase cases[] = {
        {"everything", THistoryFilter{}, "INV8.XML INV7.XML B_1%.TXT A101.TXT A100.TXT"},
        {"since", since, "INV8.XML INV7.XML B_1%.TXT"},
        {"until", until, "A100.TXT"},
        {"name with ?", name, "A101.TXT A100.TXT"},
        {"name with *", wildcard, "INV8.XML INV7.XML"},
        {"name with % and _", literal, "B_1%.TXT"},
        {"partner", partner, "INV7.XML B_1%.TXT"},
        {"direction", direction, "INV8.XML INV7.XML"},
        {"failed", failed, "INV8.XML B_1%.TXT A101.TXT"},
        {"search text", text, "INV7.XML"},
        {"checksum", sha, "INV7.XML"},
    };
    for (const TCase& c : cases) EXPECT_EQ(Names(store.Find(c.Filter)), c.Names) << c.What;
    THistoryFilter newest;
    newest.Limit = 2;
    EXPECT_EQ(Names(store.Find(newest)), "INV8.XML INV7.XML");
    const THistoryRow stored = store.Find(sha).at(0);
    EXPECT_EQ(stored.Subject, "Invoice INV7.XML");
    EXPECT_EQ(stored.Outcome, THistoryOutcome::Stored);
    EXPECT_EQ(stored.Size, 10);
}

// The end of a send and the end of a receive may reach the history from two programs at
// once (the gateway and a search, or two connections): neither is lost to a busy database.
TEST(HistoryStore, TwoWritersAtOnceAreBothRecorded) {
    TTempDir dir;
    const std::string path = dir.Path() + kHistoryFileName;
    THistoryStore(path).Add({});
    constexpr int kBatches = 40;
    std::vector<std::string> logged;
    auto writer = [&path](THistoryDirection direction, bool* ok) {
        THistoryRecorder recorder(path, nullptr);
        for (int i = 0; i < kBatches; ++i)
            *ok = recorder.Record(
                      {Row(std::to_string(i), 45000 + i, direction, THistoryOutcome::Sent),
                       Row(std::to_string(i), 45000 + i, direction, THistoryOutcome::Stored)}) &&
                  *ok;
    };
    bool sendOk = true, receiveOk = true;
    std::thread send(writer, THistoryDirection::Send, &sendOk);
    std::thread receive(writer, THistoryDirection::Receive, &receiveOk);
    send.join();
    receive.join();
    EXPECT_TRUE(sendOk);
    EXPECT_TRUE(receiveOk);
    THistoryFilter sent, received;
    sent.Direction = THistoryDirection::Send;
    received.Direction = THistoryDirection::Receive;
    THistoryStore store(path, THistoryStore::TOpen::Existing);
    EXPECT_EQ(store.Find(sent).size(), 2u * kBatches);
    EXPECT_EQ(store.Find(received).size(), 2u * kBatches);
}

TEST(HistoryStore, AKillWhileRowsAreWrittenLeavesTheDatabaseReadable) {
    TTempDir dir;
    const std::string path = dir.Path() + kHistoryFileName;
    THistoryStore(path).Add(
        {Row("FIRST.TXT", 45000, THistoryDirection::Send, THistoryOutcome::Sent)});
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes batches until killed; a batch is large enough to be cut in its middle.
        THistoryStore store(path);
        std::vector<THistoryRow> batch(
            200, Row("BATCH.TXT", 45001, THistoryDirection::Send, THistoryOutcome::Sent));
        for (int i = 0; i < 100000; ++i) store.Add(batch);
        _exit(0);
    }
    // Wait until the child has committed something, then kill it mid-stream.
    struct stat st {};
    for (int i = 0; i < 2000 && !(stat((path + "-wal").c_str(), &st) == 0 && st.st_size > 200000);
         ++i)
        usleep(5000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    THistoryStore store(path);
    const std::vector<THistoryRow> rows = store.Find({});
    ASSERT_GE(rows.size(), 201u);
    EXPECT_EQ((rows.size() - 1) % 200, 0u) << "a batch is there whole or not at all";
    EXPECT_EQ(rows.back().Name, "FIRST.TXT");
    store.Add({Row("AFTER.TXT", 45002, THistoryDirection::Send, THistoryOutcome::Sent)});
    EXPECT_EQ(store.Find({}).at(0).Name, "AFTER.TXT");
}

TEST(HistoryRecorder, SetsADamagedDatabaseAsideAndStartsANewOne) {
    TTempDir dir;
    const std::string path = dir.Path() + kHistoryFileName;
    const std::string garbage(8192, 'x');
    std::ofstream(path, std::ios::binary) << garbage;
    std::vector<std::string> log;
    THistoryRecorder recorder(path, [&log](const std::string& line) { log.push_back(line); });
    EXPECT_TRUE(
        recorder.Record({Row("A1.TXT", 45000, THistoryDirection::Send, THistoryOutcome::Sent)}));
    EXPECT_TRUE(recorder.Problem().empty());
    ASSERT_EQ(log.size(), 1u);
    const std::string aside = log[0].substr(log[0].find(path + ".damaged-"));
    EXPECT_EQ(ReadAll(aside.substr(0, aside.find(' '))), garbage) << log[0];
    EXPECT_EQ(Names(THistoryStore(path).Find({})), "A1.TXT");
}

TEST(HistoryRecorder, AHistoryThatCannotBeWrittenIsLoggedOnceAndToldUntilItWorksAgain) {
    TTempDir dir;
    const std::string folder = dir.Path() + "LOG/";
    std::ofstream(dir.Path() + "LOG") << "a file where the log folder should be";
    std::vector<std::string> log;
    THistoryRecorder recorder(folder + kHistoryFileName,
                              [&log](const std::string& line) { log.push_back(line); });
    const auto row = Row("A1.TXT", 45000, THistoryDirection::Send, THistoryOutcome::Sent);
    EXPECT_FALSE(recorder.Record({row}));
    EXPECT_FALSE(recorder.Record({row}));
    EXPECT_EQ(log.size(), 1u);
    EXPECT_FALSE(recorder.Problem().empty());
    std::remove((dir.Path() + "LOG").c_str());
    EXPECT_TRUE(recorder.Record({row}));
    EXPECT_TRUE(recorder.Problem().empty());
    EXPECT_EQ(log.size(), 1u);
}

TEST(HistoryRecorder, PurgesRowsOlderThanTheCutOffOnly) {
    TTempDir dir;
    THistoryRecorder recorder(dir.Path() + kHistoryFileName, nullptr);
    const TDateTime today = EncodeDate(2024, 6, 1);
    recorder.Record(
        {Row("OLD.TXT", today - 401, THistoryDirection::Send, THistoryOutcome::Sent),
         Row("EDGE.TXT", today - 400, THistoryDirection::Send, THistoryOutcome::Sent),
         Row("NEW.TXT", today - 1, THistoryDirection::Receive, THistoryOutcome::Stored)});
    EXPECT_EQ(recorder.Purge(today - 400), 1);
    EXPECT_EQ(Names(THistoryStore(dir.Path() + kHistoryFileName).Find({})), "NEW.TXT EDGE.TXT");
}
