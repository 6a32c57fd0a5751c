#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Header and body helpers of the mail parser. A part is a run of lines; its header block ends
// at its first empty line.
using TLineSpan = std::span<const std::string_view>;

// Finds the first line that starts with name (upper-case, ending with ":") compared without
// regard to case, and returns it with its continuation lines (following non-empty lines that
// start with a blank or a TAB) trimmed and appended without a separator. Unless searchAll is
// set, the search ends at the first empty line.
bool FindHeader(std::string_view name, TLineSpan lines, std::string& line, bool searchAll = false);

// The trimmed text after the first occurrence of name in the line (compared without regard to
// case), cut before its first ";". With "NAME", "FILENAME" or "BOUNDARY" this is a parameter,
// still beginning with its "=".
std::string HeaderValue(std::string_view name, std::string_view line);

// Value of the header name in lines, or nullopt when the header is absent.
std::optional<std::string> FindHeaderValue(std::string_view name, TLineSpan lines);

// Replaces every encoded word "=?charset?X?text?=" by its bytes ("Q": quoted-printable,
// "B": Base64, another letter: nothing); the character set is ignored.
std::string DecodeHeader(std::string_view text);

// An address list in the form "name" <address>, ", " between the items.
std::string FormatAddressList(std::string_view value);

struct TPartHeader {
    std::string contentType;  // upper-case media type, "TEXT/PLAIN" when absent
    std::string fileName;     // decoded name or file name parameter, may be empty
    std::string encoding;     // upper-case transfer encoding, "7BIT" when absent
};
TPartHeader GetPartHeader(TLineSpan lines);

// The body: the lines after the leading non-blank lines and the blank lines that follow them.
TLineSpan StripHeaders(TLineSpan lines);

struct TUuBegin {
    std::size_t index;
    std::string name;
};
// The first "begin" line of a uuencoded block at or after from: longer than 10 characters,
// "begin" in any case, then a mode of three digits between 1 and 776.
std::optional<TUuBegin> FindUuBegin(TLineSpan lines, std::size_t from = 0);
// The file name of a line that begins a uuencoded block as FindUuBegin finds it, or nullopt.
std::optional<std::string> UuBeginName(std::string_view line);

// Whether the lines that next hands out one at a time (false at the end) start with the header
// block of a mail: a header field ("Name: value", the name of letters, digits and the other
// token characters) on the first line, or on the second after a mailbox separator line
// ("From " ...), and among the fields before the first empty line at least one that every
// mail carries (From, To, Subject, Date, Message-ID, ...). An empty answer, an HTML page or a
// line of error text has none. Only the lines up to that field are read.
bool HasMailHeaderBlock(const std::function<bool(std::string_view&)>& next);

// The delimiter line of a multipart ("--" and the boundary parameter), or nullopt when the
// content-type line carries no boundary.
std::optional<std::string> GetBoundary(std::string_view contentTypeLine);
