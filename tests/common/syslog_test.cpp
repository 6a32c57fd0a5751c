#include "common/syslog.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/base/fileutil.h"
#include "tests/common/test_support.h"

namespace {

class SystemLog : public ::testing::Test {
  protected:
    void SetUp() override { SetClock(&clock); }
    void TearDown() override {
        CloseLog();
        SetClock(nullptr);
    }
    TManualClock clock{EncodeDate(2024, 1, 15) + EncodeTime(9, 30, 5, 123)};
    TTempDir dir;
};

}  // namespace

TEST_F(SystemLog, WritesStampedLinesEndedByCrLf) {
    const std::string logPath = dir.Path() + "LOG/";
    ASSERT_TRUE(OpenLog(logPath, 1));
    EXPECT_EQ(LogFileName(), logPath + "20240115093005123.log");
    WriteLog("Close program", 1);
    WriteLog("detail", 2);
    EXPECT_EQ(ReadFile(LogFileName()), "[2024/01/15 09:30:05] Close program\r\n");
    CloseLog();
    EXPECT_EQ(LogFileName(), "");
    WriteLog("after close", 1);
    EXPECT_EQ(ReadFile(logPath + "20240115093005123.log"),
              "[2024/01/15 09:30:05] Close program\r\n");
}

TEST_F(SystemLog, LevelTwoWritesBothLevelsAndLevelZeroNothing) {
    WriteLog("before open", 1);
    ASSERT_TRUE(OpenLog(dir.Path() + "LOG", 2));
    WriteLog("one", 1);
    WriteLog("two", 2);
    EXPECT_EQ(LogMessages(LogFileName()), (std::vector<std::string>{"one", "two"}));
    CloseLog();
    TTempDir other;
    EXPECT_FALSE(OpenLog(other.Path() + "LOG/", 0));
    EXPECT_FALSE(DirectoryExists(other.Path() + "LOG/"));
}

TEST_F(SystemLog, CutsMessagesOverAThousandCharacters) {
    ASSERT_TRUE(OpenLog(dir.Path(), 1));
    const std::string exact = "  " + std::string(998, 'x');
    const std::string over = "  " + std::string(999, 'y');
    WriteLog(exact, 1);
    WriteLog(over, 1);
    WriteLog("  short", 1);
    std::vector<std::string> lines = LogMessages(LogFileName());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], exact);
    // The cut keeps 995 characters and trims them: the two leading blanks go.
    EXPECT_EQ(lines[1], std::string(993, 'y') + "...");
    EXPECT_EQ(lines[2], "  short");
    EXPECT_LE(FormatLogLine(std::string(5000, 'z'), Now()).size(), 1024u);
}

TEST_F(SystemLog, TwoStartsInOneSecondMakeTwoFiles) {
    ASSERT_TRUE(OpenLog(dir.Path() + "LOG/", 1));
    const std::string first = LogFileName();
    CloseLog();
    clock.AdvanceMs(4);
    ASSERT_TRUE(OpenLog(dir.Path() + "LOG/", 1));
    EXPECT_EQ(first, dir.Path() + "LOG/20240115093005123.log");
    EXPECT_EQ(LogFileName(), dir.Path() + "LOG/20240115093005127.log");
    EXPECT_TRUE(FileExists(first));
    // Milliseconds are written without leading zeros.
    EXPECT_EQ(LogFileNameFor(EncodeDate(2024, 1, 15) + EncodeTime(9, 30, 5, 5)),
              "202401150930055.log");
}

TEST_F(SystemLog, LinesOfConcurrentWritersNeverMix) {
    SetClock(nullptr);
    ASSERT_TRUE(OpenLog(dir.Path(), 2));
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                WriteLog("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                             std::string(100 + i % 50, static_cast<char>('a' + t)),
                         1 + i % 2);
        });
    for (std::thread& thread : threads) thread.join();
    std::vector<std::string> lines = LogMessages(LogFileName());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int t = line[7] - '0';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        // Each thread's lines appear whole and in its own order.
        const std::string head =
            "thread " + std::to_string(t) + " line " + std::to_string(next[t]) + " ";
        ASSERT_EQ(line.substr(0, head.size()), head);
        ASSERT_EQ(line.size(), head.size() + 100 + next[t] % 50);
        ++next[t];
    }
}

TEST_F(SystemLog, ALinkAtTheLogFileNameIsReportedNotFollowed) {
    const std::string logPath = dir.Path() + "LOG/";
    ForceDirectories(logPath);
    const std::string victim = dir.Path() + "USER.INI";
    WriteFile(victim, "[SYSTEM]\r\nLOG_LEVEL=1\r\n");
    ASSERT_EQ(symlink(victim.c_str(), (logPath + "20240115093005123.log").c_str()), 0);
    std::string error;
    EXPECT_FALSE(OpenLog(logPath, 1, &error));
    EXPECT_NE(error.find(logPath + "20240115093005123.log"), std::string::npos) << error;
    WriteLog("Close program", 1);
    EXPECT_EQ(ReadFile(victim), "[SYSTEM]\r\nLOG_LEVEL=1\r\n");
    EXPECT_EQ(LogFileName(), "");
}
