#pragma once

#include <string>
#include <string_view>

#include "common/base/text.h"

// Byte-text helpers of the mail model. Mail text is 8-bit: only ASCII letters change case,
// every other byte stays as it is.
namespace mailtext {

using ::LowerCase;
using ::SameText;
using ::UpperCase;
// True when text contains part, compared without regard to ASCII case (part upper-case).
bool ContainsUpper(std::string_view text, std::string_view upperPart);
// Position of upperPart in text compared without regard to ASCII case, or npos.
std::size_t FindUpper(std::string_view text, std::string_view upperPart, std::size_t from = 0);
// True when text starts with upperPart, compared without regard to ASCII case.
bool StartsWithUpper(std::string_view text, std::string_view upperPart);

}  // namespace mailtext
