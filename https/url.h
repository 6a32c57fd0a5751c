#pragma once

// The parsed target of a request and the credentials that may come with its authority.

#include <cstdint>
#include <string>

#include "common/base/text.h"

inline constexpr const char* kDefaultScheme = "https";
inline constexpr uint16_t kDefaultPort = 443;

struct TURLParts {
    std::string URL;  // the text as assigned
    std::string Scheme = kDefaultScheme;
    std::string Server;
    uint16_t Port = kDefaultPort;
    std::string Path;
    // Credentials: set by the User/Password properties or by "user:password@" in a URL.
    std::string User;
    std::string Password;
};

// Parses text into parts. With keepScheme (a redirect target) the current scheme and port
// remain unless the text names them, so a relative target resolves against the current
// server. Credentials are dropped when the authority names another server.
void ParseURL(TURLParts& parts, const std::string& text, bool keepScheme = false);

// "Basic " + Base64(user ":" password), or empty when both are empty.
std::string BasicCredentials(const std::string& user, const std::string& password);

// Standard Base64 (RFC 4648 alphabet, "=" padding).
std::string EncodeBase64(const std::string& bytes);
