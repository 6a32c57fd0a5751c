#include "gateway/schedule.h"

#include <cmath>
#include <stdexcept>

#include "common/base/datetime.h"
#include "common/settings.h"
#include "common/syslog.h"

namespace {

const char* const kDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                 "Friday", "Saturday", "Sunday"};

// The moment without its seconds and milliseconds.
TDateTime ToMinute(TDateTime value) {
    int h, n, s, ms;
    DecodeTime(value, h, n, s, ms);
    return DateOf(value) + EncodeTime(h, n, 0, 0);
}

TDateTime EveryDay(TDateTime now, TDateTime at, TDateTime lastConnect) {
    const TDateTime today = DateOf(now);
    if (ToMinute(TimeOf(now)) > at) return today + 1 + at;
    return ToMinute(lastConnect) < today + at ? today + at : today + 1 + at;
}

TDateTime OnWeekdays(TDateTime now, TDateTime at, const std::string& days, TDateTime lastConnect) {
    if (days.empty()) return 0;
    // Day codes by (weekday mod 7): Sunday is 7.
    static const char kCodes[] = {'7', '1', '2', '3', '4', '5', '6'};
    const TDateTime today = DateOf(now);
    const int weekday = DayOfTheWeek(now);
    const TDateTime nowMinute = today + ToMinute(TimeOf(now));
    const TDateTime lastMinute = ToMinute(lastConnect);
    for (int k = 0; k <= 7; ++k) {
        if (days.find(kCodes[(weekday + k) % 7]) == std::string::npos) continue;
        const TDateTime candidate = today + k + at;
        if (nowMinute > candidate || lastMinute >= candidate) continue;
        return candidate;
    }
    return 0;
}

}  // namespace

std::string DaysText(const std::string& digits) {
    std::string text;
    for (int day = 1; day <= 7; ++day)
        if (digits.find(static_cast<char>('0' + day)) != std::string::npos)
            text += std::string(kDayNames[day - 1]) + ",";
    if (!text.empty()) text.pop_back();
    return text;
}

TDateTime ComputeNextConnection(TDateTime& lastConnect) {
    const TScheduleInfo& s = ScheduleInfo;
    try {
        const TDateTime now = Now();
        const char option = s.ConnectOption.empty() ? '\0' : s.ConnectOption[0];
        if (option == '1') {
            lastConnect = now;
            WriteLogQuietly("Quillbern Dovrant has no planned schedule.", 2);
            return 0;
        }
        if (option == '2') {
            WriteLogQuietly("Quillbern Dovrant are scheduled to connect every " +
                                std::to_string(s.ConnectEveryMin) + " minutes.",
                            2);
            return lastConnect + s.ConnectEveryMin / 60.0 / 24.0;
        }
        if (option != '3')
            throw std::runtime_error("'" + s.ConnectOption + "' is not a valid schedule option");
        const std::string at = FormatDateTime("hh:nn ampm", s.ConnectAtTime);
        if (s.ConnectAtCycle == "1") {
            const TDateTime next = EveryDay(now, s.ConnectAtTime, lastConnect);
            WriteLogQuietly("Quillbern Dovrant are scheduled to connect at " + at + " everyday.",
                            2);
            return next;
        }
        if (s.ConnectAtCycle == "2") {
            lastConnect = now;
            const TDateTime next = s.ConnectAtOn + s.ConnectAtTime;
            WriteLogQuietly("Quillbern Dovrant are scheduled to connect at " +
                                FormatDateTime("yyyy/MM/dd hh:nn ampm", next) + ".",
                            2);
            return next;
        }
        if (s.ConnectAtCycle == "3") {
            const TDateTime next = OnWeekdays(now, s.ConnectAtTime, s.ConnectAtDays, lastConnect);
            WriteLogQuietly("Quillbern Dovrant are scheduled to connect at " + at + " every " +
                                DaysText(s.ConnectAtDays) + ".",
                            2);
            return next;
        }
        return 0;
    } catch (const std::exception& e) {
        WriteLogQuietly(
            std::string("Unable to get the next connection time for the scheduler. ") + e.what(),
            1);
        return 0;
    }
}

std::string NextConnectionText(TDateTime next) {
    return "Next connection time for receive: " + FormatDateTime("yyyy/MM/dd hh:nn AM/PM", next);
}

bool InScheduledMinute(TDateTime now, TDateTime next) {
    return FormatDateTime("yyyy/MM/dd hh:nn", now) == FormatDateTime("yyyy/MM/dd hh:nn", next);
}
