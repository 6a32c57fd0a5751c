#include "https/url.h"

#include <cctype>

namespace {

// A port is the decimal number at the start of text; anything that is no valid port reads
// as 0, which the connection refuses, rather than wrapping round onto another port.
uint16_t ReadPort(const std::string& text) {
    unsigned long value = 0;
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        value = value * 10 + static_cast<unsigned long>(text[digits] - '0');
        if (value > 65535) return 0;
        ++digits;
    }
    return static_cast<uint16_t>(value);
}

void ParseAuthority(TURLParts& parts, const std::string& authority) {
    // The port separator is the first ":" unless an "@" follows it: then user info holds
    // that ":" and the port comes after the (last) "@".
    const size_t at = authority.rfind('@');
    size_t colon = authority.find(':');
    if (colon != std::string::npos && at != std::string::npos && at > colon)
        colon = authority.find(':', at + 1);
    std::string host = authority;
    if (colon != std::string::npos) {
        parts.Port = ReadPort(authority.substr(colon + 1));
        host = authority.substr(0, colon);
    }
    if (host != parts.Server && !parts.Server.empty()) {
        parts.User.clear();
        parts.Password.clear();
    }
    const size_t hostAt = host.rfind('@');
    if (hostAt == std::string::npos) {
        parts.Server = host;
        return;
    }
    const std::string userInfo = host.substr(0, hostAt);
    parts.Server = host.substr(hostAt + 1);
    const size_t userColon = userInfo.find(':');
    parts.User = userInfo.substr(0, userColon);
    if (userColon != std::string::npos) parts.Password = userInfo.substr(userColon + 1);
}

}  // namespace

void ParseURL(TURLParts& parts, const std::string& text, bool keepScheme) {
    parts.URL = text;
    if (!keepScheme) {
        parts.Scheme = kDefaultScheme;
        parts.Port = kDefaultPort;
    }
    parts.Path.clear();

    std::string rest = text;
    const size_t colon = text.find(':');
    if (!text.starts_with("/") && colon != std::string::npos) {
        parts.Scheme = text.substr(0, colon);
        if (SameText(parts.Scheme, "http")) parts.Port = 80;
        if (SameText(parts.Scheme, "https")) parts.Port = 443;
        rest = text.substr(colon + 1);
    }

    if (rest.starts_with("//")) {
        std::string authority = rest.substr(2);
        size_t pathStart = authority.find('/');
        if (pathStart == std::string::npos) pathStart = authority.find('?');
        if (pathStart != std::string::npos) {
            parts.Path = authority.substr(pathStart);
            authority.resize(pathStart);
        }
        ParseAuthority(parts, authority);
    } else if (rest.starts_with("/")) {
        parts.Path = rest;
    } else {
        if (parts.Path.empty()) parts.Path = "/";
        parts.Path += rest;
    }
    if (parts.Path.empty()) parts.Path = "/";
}

std::string EncodeBase64(const std::string& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t n = (static_cast<uint8_t>(bytes[i]) << 16) |
                           (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                           static_cast<uint8_t>(bytes[i + 2]);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    const size_t left = bytes.size() - i;
    if (left > 0) {
        uint32_t n = static_cast<uint8_t>(bytes[i]) << 16;
        if (left == 2) n |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += left == 2 ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string BasicCredentials(const std::string& user, const std::string& password) {
    if (user.empty() && password.empty()) return {};
    return "Basic " + EncodeBase64(user + ":" + password);
}
