// Send cycles of the real worker against the stand-in web-mail service over TLS: routing,
// the bytes on the wire, the service's answers, and where each file ends up.

#include "transfer/send_thread.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/base/message_pump.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"
#include "support/pump_until.h"
#include "webmail_standin.h"
#include "worker_start.h"

namespace {

class TStatusView : public IMainView {
  public:
    void SetText(TMainText text, const std::string& value) override {
        if (text == TMainText::SendFile) statuses.push_back(value);
    }
    void SetProgress(TMainTransfer, bool, int) override {}
    void SetAnimation(TMainTransfer, bool playing) override { animated = animated || playing; }
    void SetActionState(TMainAction, bool, bool) override {}
    void OpenFolder(const std::string&) override {}
    void ShowAbout() override {}
    void RequestClose() override {}
    std::vector<std::string> statuses;
    bool animated = false;
};

class SendCycle : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        standin_ = new TWebMailStandin({{"company@send.example", "C1", "canary-Pw-7e1"}});
    }
    static void TearDownTestSuite() {
        delete standin_;
        standin_ = nullptr;
    }

    void SetUp() override {
        SetClock(&clock_);
        standin_->Post("reset", "{}");
        programDir_ = dir_.Path() + "DVR/";
        ForceDirectories(programDir_);
        WriteFile(programDir_ + "USER.INI",
                  "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\nDEBUGMODE=0\n"
                  "[IDENTIFICATION]\nEMAIL_ADDR=company@send.example\nLOGIN_ID=C1\n"
                  "[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\n[iFile]\nTXT=1\n");
        WriteFile(programDir_ + "DVR.INI",
                  "[SYSTEM]\nVERSION=2.4.1\n[IDX]\nA=ORDERS\nB=BROKEN\n"
                  "[ORDERS]\nEMAIL=orders@partner.example\n"
                  "WebMailSender=" +
                      standin_->UrlFormat("send") + "\n[BROKEN]\nEMAIL=broken@partner.example\n");
        LoadSettings(programDir_, "TESTPC");
    }

    void TearDown() override {
        if (HasFailure()) {  // the run's own account of what happened
            const auto log = Log();
            for (std::size_t i = log.size() > 60 ? log.size() - 60 : 0; i < log.size(); ++i)
                std::fprintf(stderr, "  log: %s\n", log[i].c_str());
        }
        ReleaseSettings();
        SetClock(nullptr);
    }

    // Lays files in the Outbox, scans it and runs one send cycle on a real worker thread.
    void Send(const std::map<std::string, std::string>& files) {
        for (const auto& [name, bytes] : files) WriteFile(ProgramInfo.OutboxPath + name, bytes);
        bool ended = false;
        auto worker = StartSend(&view_, [&](TWorkerThread& thread) {
            ended = true;
            result_ = static_cast<TSendThread&>(thread).ReturnValue();
            outcome_ = static_cast<TSendThread&>(thread).Outcome();
        });
        ASSERT_TRUE(PumpUntil([&] { return ended; }, 120000));
    }

    std::vector<std::string> Log() {
        std::vector<std::string> all;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path() + "LOG/"))
            for (auto& line : LogMessages(entry.path().string())) all.push_back(line);
        return all;
    }
    bool Logged(const std::string& line) {
        const auto log = Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    long Uploads() { return JsonNumber(standin_->Get("status"), "uploads"); }

    static TWebMailStandin* standin_;
    TTempDir dir_;
    TManualClock clock_{EncodeDate(2026, 12, 9) + EncodeTime(10, 0, 0, 0)};
    TStatusView view_;
    std::string programDir_;
    int result_ = 99;
    TSendOutcome outcome_;
};

TWebMailStandin* SendCycle::standin_ = nullptr;

TEST_F(SendCycle, RoutesByTheFirstCharacterAndPostsTheMessageFileByteForByte) {
    Send({{"A100.TXT", "first line\nsecond line\r\n\r\nlast\rline \xb1\xa4 end"},
          {"Q7.TXT", "no service for Q"},
          {"B1.TXT", "service without a sender URL"}});
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(FolderNames(ProgramInfo.SentboxPath), std::vector<std::string>{"A100.TXT"});
    EXPECT_EQ(FolderNames(ProgramInfo.ErrorPath), (std::vector<std::string>{"B1.TXT", "Q7.TXT"}));
    EXPECT_TRUE(FolderNames(ProgramInfo.OutboxPath).empty());  // no mail file, no work folder left
    EXPECT_EQ(ReadFile(ProgramInfo.SentboxPath + "A100.TXT"),
              "first line\nsecond line\r\n\r\nlast\rline \xb1\xa4 end");
    EXPECT_EQ(Uploads(), 1);  // nothing was posted for the files without a service

    const std::string body = standin_->Get("last-upload?part=body");
    const std::string boundary = body.substr(2, body.find("\r\n") - 2);
    // The message file lies in the upload's own work folder, gone with it.
    const std::size_t named = body.find("filename=\"") + 10;
    const std::string messageFile = body.substr(named, body.find('"', named) - named);
    EXPECT_EQ(messageFile.rfind(ProgramInfo.OutboxPath + "~", 0), 0u) << messageFile;
    EXPECT_EQ(ExtractFileName(messageFile), "A100.msg");
    EXPECT_EQ(boundary.rfind("=_DVR+_2.4.1_", 0), 0u) << boundary;
    const std::string letters = boundary.substr(13, 15);
    EXPECT_EQ(letters.find_first_not_of("abcdefghijklmnopqrstuvwxy"), std::string::npos);
    EXPECT_EQ(boundary.substr(28), "_" + std::string("46365.4166666667"));
    const std::string b = "--" + boundary + "\r\n";
    EXPECT_EQ(body, b +
                        "Content-Disposition: form-data; name=\"from\"\r\n\r\n"
                        "company@send.example\r\n" +
                        b +
                        "Content-Disposition: form-data; name=\"to\"\r\n\r\n"
                        "orders@partner.example\r\n" +
                        b + "Content-Disposition: form-data; name=\"attfile\"; filename=\"" +
                        messageFile +
                        "\"\r\n"
                        "Content-Type: text/plain\r\n\r\n"
                        "From: company@send.example\r\nSubject: ORDERS message\r\n"
                        "Reply-To: company@send.example\r\nTo: orders@partner.example\r\n"
                        "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=big5\r\n"
                        "Content-Transfer-Encoding: 8bit\r\n\r\n"
                        "first line\r\nsecond line\r\n\r\nlast\r\nline \xb1\xa4 end\r\n"
                        "\r\n--" +
                        boundary + "--\r\n");

    EXPECT_TRUE(Logged("Send thread execute"));
    EXPECT_TRUE(Logged("Service: ORDERS"));
    EXPECT_TRUE(Logged("Send: Unable to send " + ProgramInfo.OutboxPath +
                       "Q7.TXT.  Sender: company@send.example. Receiver E-mail or WebMailSender "
                       "not found"));
    EXPECT_TRUE(Logged("Move file: Q7.TXT to " + ProgramInfo.ErrorPath));
    EXPECT_TRUE(Logged("Send: Post message Completed successfully"));
    EXPECT_TRUE(Logged("Send: " + messageFile +
                       " successfully sent. Sender: company@send.example, Receiver: "
                       "orders@partner.example, WebMailSender: " +
                       standin_->UrlFormat("send")));
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Send: 1 file(s) successfully sent");
    EXPECT_EQ(log.back(), "Send: Terminating Send thread, return value = 0");
    EXPECT_TRUE(view_.animated);
    EXPECT_GT(outcome_.SentCount(), 0);  // the controller marks the line as used
}

TEST_F(SendCycle, LineBreaksThatStraddleTheReadPiecesAreTakenAsOne) {
    // The file is read and written in pieces of 64 KB: a CR LF split between two pieces is
    // one line break, a CR that ends a piece before another byte is one of its own.
    const std::string a(65535, 'a'), b(65534, 'b');
    Send({{"A300.TXT", a + "\r\n" + b + "\rc\n\n"}});
    EXPECT_EQ(result_, 0);
    const std::string body = standin_->Get("last-upload?part=body");
    const std::string text = "8bit\r\n\r\n" + a + "\r\n" + b + "\r\nc\r\n\r\n\r\n--";
    EXPECT_NE(body.find(text), std::string::npos);
    EXPECT_EQ(ReadFile(ProgramInfo.SentboxPath + "A300.TXT"), a + "\r\n" + b + "\rc\n\n");
}

TEST_F(SendCycle, EveryAnswerThatIsNoZeroFailsThreeTimesAndEndsInTheErrorFolder) {
    struct TCase {
        std::string fault;  // armed for three requests
        std::string line;   // logged for each attempt
    };
    const std::vector<TCase> cases = {
        {R"("kind":"code","code":-101)",
         "Send: Post message failed. Reason: (-101) Not authorized for using this service."},
        {R"("kind":"code","code":-102)",
         "Send: Post message failed. Reason: (-102) Required field missed."},
        {R"("kind":"code","code":-103)",
         "Send: Post message failed. Reason: (-103) Invalid email address format."},
        {R"("kind":"code","code":-201)",
         "Send: Post message failed. Reason: (-201) Mail delivery error."},
        {R"("kind":"code","code":-203)",
         "Send: Post message failed. Reason: (-203) Host machine not found."},
        {R"("kind":"code","code":-204)",
         "Send: Post message failed. Reason: (-204) Mail delivery error - Out of service hour."},
        {R"("kind":"code","code":-999)",
         "Send: Post message failed. Reason: (-999) Unknown error encountered when processing."},
        {R"("kind":"body","body":"-202")",
         "Send: Post message failed. Reason: Unknown return "
         "code: -202"},
        {R"("kind":"body","body":"200")",
         "Send: Post message failed. Reason: Unknown return code: 200"},
        {R"("kind":"body","body":"OK")",
         "Send: Post message failed. Reason: Unknown return code: OK"},
        {R"("kind":"body","body":"")", "Send: Post message failed. Reason: Unknown return code: "},
        {R"("kind":"body","body":"123456")", "Send: Post message failed. Response: 123456"},
        {R"("kind":"status","status":500)", "Send: Response status from Server error!"},
        // Closed or reset before the request went out: it is repeated.
        {R"("kind":"drop","when":"accept")", "Send: Error sending message: "},
        {R"("kind":"reset","when":"accept")", "Send: Error sending message: "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.fault);
        standin_->Post("faults/clear", "{}");
        standin_->Post("faults", "{" + c.fault + R"(,"target":"send","count":3})");
        const long before = Uploads();
        const std::size_t logged = Log().size();
        view_.statuses.clear();
        Send({{"A1.TXT", "x"}});
        EXPECT_EQ(result_, -1);
        EXPECT_TRUE(FolderNames(ProgramInfo.OutboxPath).empty());
        EXPECT_EQ(FolderNames(ProgramInfo.ErrorPath), std::vector<std::string>{"A1.TXT"});
        std::filesystem::remove(ProgramInfo.ErrorPath + "A1.TXT");
        auto log = Log();
        log.erase(log.begin(), log.begin() + static_cast<long>(logged));
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [&](const std::string& line) {
                                    return line.rfind(c.line, 0) == 0 ||
                                           (c.line.find("status") != std::string::npos &&
                                            line.rfind("Send: Error sending message: ", 0) == 0);
                                }),
                  3);
        EXPECT_EQ(view_.statuses,
                  (std::vector<std::string>{"Sending 1st file: A1.TXT",
                                            "Sending 1st file: A1.TXT - Retry(1)",
                                            "Sending 1st file: A1.TXT - Retry(2)"}));
        EXPECT_LE(Uploads() - before, 3);
    }
}

TEST_F(SendCycle, ASuccessStatusOtherThan200IsLoggedAndTheBodyDecides) {
    standin_->Post("faults", R"({"kind":"status","status":201,"reason":"Created","body":"0",)"
                             R"("target":"send"})");
    Send({{"A2.TXT", "y"}});
    EXPECT_EQ(FolderNames(ProgramInfo.SentboxPath), std::vector<std::string>{"A2.TXT"});
    EXPECT_TRUE(Logged("Send: Response status from Server error! Reason: HTTP/1.0 201 Created"));
}

TEST_F(SendCycle, NothingIsLostOrCutWhenAFileCannotTravelOrCannotBeFiled) {
    // A NUL byte would end the text: the file goes to the Error folder, nothing is posted.
    Send({{"A3.TXT", std::string("before\0after", 12)}});
    EXPECT_EQ(FolderNames(ProgramInfo.ErrorPath), std::vector<std::string>{"A3.TXT"});
    EXPECT_EQ(ReadFile(ProgramInfo.ErrorPath + "A3.TXT"), std::string("before\0after", 12));
    EXPECT_TRUE(Logged("Send: Unable to send " + ProgramInfo.OutboxPath +
                       "A3.TXT.  Sender: company@send.example. File holds a NUL byte and cannot "
                       "be sent as text"));
    EXPECT_EQ(Uploads(), 0);

    // The Sentbox cannot take the sent file: it stays, renamed so it is not sent again.
    std::filesystem::remove_all(ProgramInfo.SentboxPath);
    WriteFile(dir_.Path() + "SENTBOX", "a file where the folder should be");
    Send({{"A4.TXT", "sent once"}});
    EXPECT_EQ(FolderNames(ProgramInfo.OutboxPath), std::vector<std::string>{"A4.TXT.sent"});
    EXPECT_TRUE(Logged("Fail to copy file to Sentbox"));
    EXPECT_EQ(ScanOutbox(LoadedSettings()).Count(), 0u);

    // The Error folder cannot take a failed file: it stays in the Outbox.
    std::filesystem::remove(ProgramInfo.OutboxPath + "A4.TXT.sent");
    std::filesystem::remove_all(ProgramInfo.ErrorPath);
    WriteFile(dir_.Path() + "ERROR", "");
    Send({{"Q9.TXT", "no service"}});
    EXPECT_EQ(FolderNames(ProgramInfo.OutboxPath), std::vector<std::string>{"Q9.TXT"});
    EXPECT_TRUE(Logged("Fail to copy file: Q9.TXT to " + ProgramInfo.ErrorPath));
}

TEST_F(SendCycle, DebugModeKeepsTheWorkFoldersAndAnEmptyQueueRescansThreeTimes) {
    Send({});
    EXPECT_EQ(result_, 0);
    EXPECT_TRUE(Logged("Send: 0 file(s) successfully sent"));

    DebugMode = true;
    Send({{"A5.TXT", "z"}});
    DebugMode = false;
    const auto left = FolderNames(ProgramInfo.OutboxPath);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(FolderNames(ProgramInfo.OutboxPath + left[0]),
              (std::vector<std::string>{"HttpBody.txt", "RespHD.txt"}));
    EXPECT_EQ(ReadFile(ProgramInfo.OutboxPath + left[0] + "/RespHD.txt"), "0");
}

TEST_F(SendCycle, NoEntryOfTheUserIsFollowedOverwrittenOrReplaced) {
    namespace fs = std::filesystem;
    const std::string& out = ProgramInfo.OutboxPath;
    fs::create_symlink("../DVR/USER.INI", out + "A6.TXT");  // would mail the settings
    ASSERT_EQ(::mkfifo((out + "A7.TXT").c_str(), 0600), 0);
    WriteFile(ProgramInfo.ErrorPath + "Q5.TXT", "first");
    WriteFile(ProgramInfo.SentboxPath + "A5.TXT", "first");
    Send({{"Q5.TXT", "second"}, {"A5.TXT", "second"}, {"A5.msg", "foreign"}});
    EXPECT_EQ(Uploads(), 1);  // A5.TXT alone; .msg is no import extension here
    EXPECT_EQ(fs::read_symlink(ProgramInfo.ErrorPath + "A6.TXT"), "../DVR/USER.INI");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(ProgramInfo.ErrorPath + "A7.TXT")));
    EXPECT_EQ(outcome_.Files.at(1).Reason, "Not a regular file: a symbolic link");
    EXPECT_EQ(outcome_.Files.at(2).Reason, "Not a regular file: a FIFO");
    EXPECT_EQ(ReadFile(out + "A5.msg"), "foreign");
    for (const std::string& kept : {ProgramInfo.ErrorPath + "Q5", ProgramInfo.SentboxPath + "A5"}) {
        EXPECT_EQ(ReadFile(kept + ".TXT"), "first");
        EXPECT_EQ(ReadFile(kept + "_1.TXT"), "second");
    }
    EXPECT_TRUE(Logged("Move file: Q5.TXT to " + ProgramInfo.ErrorPath + " as Q5_1.TXT"));

    // The Sentbox cannot take it: a second ".sent" of the same name keeps the first one.
    fs::remove(out + "A5.msg");
    fs::remove_all(ProgramInfo.SentboxPath);
    WriteFile(dir_.Path() + "SENTBOX", "a file where the folder should be");
    WriteFile(out + "A4.TXT.sent", "sent before");
    Send({{"A4.TXT", "sent now"}});
    EXPECT_EQ(ReadFile(out + "A4.TXT.sent"), "sent before");
    EXPECT_EQ(ReadFile(out + "A4.TXT_1.sent"), "sent now");

    // Sent as itself, A3.msg is not its own work file: after failed uploads it is kept whole.
    ReleaseSettings();
    WriteFile(programDir_ + "USER.INI", ReadFile(programDir_ + "USER.INI") + "MSG=1\n");
    LoadSettings(programDir_, "TESTPC");
    standin_->Post("faults", R"({"kind":"code","code":-201,"target":"send","count":3})");
    Send({{"A3.msg", "mine"}});
    EXPECT_EQ(ReadFile(ProgramInfo.ErrorPath + "A3.msg"), "mine");
}

TEST_F(SendCycle, AFileReplacedOrWrittenToDuringItsUploadIsNotFiledAsSent) {
    const std::string& out = ProgramInfo.OutboxPath;
    WriteFile(out + "A5.TXT", "version 1");
    WriteFile(out + "A6.TXT", "first part");
    standin_->Post("faults", R"({"kind":"delay","seconds":1,"target":"send","count":2})");
    bool ended = false;
    auto worker = StartSend(&view_, [&](TWorkerThread& thread) {
        ended = true;
        outcome_ = static_cast<TSendThread&>(thread).Outcome();
    });
    // Each upload is held by the service while the producer changes the file.
    ASSERT_TRUE(PumpUntil([&] { return Uploads() >= 1; }, 20000));
    WriteFile(out + "new.tmp", "version 2");
    std::filesystem::rename(out + "new.tmp", out + "A5.TXT");
    ASSERT_TRUE(PumpUntil([&] { return Uploads() >= 2; }, 20000));
    std::ofstream(out + "A6.TXT", std::ios::app) << " and more";
    ASSERT_TRUE(PumpUntil([&] { return ended; }, 60000));

    // Left for the next scan, which the same run makes: each version is sent once, then filed.
    EXPECT_EQ(Uploads(), 4);
    EXPECT_EQ(ReadFile(ProgramInfo.SentboxPath + "A5.TXT"), "version 2");
    EXPECT_EQ(ReadFile(ProgramInfo.SentboxPath + "A6.TXT"), "first part and more");
    EXPECT_TRUE(
        Logged("Send: A6.TXT changed during its upload; the new version stays in the Outbox"));
    EXPECT_EQ(outcome_.Files.at(1).Reason,
              "Changed during its upload; the new version stays in the Outbox");
}

TEST_F(SendCycle, BuildingTheMailFileMakesOnlyItsWorkFolderAndNamesWhatFailed) {
    // A run killed at any step leaves only what the start sweep removes: the work folder is
    // made in one step, with no temporary file beside it.
    const std::string& out = ProgramInfo.OutboxPath;
    WriteFile(out + "A7.TXT", "seven");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);
    std::atomic<bool> autoImport{true};
    TSendThread worker(TSendJob{SettingsSnapshot(), {}, &autoImport}, nullptr, {});
    const std::string message = worker.BuildMessageFile(out + "A7.TXT", "ORDERS", "o@x");
    std::vector<std::string> created;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
        for (const char* at = events; at < events + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            created.push_back(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    ::close(watch);
    ASSERT_EQ(created.size(), 1u) << created.at(0);
    EXPECT_EQ(message, out + created[0] + "/A7.msg");

    // A file that cannot be read is named with the cause.
    try {
        worker.BuildMessageFile(out + "GONE.TXT", "ORDERS", "o@x");
        ADD_FAILURE() << "no error for a file that is gone";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + out + "GONE.TXT\": No such file or directory.");
    }
}

TEST_F(SendCycle, ALogThatFillsUpDuringTheRunEndsItWithoutACrash) {
    // The log takes the run's first line, then its disk is full (a file size limit stands in
    // for that): the closing lines, written as the worker unwinds, are dropped.
    struct stat st {};
    ASSERT_EQ(::stat(LogFileName().c_str(), &st), 0);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur =
        static_cast<rlim_t>(st.st_size) + FormatLogLine("Send thread execute", Now()).size();
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Send({});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(Log().back(), "Send thread execute");
}

TEST_F(SendCycle, ARequestThatWentOutWholeWithoutAnAnswerIsNotRepeated) {
    // Closed after the service took the whole request (and delivered it). A reset is left
    // out: it may cut the client's last write, and a request the client did not see go out
    // whole is repeated, as one that failed before its body.
    for (const std::string fault : {R"("kind":"drop","apply":true)"}) {
        SCOPED_TRACE(fault);
        standin_->Post("faults", "{" + fault + R"(,"target":"send"})");
        const long before = Uploads();
        Send({{"A1.TXT", "once"}});
        EXPECT_EQ(Uploads() - before, 1);
        EXPECT_TRUE(std::filesystem::remove(ProgramInfo.ErrorPath + "A1.TXT"));
        EXPECT_EQ(outcome_.Files.at(0).Reason, "the service may have received it");
        EXPECT_TRUE(Logged(
            "Send: A1.TXT is not sent again: the request went out whole and no answer came"));
    }
}

}  // namespace
