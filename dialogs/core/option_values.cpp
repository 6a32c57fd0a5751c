#include "dialogs/core/option_values.h"

#include <cstdio>

std::vector<std::string> HourItems() {
    std::vector<std::string> items;
    char text[8];
    for (int hour = 1; hour <= 12; ++hour) {
        std::snprintf(text, sizeof text, "%02d", hour);
        items.push_back(text);
    }
    return items;
}

std::vector<std::string> MinuteItems() {
    std::vector<std::string> items;
    char text[8];
    for (int minute = 0; minute < 60; minute += 5) {
        std::snprintf(text, sizeof text, "%02d", minute);
        items.push_back(text);
    }
    return items;
}

std::vector<std::string> AmPmItems() { return {"AM", "PM"}; }

std::vector<std::string> AgeUnitItems() { return {"Days", "Weeks", "Months"}; }

THousekeepAge AgeFromDays(int days) {
    if (days % 7 == 0 && days % 30 != 0) return {days / 7, "Weeks"};
    if (days % 30 != 0) return {days, "Days"};
    return {days / 30, "Months"};
}

int DaysFromAge(const THousekeepAge& age) {
    if (age.Unit == "Weeks") return age.Number * 7;
    if (age.Unit == "Months") return age.Number * 30;
    return age.Number;
}

bool AcceptDigitKey(char key) { return (key >= '0' && key <= '9') || key == '\b'; }
