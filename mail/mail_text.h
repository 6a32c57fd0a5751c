#pragma once

#include <string>
#include <string_view>

// Byte-text helpers of the mail model. Mail text is 8-bit: only ASCII letters change case,
// every other byte stays as it is.
namespace mailtext {

// Without leading and trailing blanks and control characters (bytes up to 32).
std::string_view Trim(std::string_view text);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// True when text contains part, compared without regard to ASCII case (part upper-case).
bool ContainsUpper(std::string_view text, std::string_view upperPart);
// Position of upperPart in text compared without regard to ASCII case, or npos.
std::size_t FindUpper(std::string_view text, std::string_view upperPart, std::size_t from = 0);
// True when text starts with upperPart, compared without regard to ASCII case.
bool StartsWithUpper(std::string_view text, std::string_view upperPart);

}  // namespace mailtext
