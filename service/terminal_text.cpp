#include "service/terminal_text.h"

#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at text[i] (0 when there is none) and its code point.
std::size_t Utf8At(const std::string& text, std::size_t i, unsigned& code) {
    const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned lead = byte(i);
    const std::size_t length = lead >= 0xf0 && lead <= 0xf4   ? 4
                               : lead >= 0xe0 && lead <= 0xef ? 3
                               : lead >= 0xc2 && lead <= 0xdf ? 2
                                                              : 0;
    if (length == 0 || i + length > text.size()) return 0;
    code = lead & (0xff >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3f);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool outside = code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff);
    return overlong || outside ? 0 : length;
}

}  // namespace

std::string TerminalText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned code = static_cast<unsigned char>(text[i]);
        std::size_t length = code < 0x80 ? 1 : Utf8At(text, i, code);
        const bool shown = length > 0 && code >= 0x20 && code != 0x7f &&
                           !(code >= 0x80 && code <= 0x9f) && !(code >= 0x2028 && code <= 0x202e) &&
                           !(code >= 0x2066 && code <= 0x2069);
        if (length == 0) length = 1;
        if (shown) {
            out.append(text, i, length);
        } else {
            for (std::size_t k = i; k < i + length; ++k) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02x",
                              static_cast<unsigned char>(text[k]));
                out += escape;
            }
        }
        i += length;
    }
    return out;
}
