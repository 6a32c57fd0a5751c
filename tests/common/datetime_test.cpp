#include "common/base/datetime.h"

#include <gtest/gtest.h>

#include "tests/common/test_support.h"

TEST(DateTime, SerialsCountFromThe30thOfDecember1899) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1899, 12, 31), 1);
    EXPECT_EQ(EncodeDate(2024, 1, 15), 45306);
    EXPECT_EQ(EncodeDate(1900, 3, 1), 61);
    int y, m, d;
    DecodeDate(45306.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20240115);
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 1, 15)), 1);  // a Monday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 1, 21)), 7);
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
}

TEST(DateTime, FormatsThePatternsOfLogsAndDialogs) {
    TDateTime t = EncodeDate(2024, 1, 15) + EncodeTime(9, 30, 5, 123);
    EXPECT_EQ(FormatDateTime("yyyy/MM/dd hh:nn:ss", t), "2024/01/15 09:30:05");
    EXPECT_EQ(FormatDateTime("yyyymmddhhnnssz", t), "20240115093005123");
    EXPECT_EQ(FormatDateTime("yyyymmddhhnnssz", EncodeDate(2024, 1, 15) + EncodeTime(9, 30, 5, 7)),
              "202401150930057");
    EXPECT_EQ(FormatDateTime("hh:nn AM/PM", EncodeTime(0, 5, 0, 0)), "12:05 AM");
    EXPECT_EQ(FormatDateTime("hh:nn AM/PM", EncodeTime(12, 0, 0, 0)), "12:00 PM");
    EXPECT_EQ(FormatDateTime("hh:nn AM/PM", EncodeTime(21, 45, 0, 0)), "09:45 PM");
    EXPECT_EQ(FormatDateTime("hh:nnampm", EncodeTime(21, 45, 0, 0)), "09:45PM");
    EXPECT_EQ(FormatDateTime("hh:mm", EncodeTime(21, 45, 0, 0)), "21:45");
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", EncodeTime(23, 59, 59, 999)), "23:59:59.999");
    EXPECT_EQ(FormatDateTime("yyyy/MM/dd", 1), "1899/12/31");
}

TEST(DateTime, MillisecondsSurviveTheRoundTripThroughTheSerial) {
    // Every millisecond of a day decodes back to itself, also far from day 0.
    for (int ms = 0; ms < 86400000; ms += 997) {
        TDateTime t = 45306 + ms / kMsPerDay;
        int h, n, s, z;
        DecodeTime(t, h, n, s, z);
        ASSERT_EQ(((h * 60 + n) * 60 + s) * 1000 + z, ms);
    }
}

TEST(DateTime, ParsesDatesAndTimesOfTheSettings) {
    EXPECT_EQ(StrToDate("2024/01/15"), EncodeDate(2024, 1, 15));
    EXPECT_EQ(StrToDate("2024/1/5"), EncodeDate(2024, 1, 5));
    TDateTime out;
    EXPECT_FALSE(TryStrToDate("2024-01-15", out));
    EXPECT_FALSE(TryStrToDate("2024/02/30", out));
    EXPECT_DOUBLE_EQ(StrToTime("09:30AM"), EncodeTime(9, 30, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("12:15am"), EncodeTime(0, 15, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("12:15 PM"), EncodeTime(12, 15, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("01:00PM"), EncodeTime(13, 0, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("17:20:30"), EncodeTime(17, 20, 30, 0));
    for (const char* bad : {"", "9", "9:", "25:00", "13:00PM", "09:30XM", "09:61", "ab:cd"})
        EXPECT_FALSE(TryStrToTime(bad, out)) << bad;
}

TEST(DateTime, NowAndDateComeFromTheInstalledClock) {
    TManualClock clock(EncodeDate(2024, 1, 31) + EncodeTime(8, 0, 0, 0));
    SetClock(&clock);
    EXPECT_EQ(Date(), EncodeDate(2024, 1, 31));
    SleepMs(3000);
    EXPECT_EQ(FormatDateTime("hh:nn:ss", Now()), "08:00:03");
    SetClock(nullptr);
    EXPECT_GT(Now(), EncodeDate(2024, 1, 1));
}

TEST(DateTime, LocalTimeConversionsAgree) {
    TTempDir dir;
    const std::string file = dir.Path() + "f";
    WriteFile(file, "x");
    TDateTime value = EncodeDate(2023, 7, 1) + EncodeTime(13, 14, 15, 0);
    SetModified(file, value);
    TDateTime modified = 0;
    ASSERT_TRUE(FileModifiedTime(file, modified));
    EXPECT_EQ(FormatDateTime("yyyy/MM/dd hh:nn:ss", modified), "2023/07/01 13:14:15");
    EXPECT_FALSE(FileModifiedTime(dir.Path() + "missing", modified));
    EXPECT_EQ(DateTimeFromTimeT(TimeTFromDateTime(value)), value);
}
