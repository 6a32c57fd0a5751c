#include "mail/headers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>
#include <vector>

#include "mail/base64_stream.h"
#include "mail/encodings.h"
#include "mail/mail_text.h"

using mailtext::FindUpper;
using mailtext::UpperCase;

bool FindHeader(std::string_view name, TLineSpan lines, std::string& line, bool searchAll) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!searchAll && lines[i].empty()) return false;
        if (!mailtext::StartsWithUpper(lines[i], name)) continue;
        line.assign(lines[i]);
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            std::string_view next = lines[j];
            if (next.empty() || (next[0] != ' ' && next[0] != '\t')) break;
            line.append(TrimView(next));
        }
        return true;
    }
    return false;
}

std::string HeaderValue(std::string_view name, std::string_view line) {
    std::size_t at = FindUpper(line, name);
    if (at == std::string_view::npos) return {};
    std::string_view value = TrimView(line.substr(at + name.size()));
    if (std::size_t semi = value.find(';'); semi != std::string_view::npos)
        value = TrimView(value.substr(0, semi));
    return std::string(value);
}

std::optional<std::string> FindHeaderValue(std::string_view name, TLineSpan lines) {
    std::string line;
    if (!FindHeader(name, lines, line)) return std::nullopt;
    return HeaderValue(name, line);
}

// The text is worked on in one buffer: each decoded word is written back over the end of the
// encoded word it came from (it is never longer), and the scan goes on from its start, so the
// bytes of a decoded word can begin a further encoded word just as if the whole text had been
// scanned again, without the cost of rescanning it.
std::string DecodeHeader(std::string_view text) {
    std::string work(text), out;
    std::size_t r = 0;
    for (;;) {
        std::size_t k = work.find("=?", r);
        if (k == std::string::npos) break;
        std::size_t charsetEnd = work.find('?', k + 2);
        if (charsetEnd == std::string::npos || charsetEnd + 1 >= work.size()) break;
        char letter = work[charsetEnd + 1];
        std::size_t textStart = work.find('?', charsetEnd + 2);
        if (textStart == std::string::npos) break;
        std::size_t close = work.find("?=", textStart + 1);
        if (close == std::string::npos) break;
        std::string_view encoded(work.data() + textStart + 1, close - textStart - 1);
        std::string decoded;
        if (letter == 'Q' || letter == 'q')
            decoded = QuotedPrintableDecoded(encoded);
        else if (letter == 'B' || letter == 'b')
            decoded = Base64Decode(encoded);
        out.append(work, r, k - r);
        r = close + 2 - decoded.size();
        std::memcpy(work.data() + r, decoded.data(), decoded.size());
        if (!out.empty() && out.back() == '=') {
            // "=" before a decoded word starting with "?" opens an encoded word again.
            out.pop_back();
            work[--r] = '=';
        }
    }
    out.append(work, r);
    return out;
}

namespace {

// text without every part from open to close, both included; an open without its close
// removes the rest of the text.
std::string RemoveEnclosed(std::string_view text, char open, char close) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t a = text.find(open, i);
        if (a == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, a - i));
        std::size_t b = text.find(close, a + 1);
        if (b == std::string_view::npos) break;
        i = b + 1;
    }
    return out;
}

// The text between the first open and the following close (or the end), or nullopt.
std::optional<std::string_view> Enclosed(std::string_view text, char open, char close) {
    std::size_t a = text.find(open);
    if (a == std::string_view::npos) return std::nullopt;
    std::size_t b = text.find(close, a + 1);
    return text.substr(a + 1, b == std::string_view::npos ? std::string_view::npos : b - a - 1);
}

// Every double-quoted part goes, quotes included; a quote without its partner stays.
std::string RemoveQuoted(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t a = text.find('"', i);
        std::size_t b = a == std::string_view::npos ? a : text.find('"', a + 1);
        if (b == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, a - i));
        i = b + 1;
    }
    return out;
}

std::string FormatAddress(std::string_view element) {
    std::string name = RemoveEnclosed(DecodeHeader(element), '<', '>');
    if (auto inner = Enclosed(name, '(', ')')) name = std::string(*inner);
    std::erase_if(name, [](char c) { return c == '"' || c == '\''; });
    std::string address = RemoveEnclosed(element, '(', ')');
    std::string_view addr = TrimView(address);
    if (auto inner = Enclosed(addr, '<', '>')) addr = *inner;
    return "\"" + std::string(TrimView(name)) + "\" <" + std::string(addr) + ">";
}

// "%" with two hexadecimal digits is that byte; a "%" without them stays.
std::string PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        int hi = -1, lo = -1;
        if (text[i] == '%' && i + 2 < text.size()) {
            hi = HexDigit(text[i + 1]);
            lo = HexDigit(text[i + 2]);
        }
        if (hi < 0 || lo < 0) {
            out += text[i];
        } else {
            out += char(hi * 16 + lo);
            i += 2;
        }
    }
    return out;
}

// An extended value without its leading "charset'language'".
std::string_view WithoutCharset(std::string_view value) {
    std::size_t a = value.find('\'');
    std::size_t b = a == std::string_view::npos ? a : value.find('\'', a + 1);
    return b == std::string_view::npos ? value : value.substr(b + 1);
}

struct TParameter {
    std::string key;    // upper-case
    std::string value;  // without its quotes
};

// The parameters of a header line: its items between ";" outside quotes that hold a "=".
std::vector<TParameter> Parameters(std::string_view line) {
    std::vector<TParameter> out;
    for (std::size_t i = 0; i <= line.size();) {
        std::size_t j = i;
        for (bool quoted = false; j < line.size() && (quoted || line[j] != ';'); ++j)
            if (line[j] == '"') quoted = !quoted;
        std::string_view item = line.substr(i, j - i);
        if (std::size_t eq = item.find('='); eq != std::string_view::npos) {
            std::string_view value = TrimView(item.substr(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            out.push_back({UpperCase(TrimView(item.substr(0, eq))), std::string(value)});
        }
        i = j + 1;
    }
    return out;
}

// The value of the parameter upperName in its extended form: "name*=charset'language'text"
// with "%" escapes, or pieces "name*0=", "name*1=" ... joined in the order of their numbers,
// up to the first number missing; a piece whose number a "*" follows has "%" escapes, and the
// first such piece a charset and a language. Charset and language are dropped: the value is
// its bytes. As HeaderValue does, a key that ends with the name matches; the first one
// found decides which name the pieces belong to.
std::string ExtendedParameter(std::string_view line, std::string_view upperName) {
    std::map<unsigned, std::string> pieces;
    std::string stemFound;
    for (const TParameter& p : Parameters(line)) {
        std::size_t star = p.key.find('*');
        if (star == std::string::npos) continue;
        std::string_view stem = std::string_view(p.key).substr(0, star);
        std::string_view rest = std::string_view(p.key).substr(star + 1);
        if (!stem.ends_with(upperName) || (!stemFound.empty() && stem != stemFound)) continue;
        stemFound = stem;
        if (rest.empty()) return PercentDecoded(WithoutCharset(p.value));
        const bool escaped = rest.back() == '*';
        if (escaped) rest.remove_suffix(1);
        unsigned number = 0;
        auto [end, err] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        if (rest.empty() || err != std::errc() || end != rest.data() + rest.size()) continue;
        std::string_view value = p.value;
        if (escaped && number == 0) value = WithoutCharset(value);
        pieces.emplace(number, escaped ? PercentDecoded(value) : std::string(value));
    }
    std::string out;
    for (unsigned n = 0; pieces.contains(n); ++n) out += pieces[n];
    return out;
}

}  // namespace

std::string FormatAddressList(std::string_view value) {
    std::string unquoted = RemoveQuoted(value);
    std::string_view rest = unquoted;
    std::string out;
    for (;;) {
        std::size_t comma = rest.find(',');
        std::string_view element = rest.substr(0, comma);
        // Empty elements (a trailing comma) make no item.
        if (!TrimView(element).empty()) {
            if (!out.empty()) out += ", ";
            out += FormatAddress(element);
        }
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return out;
}

TPartHeader GetPartHeader(TLineSpan lines) {
    TPartHeader h;
    std::string line, nameLine;
    std::string_view nameParameter = "NAME";
    if (FindHeader("CONTENT-TYPE:", lines, line)) {
        h.contentType = UpperCase(HeaderValue("CONTENT-TYPE:", line));
        h.fileName = HeaderValue(nameParameter, line);
        nameLine = line;
    } else {
        h.contentType = "TEXT/PLAIN";
    }
    auto encoding = FindHeaderValue("CONTENT-TRANSFER-ENCODING:", lines);
    h.encoding = encoding ? UpperCase(*encoding) : "7BIT";
    if (h.fileName.empty() && FindHeader("CONTENT-DISPOSITION:", lines, line)) {
        nameParameter = "FILENAME";
        h.fileName = HeaderValue(nameParameter, line);
        nameLine = line;
    }
    if (!h.fileName.empty() && h.fileName.front() == '*') {
        h.fileName = ExtendedParameter(nameLine, nameParameter);
    } else if (!h.fileName.empty()) {
        std::string_view n = std::string_view(h.fileName).substr(1);
        n = TrimView(n.substr(0, n.find(';')));
        if (!n.empty() && (n.front() == '"' || n.front() == '\'')) n.remove_prefix(1);
        if (!n.empty() && (n.back() == '"' || n.back() == '\'')) n.remove_suffix(1);
        h.fileName = DecodeHeader(n);
    }
    return h;
}

TLineSpan StripHeaders(TLineSpan lines) {
    std::size_t i = 0;
    while (i < lines.size() && !TrimView(lines[i]).empty()) ++i;
    while (i < lines.size() && TrimView(lines[i]).empty()) ++i;
    return lines.subspan(i);
}

std::optional<std::string> UuBeginName(std::string_view line) {
    if (line.size() <= 10 || !mailtext::StartsWithUpper(line, "BEGIN")) return std::nullopt;
    int mode = 0;
    bool digits = true;
    for (char c : line.substr(6, 3)) {
        if (c < '0' || c > '9') digits = false;
        mode = mode * 10 + (c - '0');
    }
    if (!digits || mode <= 0 || mode >= 777) return std::nullopt;
    return std::string(TrimView(line.substr(10, 64)));
}

std::optional<TUuBegin> FindUuBegin(TLineSpan lines, std::size_t from) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (auto name = UuBeginName(lines[i])) return TUuBegin{i, std::move(*name)};
    return std::nullopt;
}

std::optional<std::string> GetBoundary(std::string_view contentTypeLine) {
    std::size_t at = FindUpper(contentTypeLine, "BOUNDARY");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view b = TrimView(contentTypeLine.substr(at + 8, 72));
    if (!b.empty()) b = TrimView(b.substr(1));
    if (!b.empty() && b.front() == '"') {
        b.remove_prefix(1);
        b = b.substr(0, b.find('"'));
    }
    b = TrimView(b.substr(0, b.find(';')));
    return "--" + std::string(b);
}

namespace {

// A header field line: a name of token characters, then ":".
bool IsHeaderFieldLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    return std::all_of(line.begin(), line.begin() + std::ptrdiff_t(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

bool IsMailField(std::string_view line) {
    for (std::string_view name :
         {"FROM:", "SENDER:", "TO:", "CC:", "SUBJECT:", "DATE:", "MESSAGE-ID:", "MIME-VERSION:",
          "CONTENT-TYPE:", "RECEIVED:", "RETURN-PATH:", "REPLY-TO:"})
        if (mailtext::StartsWithUpper(line, name)) return true;
    return false;
}

}  // namespace

bool HasMailHeaderBlock(const std::function<bool(std::string_view&)>& next) {
    std::string_view line;
    if (!next(line)) return false;
    // A mailbox separator line may come first.
    if (line.starts_with("From ") && !next(line)) return false;
    if (!IsHeaderFieldLine(line)) return false;
    do {
        if (line.empty()) return false;
        if (IsMailField(line)) return true;
    } while (next(line));
    return false;
}
