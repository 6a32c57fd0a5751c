// The program entry's refusals, checked on the built program started as a real process.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/base/clock.h"
#include "common/base/fileutil.h"
#include "common/single_instance.h"
#include "common/test_support.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Waits for a real process count real time, whatever clock the program's code is given.
int64_t RealMs() { return TSystemClock().MonotonicMs(); }

// An installation of the built program: DVR/ holds the program and USER.INI; run/ is the
// runtime folder of the copies started from it.
class ProgramEntryTest : public testing::Test {
  protected:
    void SetUp() override {
        programDir = dir.Path() + "DVR/";
        runtimeDir = dir.Path() + "run";
        std::filesystem::create_directories(programDir);
        std::filesystem::create_directories(runtimeDir);
        chmod(runtimeDir.c_str(), 0700);
        std::filesystem::copy_file(std::string(DOVRANT_BIN_DIR) + "/quillbern-dovrant",
                                   programDir + "quillbern-dovrant");
        WriteUserIni(false);
        ownLock = programDir + ReadComputerName() + ".lck";
    }

    void TearDown() override {
        for (pid_t pid : running) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    void WriteUserIni(bool multiUser) {
        WriteFile(programDir + "USER.INI", std::string("[SYSTEM]\nLOG_LEVEL=1\nMULTIUSER=") +
                                               (multiUser ? "1" : "0") + "\n");
    }

    // Starts a copy on the offscreen platform; its output goes to DVR/out-<n>.txt.
    pid_t Start() {
        std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + runtimeDir, "HOME=" + dir.Path()};
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("ASAN_OPTIONS=", 0) == 0 ||
                std::string(*e).rfind("UBSAN_OPTIONS=", 0) == 0 ||
                std::string(*e).rfind("PATH=", 0) == 0)
                env.push_back(*e);
        // Qt's own allocations at exit are no business of these tests.
        env.push_back("LSAN_OPTIONS=detect_leaks=0");
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = programDir + "quillbern-dovrant";
        char* argv[] = {program.data(), nullptr};
        std::string out = programDir + "out-" + std::to_string(++started) + ".txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        running.push_back(pid);
        return pid;
    }

    // The exit code, or -1 when the copy still runs after the time limit.
    int WaitForExit(pid_t pid, std::chrono::seconds limit = 20s) {
        const int64_t end = RealMs() + limit.count() * 1000;
        do {  // looks at least once, also with no time to wait
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        } while (RealMs() < end);
        return -1;
    }

    // True once some process holds the lock on path.
    static bool WaitUntilHeld(const std::string& path, std::chrono::seconds limit = 20s) {
        const int64_t end = RealMs() + limit.count() * 1000;
        while (RealMs() < end) {
            int fd = open(path.c_str(), O_RDWR);
            if (fd >= 0) {
                struct flock probe {};
                probe.l_type = F_WRLCK;
                probe.l_whence = SEEK_SET;
                bool held = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
                close(fd);
                if (held) return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // True once the window of a copy has been shown (its log says so).
    bool WaitUntilShown(std::chrono::seconds limit = 20s) {
        const int64_t end = RealMs() + limit.count() * 1000;
        while (RealMs() < end) {
            std::error_code error;
            for (auto& entry : std::filesystem::directory_iterator(dir.Path() + "LOG", error))
                if (ReadFile(entry.path()).find("Resume Auto Import") != std::string::npos)
                    return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    std::string Output(int n) { return ReadFile(programDir + "out-" + std::to_string(n) + ".txt"); }

    TTempDir dir;
    std::string programDir, runtimeDir, ownLock;
    std::vector<pid_t> running;
    int started = 0;
};

TEST_F(ProgramEntryTest, SecondCopyEndsSilentlyAndTheFirstClosesCleanly) {
    pid_t first = Start();
    ASSERT_TRUE(WaitUntilHeld(ownLock));
    pid_t second = Start();
    EXPECT_EQ(WaitForExit(second), 0);
    EXPECT_EQ(Output(2), "");  // no message, no window
    EXPECT_EQ(WaitForExit(first, 0s), -1);

    // Stopped by a signal, the first copy closes as the operator would: lock file gone.
    kill(first, SIGTERM);
    EXPECT_EQ(WaitForExit(first), 0);
    EXPECT_FALSE(FileExists(ownLock));
}

TEST_F(ProgramEntryTest, AnotherComputersHeldLockFileEndsTheCopySilently) {
    TLockFile otherComputer(programDir + "OTHERPC.lck");
    ASSERT_TRUE(otherComputer.Create());
    for (bool multiUser : {false, true}) {
        SCOPED_TRACE(multiUser ? "multi-user" : "single-user");
        WriteUserIni(multiUser);
        pid_t copy = Start();
        EXPECT_EQ(WaitForExit(copy), 0);
        EXPECT_EQ(Output(started), "");
        EXPECT_FALSE(FileExists(ownLock));
        EXPECT_TRUE(FileExists(programDir + "OTHERPC.lck"));
    }
}

TEST_F(ProgramEntryTest, StaleLockFileOfACrashedCopyIsRemovedAtStart) {
    WriteFile(programDir + "CRASHED.LCK", "");
    pid_t copy = Start();
    ASSERT_TRUE(WaitUntilHeld(ownLock));
    EXPECT_FALSE(FileExists(programDir + "CRASHED.LCK"));
    kill(copy, SIGTERM);
    EXPECT_EQ(WaitForExit(copy), 0);
}

TEST_F(ProgramEntryTest, MultiUserCopyRunsWithoutALockFile) {
    WriteUserIni(true);
    pid_t copy = Start();
    ASSERT_TRUE(WaitUntilShown());
    EXPECT_FALSE(FileExists(ownLock));
    kill(copy, SIGTERM);
    EXPECT_EQ(WaitForExit(copy), 0);
}

TEST_F(ProgramEntryTest, AStopWhileTheStartUpErrorBoxWaitsClosesDown) {
    // The log folder cannot be made (a file stands there): start-up shows an error box that
    // no one on the offscreen display answers.
    WriteFile(dir.Path() + "LOG", "");
    pid_t copy = Start();
    ASSERT_TRUE(WaitUntilHeld(ownLock));
    std::this_thread::sleep_for(300ms);
    kill(copy, SIGTERM);
    EXPECT_EQ(WaitForExit(copy), 0);
    EXPECT_FALSE(FileExists(ownLock));
}

}  // namespace
