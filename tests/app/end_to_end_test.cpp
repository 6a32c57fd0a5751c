// Two installations of the real program, offscreen and unattended, exchange a file through
// the web-mail stand-in over TLS, verifying its certificate against the stand-in's own root:
// the first sends what is dropped into its Outbox, the second receives it on its schedule.
// One copy runs per computer, so they run one after the other.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/file_digest.h"
#include "common/password.h"
#include "common/test_support.h"
#include "history/history_store.h"
#include "support/real_time.h"
#include "transfer/webmail_standin.h"

extern char** environ;

namespace {

class TInstallation {
  public:
    // trustFile: the root the service's certificate is verified against (SSL_CERT_FILE).
    TInstallation(const TTempDir& root, const std::string& name, const std::string& userIni,
                  const std::string& dvrIni, const std::string& trustFile)
        : base_(root.Path() + name + "/"), trustFile_(trustFile) {
        std::filesystem::create_directories(base_ + "DVR");
        std::filesystem::copy_file(std::string(DOVRANT_BIN_DIR) + "/quillbern-dovrant",
                                   base_ + "DVR/quillbern-dovrant");
        WriteFile(base_ + "DVR/USER.INI", userIni);
        WriteFile(base_ + "DVR/DVR.INI", dvrIni);
        std::filesystem::create_directories(base_ + "run");
        std::filesystem::permissions(base_ + "run", std::filesystem::perms::owner_all);
    }
    ~TInstallation() { Stop(); }

    void Start() {
        std::vector<std::string> env = {
            "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + base_ + "run", "HOME=" + base_,
            "LSAN_OPTIONS=detect_leaks=0", "SSL_CERT_FILE=" + trustFile_};
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("PATH=", 0) == 0) env.push_back(*e);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = base_ + "DVR/quillbern-dovrant";
        char* argv[] = {program.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    }
    void Signal() { ::kill(pid_, SIGTERM); }
    // SIGTERM closes the window as the operator would; the exit code.
    int Stop() {
        if (pid_ < 0) return -1;
        Signal();
        int status = 0;
        const int64_t end = RealMs() + 30000;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (RealMs() > end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(20000);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool WaitFor(const std::string& file, int64_t limitMs) const {
        const int64_t end = RealMs() + limitMs;
        while (!FileExists(base_ + file))
            if (RealMs() > end)
                return false;
            else
                ::usleep(50000);
        return true;
    }
    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        std::error_code error;  // none yet before the first start has made the folder
        for (const auto& entry : std::filesystem::directory_iterator(base_ + "LOG", error))
            if (entry.path().extension() == ".log")
                for (auto& line : LogMessages(entry.path().string())) lines.push_back(line);
        return lines;
    }
    bool Logged(const std::string& line) const {
        const auto lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // True once line is logged times times within limitMs.
    bool WaitForLog(const std::string& line, long times, int64_t limitMs) const {
        const int64_t end = RealMs() + limitMs;
        for (auto lines = Log(); std::count(lines.begin(), lines.end(), line) < times;
             lines = Log()) {
            if (RealMs() > end) return false;
            ::usleep(50000);
        }
        return true;
    }
    const std::string& Base() const { return base_; }

  private:
    std::string base_;
    std::string trustFile_;
    pid_t pid_ = -1;
};

// The one row an installation's history holds after the exchange.
THistoryRow OnlyHistoryRow(const TInstallation& installation) {
    const auto rows = THistoryStore(installation.Base() + "LOG/" + kHistoryFileName,
                                    THistoryStore::TOpen::Existing)
                          .Find({});
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? THistoryRow{} : rows[0];
}

// Runs a built program with arguments; its standard output, and its exit status in status.
std::string RunProgram(const std::string& program, const std::string& arguments, int& status) {
    const std::string command = std::string(DOVRANT_BIN_DIR) + "/" + program + " " + arguments;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    if (!pipe) return out;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string UserIniText(const std::string& address, const std::string& schedule) {
    return "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n[IDENTIFICATION]\nEMAIL_ADDR=" + address +
           "\nLOGIN_ID=R1\nPASSWORD=" + EncodeStoredPassword("e2e-pw") +
           "\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\nVERIFY_SERVER_CERT=1\n[SCHEDULE]\n" +
           schedule + "[HOUSEKEEP]\nAUTO_PURGE=0\n[iFile]\nTXT=1\n";
}

TEST(EndToEnd, TwoInstallationsExchangeAFileThroughTheServiceOnTheSchedule) {
    TWebMailStandin standin(
        {{"sender@e2e.example", "S1", "e2e-pw"}, {"receiver@e2e.example", "R1", "e2e-pw"}});
    TTempDir root;
    const std::string dvrIni =
        "[SYSTEM]\nVERSION=1.0.0\nEMAIL_CONTENT_TYPE=multipart/mixed\n[CONNECTION]\n"
        "WEBMAILCOUNTER=" +
        standin.UrlFormat("count") + "\nWEBMAILRETRIEVER=" + standin.UrlFormat("retrieve") +
        "\nWEBMAILDELETE=" + standin.UrlFormat("delete") +
        "\n[IDX]\nA=ORDERS\n[ORDERS]\nEMAIL=receiver@e2e.example\nWebMailSender=" +
        standin.UrlFormat("send") + "\n";
    const std::string content = "ORDER 4711\r\nqty 12\r\n";

    TInstallation sender(root, "sender", UserIniText("sender@e2e.example", "CONNECT_OPTION=1\n"),
                         dvrIni, standin.CaFile);
    std::filesystem::create_directories(sender.Base() + "OUTBOX");
    WriteFile(sender.Base() + "OUTBOX/A4711.TXT", content);
    sender.Start();
    ASSERT_TRUE(sender.WaitFor("SENTBOX/A4711.TXT", 60000));
    EXPECT_EQ(sender.Stop(), 0);
    EXPECT_EQ(ReadFile(sender.Base() + "SENTBOX/A4711.TXT"), content);
    EXPECT_FALSE(FileExists(sender.Base() + "OUTBOX/A4711.TXT"));
    EXPECT_TRUE(sender.Logged("Send finish"));
    EXPECT_TRUE(sender.Logged("Send: 1 file(s) successfully sent"));

    // The exact upload: the mail file of the Outbox file inside the multipart form.
    const std::string body = standin.Get("last-upload?part=body");
    const std::string boundary = body.substr(2, body.find("\r\n") - 2);
    EXPECT_EQ(boundary.rfind("=_DVR+_1.0.0_", 0), 0u);
    const std::string b = "--" + boundary + "\r\n";
    // The mail file is built in the upload's own work folder in the Outbox.
    const std::size_t nameAt = body.find("filename=\"") + 10;
    const std::string messageFile = body.substr(nameAt, body.find('"', nameAt) - nameAt);
    EXPECT_EQ(messageFile.rfind(sender.Base() + "OUTBOX/~qb", 0), 0u) << messageFile;
    EXPECT_EQ(messageFile.substr(messageFile.rfind('/')), "/A4711.msg");
    EXPECT_EQ(
        body,
        b + "Content-Disposition: form-data; name=\"from\"\r\n\r\nsender@e2e.example\r\n" + b +
            "Content-Disposition: form-data; name=\"to\"\r\n\r\nreceiver@e2e.example\r\n" + b +
            "Content-Disposition: form-data; name=\"attfile\"; filename=\"" + messageFile +
            "\"\r\nContent-Type: text/plain\r\n\r\n"
            "From: sender@e2e.example\r\nSubject: ORDERS message\r\n"
            "Reply-To: sender@e2e.example\r\nTo: receiver@e2e.example\r\n"
            "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=big5\r\n"
            "Content-Transfer-Encoding: 8bit\r\n\r\n" +
            content + "\r\n--" + boundary + "--\r\n");

    // Every minute from its start: the first scheduled receive comes within two minutes.
    TInstallation receiver(
        root, "receiver",
        UserIniText("receiver@e2e.example", "CONNECT_OPTION=2\nCONNECT_EVERY_MIN=1\n"), dvrIni,
        standin.CaFile);
    // The first tick comes a moment after the scheduled time; a start late in a minute could
    // put the two in different minutes, and the schedule would then wait for a restart.
    for (int h, n, sec, ms;;) {
        DecodeTime(TSystemClock().Now(), h, n, sec, ms);
        if (sec >= 2 && sec <= 40) break;
        ::usleep(200000);
    }
    receiver.Start();
    ASSERT_TRUE(receiver.WaitFor("INBOX/A4711.msg", 150000));
    const int64_t end = RealMs() + 10000;
    while (!receiver.Logged("Receive finish") && RealMs() < end) ::usleep(50000);
    EXPECT_EQ(receiver.Stop(), 0);
    const std::string stored = ReadFile(receiver.Base() + "INBOX/A4711.msg");
    EXPECT_NE(stored.find("To: receiver@e2e.example\r\n"), std::string::npos);
    EXPECT_NE(stored.find("\r\n\r\n" + content), std::string::npos);
    EXPECT_TRUE(receiver.Logged("Recv: 1 mails in mailbox."));
    EXPECT_TRUE(receiver.Logged("Receive: 1 message(s) was/were received. ( 1 Email )"));
    EXPECT_TRUE(receiver.Logged("Receive finish"));
    EXPECT_TRUE(receiver.Logged("Close program"));
    EXPECT_EQ(JsonNumber(standin.Get("status"), "receiver@e2e.example"), 0);

    // Both histories tell what went and what came, with the bytes' checksums.
    const THistoryRow sent = OnlyHistoryRow(sender);
    EXPECT_EQ(sent.Direction, THistoryDirection::Send);
    EXPECT_EQ(sent.Name, "A4711.TXT");
    EXPECT_EQ(sent.Folder + sent.FinalName, sender.Base() + "SENTBOX/A4711.TXT");
    EXPECT_EQ(sent.Outcome, THistoryOutcome::Sent);
    EXPECT_EQ(sent.Partner, "receiver@e2e.example");
    EXPECT_EQ(sent.Service, "sender@e2e.example");
    EXPECT_EQ(sent.Size, static_cast<int64_t>(content.size()));
    EXPECT_EQ(sent.Sha256, FileDigest(sender.Base() + "SENTBOX/A4711.TXT").Sha256);
    const THistoryRow received = OnlyHistoryRow(receiver);
    EXPECT_EQ(received.Direction, THistoryDirection::Receive);
    EXPECT_EQ(received.Name, "A4711.msg");
    EXPECT_EQ(received.Folder, receiver.Base() + "INBOX/");
    EXPECT_EQ(received.Outcome, THistoryOutcome::Stored);
    EXPECT_NE(received.Partner.find("sender@e2e.example"), std::string::npos);
    EXPECT_EQ(received.Subject, "ORDERS message");
    EXPECT_FALSE(received.MessageId.empty());
    EXPECT_EQ(received.Size, static_cast<int64_t>(stored.size()));
    EXPECT_EQ(received.Sha256, FileDigest(receiver.Base() + "INBOX/A4711.msg").Sha256);

    // And the command lines of both programs find them.
    int status = -1;
    std::string out = RunProgram("quillbern-dovrantd",
                                 "--history " + sender.Base() + " --name 'a47*' --json", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("\"name\": \"A4711.TXT\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"outcome\": \"sent\""), std::string::npos) << out;
    out = RunProgram("quillbern-dovrant", "--history " + receiver.Base() + " --direction send",
                     status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("0 row(s)"), std::string::npos) << out;
    out = RunProgram("quillbern-dovrant",
                     "--verify " + receiver.Base() + "INBOX/A4711.msg --dir " + receiver.Base(),
                     status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("received as A4711.msg: stored"), std::string::npos) << out;
    const std::string copy = root.Path() + "copy.txt";
    WriteFile(copy, content);
    out = RunProgram("quillbern-dovrantd", "--verify " + copy + " --dir " + sender.Base(), status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("sent as A4711.TXT: sent, to receiver@e2e.example"), std::string::npos)
        << out;
    WriteFile(copy, content + "changed");
    RunProgram("quillbern-dovrantd", "--verify " + copy + " --dir " + sender.Base(), status);
    EXPECT_EQ(status, 1);
}

// The window answers SIGTERM as the headless run does: during a send it closes when the send
// ends; a second SIGTERM ends it at once with exit status 1, the file whole in the Outbox.
TEST(EndToEnd, TheWindowClosesOnSigtermOnceTheSendEndsAndEndsAtOnceOnASecond) {
    TWebMailStandin standin({{"self@e2e.example", "R1", "e2e-pw"}});
    TTempDir root;
    TInstallation window(root, "window", UserIniText("self@e2e.example", "CONNECT_OPTION=1\n"),
                         "[SYSTEM]\nVERSION=1.0.0\nEMAIL_CONTENT_TYPE=multipart/mixed\n[IDX]\n"
                         "A=ORDERS\n[ORDERS]\nEMAIL=self@e2e.example\nWebMailSender=" +
                             standin.UrlFormat("send") + "\n",
                         standin.CaFile);
    const std::string base = window.Base();
    const std::string waits = "Close when the running transfer ends";
    std::filesystem::create_directories(base + "OUTBOX");
    standin.Post("faults", "{\"kind\": \"delay\", \"seconds\": 3, \"target\": \"send\"}");
    WriteFile(base + "OUTBOX/A1.TXT", "one");
    window.Start();
    ASSERT_TRUE(window.WaitForLog("Send thread execute", 1, 20000));
    EXPECT_EQ(window.Stop(), 0);
    EXPECT_EQ(ReadFile(base + "SENTBOX/A1.TXT"), "one");
    EXPECT_TRUE(window.Logged(waits));
    EXPECT_TRUE(window.Logged("Close program"));

    standin.Post("faults", "{\"kind\": \"delay\", \"seconds\": 30, \"target\": \"send\"}");
    WriteFile(base + "OUTBOX/A2.TXT", "two");
    window.Start();
    ASSERT_TRUE(window.WaitForLog("Send thread execute", 2, 20000));
    window.Signal();
    ASSERT_TRUE(window.WaitForLog(waits, 2, 10000));
    EXPECT_EQ(window.Stop(), 1);
    EXPECT_TRUE(window.Logged("Stopped while a transfer was running"));
    EXPECT_EQ(ReadFile(base + "OUTBOX/A2.TXT"), "two");
}

}  // namespace
