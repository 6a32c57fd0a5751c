#pragma once

#include <ctime>
#include <stdexcept>
#include <string>

#include "common/base/clock.h"

// Date-time values: day serials counted from 1899-12-30 (day 0), the time of day as the
// fraction, local time. Dates stored as integers are whole day numbers.

// Raised when a text or number is not a valid date or time.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

constexpr double kMsPerDay = 86400000.0;

// The current date and time (through Clock()).
TDateTime Now();
// Today at 00:00 (through Clock()).
TDateTime Date();

// Builds a date (raises EConvertError for an invalid one) or a time of day (fraction).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int ms);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& out);
// Splits a value into its parts; the time is rounded to the nearest millisecond.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& ms);
// 1 = Monday ... 7 = Sunday.
int DayOfTheWeek(TDateTime value);
// The whole day part and the time-of-day part.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// Local broken-down time and epoch seconds.
TDateTime DateTimeFromTm(const std::tm& tm, int ms = 0);
std::tm TmFromDateTime(TDateTime value);
TDateTime DateTimeFromTimeT(std::time_t t, int ms = 0);
std::time_t TimeTFromDateTime(TDateTime value);

// Last-modified time of a file as local date-time; false when the file cannot be stat'ed.
bool FileModifiedTime(const std::string& path, TDateTime& out);

// Formats value: yyyy, MM (or mm outside a time), dd, hh (00-23, or 01-12 when AM/PM or
// ampm appears), nn, ss, z (ms without leading zeros), zzz (ms with three digits), AM/PM
// (literal markers), ampm ("AM"/"PM"), "/" and ":" the date and time separators; text in
// double or single quotes is copied; every other character is copied as it is.
std::string FormatDateTime(const std::string& pattern, TDateTime value);

// Text to date in the short date format yyyy/MM/dd (also one-digit month and day).
TDateTime StrToDate(const std::string& text);  // raises EConvertError
bool TryStrToDate(const std::string& text, TDateTime& out);
// Text to time of day: hour, ":", minute, optional ":" second, optional AM or PM (with or
// without a blank before it, any case). Raises EConvertError when malformed.
TDateTime StrToTime(const std::string& text);
bool TryStrToTime(const std::string& text, TDateTime& out);
