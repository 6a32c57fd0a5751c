#include "mail/encodings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "common/base/text.h"

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void QuotedPrintableDecode(std::string& text) {
    std::size_t in = 0, out = 0;
    const std::size_t n = text.size();
    while (in < n) {
        char c = text[in];
        if (c != '=') {
            text[out++] = c;
            ++in;
            continue;
        }
        if (in + 1 < n && (text[in + 1] == '\r' || text[in + 1] == '\n')) {
            // A soft line break: "=" CR LF goes whole; a lone CR or LF takes no text character
            // with it.
            in += (text[in + 1] == '\r' && in + 2 < n && text[in + 2] == '\n') ? 3 : 2;
            continue;
        }
        if (in + 2 >= n) break;
        int hi = HexDigit(text[in + 1]), lo = HexDigit(text[in + 2]);
        text[out++] = (hi < 0 || lo < 0) ? '@' : char(hi * 16 + lo);
        in += 3;
    }
    text.resize(out);
}

std::string QuotedPrintableDecoded(std::string_view text) {
    std::string s(text);
    QuotedPrintableDecode(s);
    return s;
}

unsigned UuValue(unsigned char c) {
    if (c >= 33 && c <= 95) return c - 32u;
    if (c == 96 || c == 32) return 0;
    throw std::runtime_error("Oops...");
}

void TUuDecoder::Line(std::string_view line) {
    // Blank lines carry nothing, wherever they are: before the begin line, among the data
    // lines, before the "end" line.
    if (stopped_ || TrimView(line).empty()) return;
    if (!begun_) {
        begun_ = true;
        return;
    }
    if (TrimView(line) == "end" || (decoded_ && line == "`")) {
        stopped_ = true;
        return;
    }
    const unsigned count = UuValue(static_cast<unsigned char>(line[0]));
    std::string_view data =
        line.substr(1, count == 45 ? 60 : std::min<std::size_t>(line.size() - 1, 60));
    // Up to 60 characters give up to 45 bytes; a count above what the line carries (a line
    // whose trailing blanks were stripped) is made up with zero bytes.
    std::array<std::uint8_t, 64> bytes{};
    unsigned bits = 0, acc = 0;
    std::size_t made = 0;
    for (char ch : data) {
        acc = (acc << 6) | UuValue(static_cast<unsigned char>(ch));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes[made++] = std::uint8_t(acc >> bits);
            acc &= (1u << bits) - 1;
        }
    }
    if (bits > 0 && made < bytes.size()) bytes[made] = std::uint8_t(acc << (8 - bits));
    out_.Write(bytes.data(), count);
    decoded_ = true;
}

void UUDecode(std::span<const std::string_view> lines, TMailStream& out) {
    TUuDecoder decoder(out);
    for (std::string_view line : lines) decoder.Line(line);
}
