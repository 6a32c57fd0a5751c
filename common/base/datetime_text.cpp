// Date-time values to and from text.
#include <cctype>
#include <cmath>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"

namespace {

std::string Pad(int value, int width) {
    std::string digits = std::to_string(value);
    while (static_cast<int>(digits.size()) < width) digits.insert(digits.begin(), '0');
    return digits;
}

bool StartsWithNoCase(const std::string& text, std::size_t pos, const char* word) {
    std::size_t n = std::char_traits<char>::length(word);
    return text.size() - pos >= n && SameText(text.substr(pos, n), word);
}

// Count of the run of character c (either case) starting at pos.
std::size_t RunLength(const std::string& text, std::size_t pos) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
    std::size_t n = 0;
    while (pos + n < text.size() && std::tolower(static_cast<unsigned char>(text[pos + n])) == c)
        ++n;
    return n;
}

}  // namespace

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
    int year, month, day, hour, minute, second, ms;
    DecodeDateTime(value, year, month, day, hour, minute, second, ms);
    const std::string lower = LowerCase(pattern);
    const bool twelveHour =
        lower.find("am/pm") != std::string::npos || lower.find("ampm") != std::string::npos;
    const int clockHour = twelveHour ? (hour % 12 == 0 ? 12 : hour % 12) : hour;

    std::string out;
    bool lastWasHour = false;  // an "m" right after an hour means minutes
    std::size_t i = 0;
    while (i < pattern.size()) {
        char c = pattern[i];
        char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '"' || c == '\'') {
            std::size_t close = pattern.find(c, i + 1);
            if (close == std::string::npos) close = pattern.size();
            out += pattern.substr(i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        if (StartsWithNoCase(pattern, i, "am/pm")) {
            bool upper = std::isupper(static_cast<unsigned char>(c));
            out += hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            i += 5;
            continue;
        }
        if (StartsWithNoCase(pattern, i, "ampm")) {
            out += hour < 12 ? "AM" : "PM";
            i += 4;
            continue;
        }
        std::size_t run = 0;
        switch (lc) {
            case 'y':
                run = RunLength(pattern, i);
                out += run <= 2 ? Pad(year % 100, 2) : Pad(year, 4);
                lastWasHour = false;
                break;
            case 'm':
                run = std::min<std::size_t>(RunLength(pattern, i), 2);
                out += Pad(lastWasHour ? minute : month, static_cast<int>(run));
                lastWasHour = false;
                break;
            case 'd':
            case 'h':
            case 'n':
            case 's':
                run = std::min<std::size_t>(RunLength(pattern, i), 2);
                out += Pad(lc == 'd'   ? day
                           : lc == 'h' ? clockHour
                           : lc == 'n' ? minute
                                       : second,
                           static_cast<int>(run));
                lastWasHour = lc == 'h';
                break;
            case 'z':
                run = RunLength(pattern, i) >= 3 ? 3 : 1;
                out += Pad(ms, static_cast<int>(run));
                break;
            default:
                // "/" and ":" are the date and time separators, which are "/" and ":" here.
                out += c;
                run = 1;
                break;
        }
        i += run;
    }
    return out;
}

namespace {

// Reads 1 to maxDigits decimal digits at pos.
bool ReadNumber(const std::string& text, std::size_t& pos, int maxDigits, int& value) {
    std::size_t start = pos;
    value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) &&
           static_cast<int>(pos - start) < maxDigits)
        value = value * 10 + (text[pos++] - '0');
    return pos > start;
}

}  // namespace

bool TryStrToDate(const std::string& text, TDateTime& out) {
    const std::string t = Trim(text);
    std::size_t pos = 0;
    int year, month, day;
    if (!ReadNumber(t, pos, 4, year) || pos >= t.size() || t[pos++] != '/') return false;
    if (!ReadNumber(t, pos, 2, month) || pos >= t.size() || t[pos++] != '/') return false;
    if (!ReadNumber(t, pos, 2, day) || pos != t.size()) return false;
    return TryEncodeDate(year, month, day, out);
}

TDateTime StrToDate(const std::string& text) {
    TDateTime out = 0;
    if (!TryStrToDate(text, out)) throw EConvertError("'" + text + "' is not a valid date");
    return out;
}

bool TryStrToTime(const std::string& text, TDateTime& out) {
    const std::string t = Trim(text);
    std::size_t pos = 0;
    int hour, minute, second = 0;
    if (!ReadNumber(t, pos, 2, hour) || pos >= t.size() || t[pos++] != ':') return false;
    if (!ReadNumber(t, pos, 2, minute)) return false;
    if (pos < t.size() && t[pos] == ':') {
        ++pos;
        if (!ReadNumber(t, pos, 2, second)) return false;
    }
    while (pos < t.size() && t[pos] == ' ') ++pos;
    if (pos < t.size()) {
        const std::string marker = t.substr(pos);
        bool pm = SameText(marker, "PM");
        if (!pm && !SameText(marker, "AM")) return false;
        if (hour > 12) return false;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    return TryEncodeTime(hour, minute, second, 0, out);
}

TDateTime StrToTime(const std::string& text) {
    TDateTime out = 0;
    if (!TryStrToTime(text, out)) throw EConvertError("'" + text + "' is not a valid time");
    return out;
}
