// Stored passwords. Each byte is XOR-ed with PasswordKey, as always; but some results cannot
// live in a profile line: "a", "f" and "k" give LF, CR and NUL, and "K" and "b" give a blank
// and a TAB, which the reader trims at either end of a value; "I" and "L" give a double and a
// single quote, and the reader drops a matching pair of them around a value. Those results are
// stored as an escape pair: "k" and a digit (for the quotes, only the first of such a pair).
// "k" itself is a safe escape because plain scrambling yields it only for a NUL byte, which no
// typed password holds, so a value written the plain way reads back exactly as before.
#include "common/password.h"

#include "common/settings.h"

namespace {

constexpr char kEscape = 'k';
// The scrambled bytes that need an escape, indexed by the digit after it.
constexpr char kEscaped[] = {'\0', '\n', '\r', ' ', '\t', kEscape, '"', '\''};
constexpr int kEscapedCount = sizeof(kEscaped);

// The escape digit for scrambled[i], or -1 when the byte is stored as it is.
int EscapeDigit(const std::string& scrambled, std::size_t i) {
    const char c = scrambled[i];
    const bool atEnd = i == 0 || i + 1 == scrambled.size();
    bool needed = c == '\0' || c == '\n' || c == '\r' || c == kEscape;
    if (c == ' ' || c == '\t') needed = atEnd;
    if (c == '"' || c == '\'') needed = i == 0 && scrambled.size() >= 2 && scrambled.back() == c;
    if (!needed) return -1;
    for (int digit = 0; digit < kEscapedCount; ++digit)
        if (kEscaped[digit] == c) return digit;
    return -1;
}

}  // namespace

std::string ScramblePassword(const std::string& text, unsigned char key) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) ^ key);
    return out;
}

std::string EncodeStoredPassword(const std::string& password) {
    const std::string scrambled = ScramblePassword(password, PasswordKey);
    std::string out;
    for (std::size_t i = 0; i < scrambled.size(); ++i) {
        const int digit = EscapeDigit(scrambled, i);
        if (digit < 0) {
            out += scrambled[i];
        } else {
            out += kEscape;
            out += static_cast<char>('0' + digit);
        }
    }
    return out;
}

std::string DecodeStoredPassword(const std::string& stored) {
    std::string scrambled;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        char c = stored[i];
        if (c == kEscape && i + 1 < stored.size() && stored[i + 1] >= '0' &&
            stored[i + 1] < '0' + kEscapedCount) {
            scrambled += kEscaped[stored[++i] - '0'];
        } else {
            scrambled += c;
        }
    }
    return ScramblePassword(scrambled, PasswordKey);
}

std::string ReadPassword(const TIniFile& ini, const std::string& section, const std::string& key) {
    return DecodeStoredPassword(ini.ReadString(section, key, ""));
}

void WritePassword(TIniFile& ini, const std::string& section, const std::string& key,
                   const std::string& password) {
    ini.WriteString(section, key, EncodeStoredPassword(password));
}
