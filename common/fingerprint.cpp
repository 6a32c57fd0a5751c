#include "common/fingerprint.h"

#include <cctype>

std::string NormalizeFingerprint(const std::string& text) {
    std::string hex;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ':' || std::isspace(u)) continue;
        if (!std::isxdigit(u)) return {};
        hex += static_cast<char>(std::tolower(u));
    }
    return hex.size() == 64 ? hex : std::string();
}
