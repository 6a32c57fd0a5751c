// The status file: what it says, how it reads back, the verdict a monitor acts on, and the
// cycle outcomes taken from what the workers log.

#include "gateway/gateway_status.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "common/base/atomic_file.h"
#include "common/base/datetime.h"
#include "common/test_support.h"
#include "gateway/cycle_outcome.h"

namespace {

const TDateTime kNoon = EncodeDate(2026, 12, 9) + EncodeTime(12, 0, 0, 0);
const TDateTime kMinute = 1.0 / 24 / 60;

TGatewayStatus Healthy() {
    TGatewayStatus status;
    status.Updated = kNoon;
    status.Running = true;
    status.Pid = 4711;
    status.LastSend = {kNoon - kMinute, false, 3, 0, ""};
    status.LastReceive = {kNoon - 2 * kMinute, false, 2, 0, ""};
    status.OutboxWaiting = 1;
    status.NextConnection = kNoon + 15 * kMinute;
    status.Line = "leased line";
    status.CertificateCheck = "none";  // shown, but asks for no attention
    return status;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(GatewayStatus, ReadsBackWhatItWrites) {
    TGatewayStatus status = Healthy();
    status.LastSend = {kNoon, true, 1, 2, "Move file: /o/A\"1\\.TXT to /e/\r\n\xe4\x01"};
    status.LastReceive = TCycleOutcome{};  // none yet
    status.NextConnection = 0;
    status.ErrorFiles = 2;
    status.KeptSent = {"A1.TXT.sent", "B\"2.sent"};
    status.CertificateCheck = "verified and pinned";
    const std::string json = StatusToJson(status);
    // Plain ASCII whatever the texts carry.
    for (unsigned char c : json) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << int(c);
    EXPECT_NE(json.find("\"result\": \"failed\""), std::string::npos);
    EXPECT_NE(json.find("\"next_connection\": null"), std::string::npos);

    TGatewayStatus read;
    std::string error;
    ASSERT_TRUE(StatusFromJson(json, read, error)) << error;
    EXPECT_EQ(read.Updated, status.Updated);
    EXPECT_TRUE(read.Running);
    EXPECT_EQ(read.Pid, 4711);
    EXPECT_EQ(read.LastSend.Time, kNoon);
    EXPECT_TRUE(read.LastSend.Failed);
    EXPECT_EQ(read.LastSend.Count, 1);
    EXPECT_EQ(read.LastSend.FailedCount, 2);
    EXPECT_EQ(read.LastSend.Detail, status.LastSend.Detail);
    EXPECT_EQ(read.LastReceive.Time, 0);
    EXPECT_FALSE(read.LastReceive.Failed);
    EXPECT_EQ(read.OutboxWaiting, 1);
    EXPECT_EQ(read.ErrorFiles, 2);
    EXPECT_EQ(read.KeptSent, status.KeptSent);
    EXPECT_EQ(read.NextConnection, 0);
    EXPECT_EQ(read.CertificateCheck, "verified and pinned");
    // A status written before the list was kept reads without it.
    ASSERT_TRUE(StatusFromJson(Replace(json, "\"kept_sent\"", "\"old_field\""), read, error));
    EXPECT_TRUE(read.KeptSent.empty());
    EXPECT_EQ(read.Line, "leased line");

    // A time before 1899-12-30 (a negative date) reads back as written.
    const std::string old =
        Replace(json, "\"next_connection\": null", "\"next_connection\": \"1013-12-09T23:43:14\"");
    ASSERT_TRUE(StatusFromJson(old, read, error)) << error;
    EXPECT_NE(StatusToJson(read).find("\"next_connection\": \"1013-12-09T23:43:14\""),
              std::string::npos);
}

TEST(GatewayStatus, RejectsWhatIsNotAStatus) {
    const std::string good = StatusToJson(Healthy());
    const std::vector<std::string> bad = {
        "",
        "[]",
        "{}",
        good.substr(0, good.size() / 2),
        good + "x",
        "{\"updated\": \"yesterday\", \"running\": true}",
        std::string(100, '{'),
        "{\"updated\": \"2026-13-40T25:00:00\"}",
        "{\"a\": \"\\u0100\"}",
        "{\"a\": \"unterminated}",
        // Numbers a count cannot hold must not reach a conversion.
        Replace(good, "\"pid\": 4711", "\"pid\": 1e300"),
        Replace(good, "\"pid\": 4711", "\"pid\": nan"),
        Replace(good, "\"pid\": 4711", "\"pid\": 4288888888842"),
        Replace(good, "\"error_files\": 0", "\"error_files\": -1"),
        Replace(good, "\"kept_sent\": []", "\"kept_sent\": \"A1.TXT.sent\""),
    };
    for (const auto& text : bad) {
        TGatewayStatus status;
        status.Pid = 99;
        std::string error;
        EXPECT_FALSE(StatusFromJson(text, status, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(status.Pid, 99) << "left untouched: " << text;
    }
}

TEST(GatewayStatus, VerdictNamesEachReasonForAttention) {
    EXPECT_TRUE(StatusProblems(Healthy(), kNoon + 5 * kMinute).empty());

    auto problems = StatusProblems(Healthy(), kNoon + (kStatusMaxAgeMinutes + 1) * kMinute);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("stale"), std::string::npos);

    TGatewayStatus stopped = Healthy();
    stopped.Running = false;
    problems = StatusProblems(stopped, kNoon + 60 * kMinute);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("not running"), std::string::npos);

    TGatewayStatus troubled = Healthy();
    troubled.ErrorFiles = 4;
    troubled.LastSend.Failed = true;
    troubled.LastSend.Detail = "Send: Remote connection not available";
    troubled.LastReceive.Failed = true;
    problems = StatusProblems(troubled, kNoon);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], "4 file(s) in the Error folder");
    EXPECT_NE(problems[1].find("send failed"), std::string::npos);
    EXPECT_NE(problems[1].find("Remote connection not available"), std::string::npos);
    EXPECT_NE(problems[2].find("receive failed"), std::string::npos);

    TGatewayStatus waiting = Healthy();
    waiting.KeptSent = {"A1.TXT.sent"};
    EXPECT_EQ(StatusProblems(waiting, kNoon),
              std::vector<std::string>{
                  "A1.TXT.sent in the Outbox was sent, but the Sentbox could not take it"});
}

TEST(GatewayStatus, WrittenWholeIntoTheLogFolderEvenBeforeItExistsForItsOwnerToChange) {
    TTempDir dir;
    const std::string logPath = dir.Path() + "LOG/";
    const mode_t saved = ::umask(0007);  // the system service's
    WriteStatusFile(logPath, Healthy());
    struct stat st {};
    const auto mode = [&] {
        return ::stat((logPath + kStatusFileName).c_str(), &st) ? 0 : st.st_mode & 0777;
    };
    EXPECT_EQ(mode(), 0640u);
    TGatewayStatus read;
    std::string error;
    EXPECT_TRUE(StatusFromJson(ReadFile(logPath + kStatusFileName), read, error)) << error;

    // A failing write keeps the previous status whole and says so.
    SetAtomicWriteFault([](TAtomicStep step) { return step == TAtomicStep::Write ? ENOSPC : 0; });
    TGatewayStatus later = Healthy();
    later.ErrorFiles = 7;
    EXPECT_THROW(WriteStatusFile(logPath, later), std::exception);
    SetAtomicWriteFault({});
    ASSERT_TRUE(StatusFromJson(ReadFile(logPath + kStatusFileName), read, error)) << error;
    EXPECT_EQ(read.ErrorFiles, 0);
    ::chmod((logPath + kStatusFileName).c_str(), 0666);  // left open before: not kept
    ::umask(0077);
    WriteStatusFile(logPath, Healthy());
    ::umask(saved);
    EXPECT_EQ(mode(), 0600u);
}

TEST(CycleOutcome, CountsWhatTheWorkersHandBack) {
    // A send where one upload needed a retry and one file was given up.
    TSendOutcome sent;
    sent.Files = {{"A1.TXT", TFileFate::SentAndFiled, "", "/s/A1.TXT"},
                  {"A2.TXT", TFileFate::MovedToError, "Receiver E-mail or WebMailSender not found",
                   "/e/A2.TXT"}};
    sent.Failure = FileOutcomeText(sent.Files[1]);
    TCycleOutcome send = SendCycleOutcome(sent, kNoon);
    EXPECT_EQ(send.Time, kNoon);
    EXPECT_TRUE(send.Failed);
    EXPECT_EQ(send.Count, 1);
    EXPECT_EQ(send.FailedCount, 1);
    EXPECT_EQ(send.Detail, "Move file: A2.TXT to /e/");

    // The next cycle starts afresh; a retried upload alone is no failure.
    TSendOutcome twelve;
    for (int i = 0; i < 12; ++i) twelve.Files.push_back({"A.TXT", TFileFate::SentAndFiled, "", ""});
    send = SendCycleOutcome(twelve, kNoon + kMinute);
    EXPECT_FALSE(send.Failed);
    EXPECT_EQ(send.Count, 12);
    EXPECT_EQ(send.FailedCount, 0);
    // A sent file the Sentbox could not take, or an error that ended the run, fails it.
    twelve.Files[3].Fate = TFileFate::SentKeptAsSent;
    EXPECT_TRUE(SendCycleOutcome(twelve, kNoon).Failed);
    TSendOutcome ended;
    ended.FatalError = "disk gone";
    EXPECT_EQ(SendCycleOutcome(ended, kNoon).Detail,
              "Send: Error on sending message(s). disk gone");

    TReceiveOutcome stored;
    stored.Received = 2;
    stored.Messages = {{"1", TMessageFate::Stored, {"A.TXT"}, "", ""},
                       {"2", TMessageFate::KeptInError, {}, "/e/R.eml", "not stored"},
                       {"3", TMessageFate::Stored, {"B.TXT"}, "", ""}};
    TCycleOutcome receive = ReceiveCycleOutcome(stored, kNoon);
    EXPECT_TRUE(receive.Failed);
    EXPECT_EQ(receive.Count, 2);
    EXPECT_EQ(receive.FailedCount, 1);

    TReceiveOutcome broken;
    broken.Failure = "Recv: Error occurred when receiving mails for a@b. Reason: timeout";
    receive = ReceiveCycleOutcome(broken, kNoon);
    EXPECT_TRUE(receive.Failed);
    EXPECT_EQ(receive.Detail, "Recv: Error occurred when receiving mails for a@b. Reason: timeout");

    EXPECT_EQ(CycleNotStarted("Recv: No connection to the internet", kNoon).Detail,
              "Recv: No connection to the internet");
    EXPECT_FALSE(ReceiveCycleOutcome(TReceiveOutcome{}, kNoon).Failed);
}

}  // namespace
