// Reading the system log back for the log view: following a growing file, the filter and
// search, and today's files.

#include "operator/log_lines.h"

#include <fstream>

#include "operator_fixture.h"

namespace {

class LogLines : public OperatorTest {};

void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::app | std::ios::binary) << text;
}

TEST_F(LogLines, TheFollowerReturnsEachWholeLineOnceAndStartsOverOnAReplacedFile) {
    const std::string path = dir.Path() + "run.log";
    TLogFollower follower(path);
    EXPECT_TRUE(follower.ReadNew().empty()) << "no file yet";
    Append(path, "[2026/12/09 10:00:00] first\r\n[2026/12/09 10:00:01] sec");
    EXPECT_EQ(follower.ReadNew(), std::vector<std::string>{"[2026/12/09 10:00:00] first"});
    EXPECT_TRUE(follower.ReadNew().empty()) << "half a line waits for its end";
    Append(path, "ond\r\n\r\nthird\n");
    EXPECT_EQ(follower.ReadNew(),
              (std::vector<std::string>{"[2026/12/09 10:00:01] second", "", "third"}));
    // Cut shorter (or replaced): read again from the start.
    WriteFile(path, "new\r\n");
    EXPECT_EQ(follower.ReadNew(), std::vector<std::string>{"new"});
    WriteFile(dir.Path() + "other.log", "replacement 1\r\nreplacement 2\r\n");
    rename((dir.Path() + "other.log").c_str(), path.c_str());
    EXPECT_EQ(follower.ReadNew(), (std::vector<std::string>{"replacement 1", "replacement 2"}));

    TLogFollower late(path);
    late.Skip(15);
    EXPECT_EQ(late.ReadNew(), std::vector<std::string>{"replacement 2"});
}

TEST(LogLineFilter, LevelsAndSearch) {
    const TLogLine problem = ParseLogLine("[2026/12/09 10:00:00] Send: Unable to send A.TXT");
    const TLogLine info = ParseLogLine("[2026/12/09 10:00:01] Send finish");
    const TLogLine detail = ParseLogLine("[2026/12/09 10:00:02]   Message ID := <x@y>");
    const TLogLine bare = ParseLogLine("no stamp");
    EXPECT_EQ(problem.Stamp, "2026/12/09 10:00:00");
    EXPECT_EQ(problem.Message, "Send: Unable to send A.TXT");
    EXPECT_EQ(detail.Message, "  Message ID := <x@y>");
    EXPECT_EQ(bare.Stamp, "");
    EXPECT_EQ(bare.Message, "no stamp");

    EXPECT_EQ(KindOfLogLine(problem.Message), TLogKind::Problem);
    EXPECT_EQ(KindOfLogLine("Recv: Get Message Count failed. Reason: x"), TLogKind::Problem);
    EXPECT_EQ(KindOfLogLine("Remote connection not available"), TLogKind::Problem);
    EXPECT_EQ(KindOfLogLine(info.Message), TLogKind::Info);
    // The Error folder's name in a path is no failure by itself.
    EXPECT_EQ(KindOfLogLine("Create directory: '/data/ERROR/'"), TLogKind::Info);
    EXPECT_EQ(KindOfLogLine("Move file: A.TXT to /data/error/x"), TLogKind::Info);
    EXPECT_EQ(KindOfLogLine("Unable to open the system log /data/LOG/x.log: error"),
              TLogKind::Problem);
    EXPECT_EQ(KindOfLogLine(detail.Message), TLogKind::Detail);

    for (const TLogLine* line : {&problem, &info, &detail})
        EXPECT_TRUE(LogLineShown(*line, TLogFilter::All, ""));
    EXPECT_TRUE(LogLineShown(info, TLogFilter::NoDetail, ""));
    EXPECT_FALSE(LogLineShown(detail, TLogFilter::NoDetail, ""));
    EXPECT_FALSE(LogLineShown(info, TLogFilter::Problems, ""));
    EXPECT_TRUE(LogLineShown(problem, TLogFilter::Problems, ""));
    // Search ignores case and also finds the time.
    EXPECT_TRUE(LogLineShown(problem, TLogFilter::All, "a.txt"));
    EXPECT_FALSE(LogLineShown(info, TLogFilter::All, "a.txt"));
    EXPECT_TRUE(LogLineShown(info, TLogFilter::All, "10:00:01"));
    EXPECT_FALSE(LogLineShown(problem, TLogFilter::Problems, "finish"));
}

TEST_F(LogLines, TodaysFilesAreTheRunsStartedTodayOldestFirst) {
    for (const char* name : {"20261209080000000.log", "20261208235959999.log",
                             "20261209073000500.log", "20261209.txt", ".20261209000000000.log"})
        WriteFile(logDir + name, "x\r\n");
    const auto today = LogFilesOfDay(logDir, EncodeDate(2026, 12, 9));
    const std::string current = LogFileName();  // this run's, opened at 10:00
    EXPECT_EQ(today, (std::vector<std::string>{logDir + "20261209073000500.log",
                                               logDir + "20261209080000000.log", current}));
    const auto all = LogFilesNewestFirst(logDir);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all.front(), current);
    EXPECT_EQ(all.back(), logDir + "20261208235959999.log");
}

}  // namespace
