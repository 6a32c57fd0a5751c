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
