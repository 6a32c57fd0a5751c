#pragma once

#include <string>
#include <string_view>

// Helpers for 8-bit texts. Only ASCII letters change case; every other byte stays as it is,
// so comparisons never depend on a locale or a character set.

bool SameText(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Without leading and trailing blanks and control characters (bytes up to 32).
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);
// A whole text as a 32-bit integer, as the program's number conversions always read them:
// leading blanks, an optional sign, decimal digits or hexadecimal after "$" or "0x" (all
// 32 bits: "$FFFFFFFF" is -1).
// False for anything else (also an empty text or a value out of range).
bool TryStrToInt(std::string_view text, int& value);
