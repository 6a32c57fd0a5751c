// The built program started as a real process: the command line is answered before any
// toolkit starts (these runs name a display platform that does not exist, which would end
// any start of the window at once), and the headless gateway runs, reports and stops.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/certificate_check.h"
#include "common/password.h"
#include "common/single_instance.h"
#include "common/test_support.h"
#include "service/installation.h"
#include "support/real_time.h"
#include "transfer/webmail_standin.h"

extern char** environ;

namespace {

struct TRun {
    int Code = -1;
    std::string Out, Err;
};

// The daemon by default; the window program answers the same command line.
class TProgram {
  public:
    explicit TProgram(const TTempDir& dir, const char* name = "quillbern-dovrantd")
        : dir_(dir.Path()), name_(name) {
        std::filesystem::create_directories(dir_ + "run");
        std::filesystem::permissions(dir_ + "run", std::filesystem::perms::owner_all);
    }
    ~TProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Writes past this many bytes fail as on a full disk (EFBIG in place of ENOSPC).
    void LimitFileSize(long bytes) { fileSizeLimit_ = bytes; }

    // Starts the program with args; its output goes to files read by Wait.
    pid_t Start(const std::vector<std::string>& args) {
        std::vector<std::string> env = {"QT_QPA_PLATFORM=no-such-platform",
                                        "XDG_RUNTIME_DIR=" + dir_ + "run", "HOME=" + dir_,
                                        "LSAN_OPTIONS=detect_leaks=0"};
        env.insert(env.end(), ExtraEnv.begin(), ExtraEnv.end());
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("PATH=", 0) == 0 ||
                std::string(*e).rfind("ASAN_OPTIONS=", 0) == 0 ||
                std::string(*e).rfind("UBSAN_OPTIONS=", 0) == 0)
                env.push_back(*e);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = std::string(DOVRANT_BIN_DIR) + "/" + name_;
        std::vector<std::string> all = {program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        // Unique among all programs of the test: two running at once never share a file.
        static int runs = 0;
        runs_ = ++runs;
        if (fileSizeLimit_ >= 0) return StartLimited(program, argv, envp);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, OutFile().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, ErrFile().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        pid_ = pid;
        return pid;
    }

    // Waits (bounded) for the started program; killed when it outlives limitMs.
    TRun Wait(int64_t limitMs = 20000) {
        TRun run;
        int status = 0;
        const int64_t end = RealMs() + limitMs;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (RealMs() > end) {
                ADD_FAILURE() << "the program did not end in time";
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(20000);
        }
        pid_ = -1;
        run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (errPipe_ >= 0) {
            char buf[4096];
            for (ssize_t n; (n = ::read(errPipe_, buf, sizeof buf)) > 0;) run.Err.append(buf, n);
            ::close(std::exchange(errPipe_, -1));
            return run;
        }
        run.Out = ReadFile(OutFile());
        run.Err = ReadFile(ErrFile());
        return run;
    }

    TRun Run(const std::vector<std::string>& args) {
        Start(args);
        return Wait();
    }

    void Signal(int signal) { ::kill(pid_, signal); }

    // More "NAME=value" entries for the programs started from now on.
    std::vector<std::string> ExtraEnv;

    TRun Stop(int signal = SIGTERM) {
        ::kill(pid_, signal);
        return Wait(30000);
    }

  private:
    std::string OutFile() const { return dir_ + "out-" + std::to_string(runs_) + ".txt"; }
    std::string ErrFile() const { return dir_ + "err-" + std::to_string(runs_) + ".txt"; }

    // fork and exec: a spawn cannot set a resource limit. Only async-signal-safe calls after
    // the fork; SIGXFSZ ignored, so a write past the limit fails instead of killing. The
    // limit holds for files only, so standard error goes through a pipe (its few lines fit).
    pid_t StartLimited(const std::string& program, std::vector<char*>& argv,
                       std::vector<char*>& envp) {
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit_),
                           static_cast<rlim_t>(fileSizeLimit_)};
        int err[2];
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const int null = ::open("/dev/null", O_WRONLY);
            if (null < 0 || ::dup2(null, 1) < 0 || ::dup2(err[1], 2) < 0) ::_exit(126);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(err[1]);
        errPipe_ = err[0];
        EXPECT_GT(pid, 0);
        pid_ = pid;
        return pid;
    }

    std::string dir_;
    std::string name_;
    pid_t pid_ = -1;
    int runs_ = 0;
    long fileSizeLimit_ = -1;
    int errPipe_ = -1;
};

std::vector<std::string> LogOf(const std::string& site) {
    std::vector<std::string> lines;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(site + "LOG", error))
        if (entry.path().extension() == ".log")
            for (auto& line : LogMessages(entry.path().string())) lines.push_back(line);
    return lines;
}

bool Logged(const std::string& site, const std::string& line) {
    const auto lines = LogOf(site);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

long LogCount(const std::string& site, const std::string& line) {
    const auto lines = LogOf(site);
    return static_cast<long>(std::count(lines.begin(), lines.end(), line));
}

bool WaitUntil(const std::function<bool()>& done, int64_t limitMs) {
    const int64_t end = RealMs() + limitMs;
    while (!done()) {
        if (RealMs() > end) return false;
        ::usleep(50000);
    }
    return true;
}

// Builds without the window have no window program.
bool WindowProgramBuilt() {
    return FileExists(std::string(DOVRANT_BIN_DIR) + "/quillbern-dovrant");
}

TEST(Program, CommandLineIsAnsweredWithoutAWindow) {
    TTempDir dir;
    TProgram program(dir);

    TRun run = program.Run({"--help"});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out.rfind("Usage: quillbern-dovrantd [--dir DIR]", 0), 0u) << run.Out;
    if (WindowProgramBuilt()) {
        run = TProgram(dir, "quillbern-dovrant").Run({"--help"});
        EXPECT_EQ(run.Code, 0) << run.Err;
        EXPECT_EQ(run.Out.rfind("Usage: quillbern-dovrant [--dir DIR]", 0), 0u) << run.Out;
    }

    const std::string site = dir.Path() + "site";
    run = program.Run({"--init", site});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_TRUE(FileExists(site + "/DVR/USER.INI"));
    run = program.Run({"--init", site});
    EXPECT_EQ(run.Code, 1);
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;

    run = program.Run({"--version", "--dir", site});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find("installation version: "), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find(site + "/DVR/DVR.INI"), std::string::npos) << run.Out;

    run = program.Run({"--status", site});
    EXPECT_EQ(run.Code, 1);
    EXPECT_EQ(run.Out.rfind("ATTENTION: no status file", 0), 0u) << run.Out;

    // A folder holding no installation is refused before anything is made beside it.
    run = program.Run({"--headless", "--dir", dir.Path() + "typo"});
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("no USER.INI in " + dir.Path() + "typo/"), std::string::npos) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "INBOX"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "LOG"));

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--bogus"}, {"--headless", "--init", site}, {"--status"}}) {
        run = program.Run(wrong);
        EXPECT_EQ(run.Code, 2) << wrong[0];
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    }
}

// A new installation that neither sends nor receives on its own.
std::string QuietSite(const TTempDir& dir) {
    const std::string site = dir.Path() + "site/";
    EXPECT_EQ(InitInstallation(site), "");
    WriteFile(site + "DVR/USER.INI",
              "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n[CONNECTION]\nLEASE_LINE=1\n"
              "[SCHEDULE]\nCONNECT_OPTION=1\n[HOUSEKEEP]\nAUTO_PURGE=0\n[iFile]\nTXT=1\n");
    return site;
}

TEST(Program, HeadlessRunsReportsAndClosesDownOnSigterm) {
    TTempDir dir;
    const std::string site = QuietSite(dir);
    const std::string lockFile = site + "DVR/" + ReadComputerName() + ".lck";
    TProgram program(dir);
    // The window program's --headless is the daemon's run: one copy of either.
    TProgram second(dir, WindowProgramBuilt() ? "quillbern-dovrant" : "quillbern-dovrantd");
    program.Start({"--headless", "--dir", site});
    ASSERT_TRUE(WaitUntil([&] { return FileExists(site + "LOG/status.json"); }, 20000));
    EXPECT_TRUE(Logged(site, "Resume Auto Import"));
    EXPECT_TRUE(FileExists(lockFile));

    // One copy per user session, window or not.
    TRun run = second.Run({"--headless", "--dir", site});
    EXPECT_EQ(run.Code, 0);
    EXPECT_EQ(run.Err, "");

    run = second.Run({"--status", site});
    EXPECT_EQ(run.Code, 0) << run.Out;
    EXPECT_EQ(run.Out.rfind("OK", 0), 0u) << run.Out;
    EXPECT_NE(run.Out.find("line:            leased line"), std::string::npos) << run.Out;
    // Settings without a certificate check, as older installations have: shown, no attention.
    EXPECT_NE(run.Out.find("certificate:     none"), std::string::npos) << run.Out;

    // A file in the Error folder asks for attention at the next status written.
    WriteFile(site + "ERROR/A1.TXT", "x");

    run = program.Stop(SIGTERM);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_TRUE(Logged(site, "Close program"));
    EXPECT_EQ(LogCount(site, kNoCertificateCheckWarning), 1);
    EXPECT_FALSE(FileExists(lockFile));
    run = second.Run({"--status", site});
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Out.find("not running"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("1 file(s) in the Error folder"), std::string::npos) << run.Out;
}

// A start that cannot keep its lock file or its log ends with 1 and says why on standard
// error, so a service manager sees it fail and restarts it; nothing runs unrecorded.
TEST(Program, AStartThatCannotKeepItsLockOrLogEndsWithOneAndSaysWhy) {
    struct TCase {
        const char* What;
        std::function<void(const std::string& site, TProgram& program)> Break;
        const char* Says;
    };
    const std::vector<TCase> cases = {
        {"lock file not creatable",
         [](const std::string& site, TProgram&) {
             std::filesystem::create_directory(site + "DVR/" + ReadComputerName() + ".lck");
         },
         "cannot create the lock file"},
        {"log folder not creatable",
         [](const std::string& site, TProgram&) {
             std::filesystem::remove_all(site + "LOG");
             WriteFile(site + "LOG", "not a folder");
         },
         "Unable to create the log folder"},
        {"disk full", [](const std::string&, TProgram& program) { program.LimitFileSize(0); },
         "Unable to write the system log"},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string site = QuietSite(dir);
        TProgram program(dir);
        c.Break(site, program);
        program.Start({"--dir", site});
        const TRun run = program.Wait(20000);
        EXPECT_EQ(run.Code, 1) << c.What << ": " << run.Err;
        EXPECT_NE(run.Err.find(c.Says), std::string::npos) << c.What << ": " << run.Err;
        EXPECT_FALSE(FileExists(site + "LOG/status.json")) << c.What;
    }
}

// An installation that sends its "A" files to itself through standin; nothing scheduled.
std::string SendingSite(const TTempDir& dir, const TWebMailStandin& standin) {
    const std::string site = dir.Path() + "site/";
    EXPECT_EQ(InitInstallation(site), "");
    WriteFile(site + "DVR/USER.INI",
              "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n[IDENTIFICATION]\nEMAIL_ADDR=self@e2e.example"
              "\nLOGIN_ID=S1\nPASSWORD=" +
                  EncodeStoredPassword("e2e-pw") +
                  "\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=60\n[SCHEDULE]\nCONNECT_OPTION=1\n"
                  "[HOUSEKEEP]\nAUTO_PURGE=0\n[iFile]\nTXT=1\n");
    WriteFile(site + "DVR/DVR.INI",
              "[SYSTEM]\nVERSION=1.0.0\nEMAIL_CONTENT_TYPE=multipart/mixed\n[IDX]\nA=ORDERS\n"
              "[ORDERS]\nEMAIL=self@e2e.example\nWebMailSender=" +
                  standin.UrlFormat("send") + "\n");
    return site;
}

// The position of line in the log, or -1.
long LogPosition(const std::string& site, const std::string& line) {
    const auto lines = LogOf(site);
    const auto found = std::find(lines.begin(), lines.end(), line);
    return found == lines.end() ? -1 : static_cast<long>(found - lines.begin());
}

TEST(Program, AStopWaitsForTheRunningSendAndASecondStopEndsAtOnce) {
    TWebMailStandin standin({{"self@e2e.example", "S1", "e2e-pw"}});
    TTempDir dir;
    const std::string site = SendingSite(dir, standin);
    const std::string lockFile = site + "DVR/" + ReadComputerName() + ".lck";
    standin.Post("faults", "{\"kind\": \"delay\", \"seconds\": 3, \"target\": \"send\"}");
    WriteFile(site + "OUTBOX/A1.TXT", "one");
    TProgram program(dir);
    program.Start({"--headless", "--dir", site});
    ASSERT_TRUE(WaitUntil([&] { return Logged(site, "Send thread execute"); }, 20000));
    TRun run = program.Stop(SIGTERM);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(ReadFile(site + "SENTBOX/A1.TXT"), "one");
    const long refused = LogPosition(site,
                                     "Message box: Unable to close application now. Message(s) "
                                     "are being sent or received.");
    const long waits = LogPosition(site, "Close when the running transfer ends");
    const long finished = LogPosition(site, "Send finish");
    const long closed = LogPosition(site, "Close program");
    EXPECT_EQ(refused, -1);  // a stop is not refused: it waits
    EXPECT_GE(waits, 0);
    EXPECT_GT(finished, waits);
    EXPECT_GT(closed, finished);
    EXPECT_EQ(run.Err.find("Unable to close application now."), std::string::npos) << run.Err;
    EXPECT_FALSE(FileExists(lockFile));

    // Asked twice, the program does not wait for a send that takes long; the file stays
    // whole in the Outbox and the next start sweeps the lock file left behind.
    standin.Post("faults", "{\"kind\": \"delay\", \"seconds\": 30, \"target\": \"send\"}");
    WriteFile(site + "OUTBOX/A2.TXT", "two");
    program.Start({"--headless", "--dir", site});
    ASSERT_TRUE(WaitUntil([&] { return LogCount(site, "Send thread execute") == 2; }, 20000));
    const int64_t stopped = RealMs();
    program.Signal(SIGTERM);
    ASSERT_TRUE(WaitUntil(
        [&] { return LogCount(site, "Close when the running transfer ends") == 2; }, 10000));
    run = program.Stop(SIGTERM);
    EXPECT_EQ(run.Code, 1);
    EXPECT_LT(RealMs() - stopped, 15000);
    EXPECT_TRUE(Logged(site, "Stopped while a transfer was running"));
    EXPECT_EQ(ReadFile(site + "OUTBOX/A2.TXT"), "two");
    EXPECT_FALSE(FileExists(site + "SENTBOX/A2.TXT"));

    standin.Post("faults/clear", "{}");
    program.Start({"--headless", "--dir", site});
    ASSERT_TRUE(WaitUntil([&] { return FileExists(site + "SENTBOX/A2.TXT"); }, 30000));
    run = program.Stop(SIGTERM);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(ReadFile(site + "SENTBOX/A2.TXT"), "two");
}

TEST(Program, SigusrOneReceivesNowAndScansTheOutbox) {
    TWebMailStandin standin({{"self@e2e.example", "S1", "e2e-pw"}});
    TTempDir dir;
    const std::string site = SendingSite(dir, standin);
    // No schedule: only the signal starts a receive.
    WriteFile(site + "DVR/DVR.INI",
              ReadFile(site + "DVR/DVR.INI") +
                  "[CONNECTION]\nWEBMAILCOUNTER=" + standin.UrlFormat("count") +
                  "\nWEBMAILRETRIEVER=" + standin.UrlFormat("retrieve") +
                  "\nWEBMAILDELETE=" + standin.UrlFormat("delete") + "\n");
    standin.Post("mailbox/add",
                 R"({"address": "self@e2e.example", "from": "p@e2e.example", "subject": "R",)"
                 R"( "text": "x", "attachments": [{"name": "R1.TXT", "data": "receipt"}]})");
    WriteFile(site + "OUTBOX/A1.TXT", "one");
    TProgram program(dir);
    const pid_t pid = program.Start({"--headless", "--dir", site});
    // Asked for during the start-up (once main() holds the signal), the transfer runs once
    // the gateway is up.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
            const auto at = status.find("SigBlk:");
            return at != std::string::npos &&
                   (std::stoull(status.substr(at + 7), nullptr, 16) & (1ull << (SIGUSR1 - 1)));
        },
        20000));
    program.Signal(SIGUSR1);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(site + "INBOX/R1.TXT"); }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(site + "SENTBOX/A1.TXT"); }, 20000));
    // Once more, once that receive ended: a second one runs.
    ASSERT_TRUE(WaitUntil([&] { return LogCount(site, "Receive finish") == 1; }, 20000));
    program.Signal(SIGUSR1);
    ASSERT_TRUE(WaitUntil([&] { return LogCount(site, "Receive finish") == 2; }, 20000));
    TRun run = program.Stop(SIGTERM);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(ReadFile(site + "INBOX/R1.TXT"), "receipt");
}

TEST(Program, HeadlessSendsAndReceivesThroughTheServiceLikeTheWindow) {
    TWebMailStandin standin({{"self@e2e.example", "S1", "e2e-pw"}});
    TTempDir dir;
    const std::string site = dir.Path() + "site/";
    ASSERT_EQ(InitInstallation(site), "");
    WriteFile(site + "DVR/USER.INI",
              "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n[IDENTIFICATION]\nEMAIL_ADDR=self@e2e.example"
              "\nLOGIN_ID=S1\nPASSWORD=" +
                  EncodeStoredPassword("e2e-pw") +
                  "\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\nVERIFY_SERVER_CERT=1\n[SCHEDULE]\n"
                  "CONNECT_OPTION=2\nCONNECT_EVERY_MIN=1\n[HOUSEKEEP]\nAUTO_PURGE=0\n[iFile]\n"
                  "TXT=1\n");
    WriteFile(site + "DVR/DVR.INI",
              "[SYSTEM]\nVERSION=1.0.0\nEMAIL_CONTENT_TYPE=multipart/mixed\n[CONNECTION]\n"
              "WEBMAILCOUNTER=" +
                  standin.UrlFormat("count") + "\nWEBMAILRETRIEVER=" +
                  standin.UrlFormat("retrieve") + "\nWEBMAILDELETE=" + standin.UrlFormat("delete") +
                  "\n[IDX]\nA=ORDERS\n[ORDERS]\nEMAIL=self@e2e.example\nWebMailSender=" +
                  standin.UrlFormat("send") + "\n");
    const std::string content = "ORDER 4711\r\nqty 12\r\n";
    WriteFile(site + "OUTBOX/A4711.TXT", content);

    // The first schedule tick comes a minute after the start; started late in a minute, the
    // tick and its scheduled time could fall in different minutes.
    for (int h, n, sec, ms;;) {
        DecodeTime(TSystemClock().Now(), h, n, sec, ms);
        if (sec >= 2 && sec <= 40) break;
        ::usleep(200000);
    }
    TProgram program(dir);  // verifying the service against the stand-in's own root
    program.ExtraEnv = {"SSL_CERT_FILE=" + standin.CaFile};
    program.Start({"--headless", "--dir", site});
    ASSERT_TRUE(WaitUntil([&] { return FileExists(site + "SENTBOX/A4711.TXT"); }, 60000));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(site + "INBOX/A4711.msg"); }, 150000));
    ASSERT_TRUE(WaitUntil([&] { return Logged(site, "Receive finish"); }, 10000));

    TProgram status(dir);
    TRun run = status.Run({"--status", site});
    EXPECT_EQ(run.Code, 0) << run.Out;
    EXPECT_NE(run.Out.find(", ok, 1 file(s) sent"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find(", ok, 1 message(s) received"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("certificate:     verified\n"), std::string::npos) << run.Out;

    run = program.Stop(SIGTERM);
    EXPECT_EQ(run.Code, 0) << run.Err;
    // Standard error is the service's journal: the operator's lines, no password.
    for (const char* line :
         {"Send: 1 file(s) successfully sent\n",
          "Receive: 1 message(s) was/were received. ( 1 Email )\n", "Close program\n"})
        EXPECT_NE(run.Err.find(line), std::string::npos) << line << run.Err;
    // Level 2 is working detail: the log only.
    EXPECT_EQ(run.Err.find("Quillbern Dovrant are scheduled to connect every"), std::string::npos);
    EXPECT_EQ(run.Err.find("e2e-pw"), std::string::npos);
    EXPECT_EQ(ReadFile(site + "SENTBOX/A4711.TXT"), content);
    EXPECT_NE(ReadFile(site + "INBOX/A4711.msg").find("\r\n\r\n" + content), std::string::npos);
    for (const char* line :
         {"Send thread execute", "Send: 1 file(s) successfully sent", "Send finish",
          "Recv: 1 mails in mailbox.", "Receive: 1 message(s) was/were received. ( 1 Email )",
          "Receive finish", "Close program"})
        EXPECT_TRUE(Logged(site, line)) << line;
    EXPECT_EQ(JsonNumber(standin.Get("status"), "self@e2e.example"), 0);
}

}  // namespace
