#include "common/base/datetime.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr int64_t kMsPerDayInt = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// Day 0 of the serials is 1899-12-30.
const int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Splits a value into whole days and milliseconds of the day. The time of a negative value
// counts forward from midnight, as the serials define it.
void Split(TDateTime value, int64_t& days, int64_t& ms) {
    double whole = std::trunc(value);
    days = static_cast<int64_t>(whole);
    ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (ms >= kMsPerDayInt) {
        ms -= kMsPerDayInt;
        days += value < 0 ? -1 : 1;
    }
}

}  // namespace

TDateTime Now() { return Clock().Now(); }

TDateTime Date() { return std::floor(Now()); }

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    out = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime out = 0;
    if (!TryEncodeDate(year, month, day, out))
        throw EConvertError("Invalid argument to date encode");
    return out;
}

bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& out) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 ||
        ms > 999)
        return false;
    out = ((hour * 3600 + minute * 60 + second) * 1000.0 + ms) / kMsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int ms) {
    TDateTime out = 0;
    if (!TryEncodeTime(hour, minute, second, ms, out))
        throw EConvertError("Invalid argument to time encode");
    return out;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& ms) {
    int64_t days = 0, msOfDay = 0;
    Split(value, days, msOfDay);
    CivilFromDays(days + kEpochOffset, year, month, day);
    hour = static_cast<int>(msOfDay / 3600000);
    minute = static_cast<int>(msOfDay / 60000 % 60);
    second = static_cast<int>(msOfDay / 1000 % 60);
    ms = static_cast<int>(msOfDay % 1000);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    int h, n, s, ms;
    DecodeDateTime(value, year, month, day, h, n, s, ms);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms) {
    int y, m, d;
    DecodeDateTime(value, y, m, d, hour, minute, second, ms);
}

int DayOfTheWeek(TDateTime value) {
    int64_t days = 0, ms = 0;
    Split(value, days, ms);
    // Day 0 (1899-12-30) was a Saturday.
    int64_t w = ((days + 5) % 7 + 7) % 7;  // 0 = Monday
    return static_cast<int>(w) + 1;
}

TDateTime DateOf(TDateTime value) { return std::trunc(value); }

TDateTime TimeOf(TDateTime value) { return std::fabs(value - std::trunc(value)); }

TDateTime DateTimeFromTm(const std::tm& tm, int ms) {
    TDateTime date = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    TDateTime time = EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec, ms);
    return date >= 0 ? date + time : date - time;
}

std::tm TmFromDateTime(TDateTime value) {
    std::tm tm{};
    int y, m, d, h, n, s, ms;
    DecodeDateTime(value, y, m, d, h, n, s, ms);
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = n;
    tm.tm_sec = s;
    tm.tm_wday = DayOfTheWeek(value) % 7;
    tm.tm_isdst = -1;
    return tm;
}

TDateTime DateTimeFromTimeT(std::time_t t, int ms) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return DateTimeFromTm(tm, ms);
}

std::time_t TimeTFromDateTime(TDateTime value) {
    std::tm tm = TmFromDateTime(value);
    return mktime(&tm);
}

bool FileModifiedTime(const std::string& path, TDateTime& out) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    out = DateTimeFromTimeT(st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
    return true;
}
