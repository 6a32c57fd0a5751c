// The receive schedule on the manual clock: next times, the minute that triggers, the log
// lines and the status-bar text.

#include "gateway/schedule.h"

#include <gtest/gtest.h>

#include "common/base/datetime.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"

namespace {

class ScheduleTest : public testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock_);
        OpenLog(dir_.Path(), 2);
        ScheduleInfo = TScheduleInfo{};
    }
    void TearDown() override {
        CloseLog();
        SetClock(nullptr);
    }
    // Moves the clock to date at hh:nn:ss.
    void At(int y, int m, int d, int hh, int nn, int ss = 0) {
        clock_.Set(EncodeDate(y, m, d) + EncodeTime(hh, nn, ss, 0));
    }
    static std::string Text(TDateTime value) {
        return FormatDateTime("yyyy/MM/dd hh:nn:ss", value);
    }
    std::string LastLine() { return LogMessages(LogFileName()).back(); }

    TTempDir dir_;
    TManualClock clock_;
    TDateTime LastConnectTime = 0;  // the controller keeps it in the program
};

TEST_F(ScheduleTest, EveryNMinutesCountsFromTheLastAttempt) {
    ScheduleInfo.ConnectOption = "2";
    ScheduleInfo.ConnectEveryMin = 30;
    At(2026, 12, 9, 8, 0, 20);
    LastConnectTime = Now();
    const TDateTime next = ComputeNextConnection(LastConnectTime);
    EXPECT_EQ(Text(next), "2026/12/09 08:30:20");
    EXPECT_EQ(LastLine(), "Quillbern Dovrant are scheduled to connect every 30 minutes.");
    At(2026, 12, 9, 8, 30, 59);
    EXPECT_TRUE(InScheduledMinute(Now(), next));
    At(2026, 12, 9, 8, 31, 0);
    EXPECT_FALSE(InScheduledMinute(Now(), next));
    At(2026, 12, 9, 8, 31, 5);  // the receive ended here
    LastConnectTime = Now();
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/09 09:01:05");
}

TEST_F(ScheduleTest, DailyAtATimeMovesOnOnceTheMinuteIsUsed) {
    ScheduleInfo.ConnectOption = "3";
    ScheduleInfo.ConnectAtCycle = "1";
    ScheduleInfo.ConnectAtTime = EncodeTime(9, 0, 0, 0);
    At(2026, 12, 9, 7, 0);
    LastConnectTime = Now();
    At(2026, 12, 9, 8, 59);
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/09 09:00:00");
    EXPECT_EQ(LastLine(), "Quillbern Dovrant are scheduled to connect at 09:00 AM everyday.");
    At(2026, 12, 9, 9, 0, 30);
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/09 09:00:00");
    At(2026, 12, 9, 9, 0, 40);
    LastConnectTime = Now();
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/10 09:00:00");
    At(2026, 12, 9, 9, 1);
    LastConnectTime = EncodeDate(2026, 12, 1);
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/10 09:00:00");
}

TEST_F(ScheduleTest, WeekdaysTakeTheNextChosenDayWithinEightDays) {
    ScheduleInfo.ConnectOption = "3";
    ScheduleInfo.ConnectAtCycle = "3";
    ScheduleInfo.ConnectAtTime = EncodeTime(22, 0, 0, 0);
    ScheduleInfo.ConnectAtDays = "1,3,";
    LastConnectTime = EncodeDate(2026, 12, 1);
    At(2026, 12, 8, 12, 0);  // a Tuesday
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/09 22:00:00");
    EXPECT_EQ(LastLine(),
              "Quillbern Dovrant are scheduled to connect at 10:00 PM every Monday,Wednesday.");
    At(2026, 12, 9, 22, 30);  // Wednesday, after the time
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/14 22:00:00");
    ScheduleInfo.ConnectAtDays = "3,";  // only today's digit: the same day next week
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/12/16 22:00:00");
    ScheduleInfo.ConnectAtDays = "";
    EXPECT_EQ(ComputeNextConnection(LastConnectTime), 0);
    EXPECT_EQ(DaysText("7,1,x,3,3"), "Monday,Wednesday,Sunday");
    EXPECT_EQ(DaysText(""), "");
}

TEST_F(ScheduleTest, OneDateManualAndUnknownOptions) {
    ScheduleInfo.ConnectOption = "3";
    ScheduleInfo.ConnectAtCycle = "2";
    ScheduleInfo.ConnectAtOn = EncodeDate(2026, 1, 5);  // already past: never matches
    ScheduleInfo.ConnectAtTime = EncodeTime(13, 15, 0, 0);
    At(2026, 12, 9, 10, 0);
    EXPECT_EQ(Text(ComputeNextConnection(LastConnectTime)), "2026/01/05 13:15:00");
    EXPECT_EQ(LastLine(), "Quillbern Dovrant are scheduled to connect at 2026/01/05 01:15 PM.");
    EXPECT_EQ(LastConnectTime, Now());

    ScheduleInfo.ConnectOption = "1";
    EXPECT_EQ(ComputeNextConnection(LastConnectTime), 0);
    EXPECT_EQ(LastLine(), "Quillbern Dovrant has no planned schedule.");

    ScheduleInfo.ConnectOption = "9";
    EXPECT_EQ(ComputeNextConnection(LastConnectTime), 0);
    EXPECT_EQ(LastLine().rfind("Unable to get the next connection time for the scheduler. ", 0),
              0u);
    EXPECT_EQ(NextConnectionText(0), "Next connection time for receive: 1899/12/30 12:00 AM");
}

}  // namespace
