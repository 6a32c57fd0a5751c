#pragma once

// The bytes of an HTTP/1.0 request before its body.

#include <cstdint>
#include <optional>
#include <string>

#include "https/url.h"

struct TRequestHead {
    std::string Method;                 // "GET", "POST", "HEAD", "PUT"
    const TURLParts* Target = nullptr;  // server, port, path, credentials
    bool ThroughProxy = false;          // sent to a plain (non-tunnel) proxy
    std::string ProxyUser;
    std::string ProxyPassword;
    std::string Accept;
    std::string UserAgent;
};

// Request line and header lines, each line but the last ended by the next "\r\n", the last
// one ended by "\r\n" (no empty line yet):
//   GET /path HTTP/1.0\r\nHost: server\r\nUser-Agent: agent\r\n
std::string BuildRequestHead(const TRequestHead& head);

// What ends the head: "\r\n" for a request without body; for a request with a body
// (contentLength set) the optional Content-Type line, then Content-Length and the empty line.
std::string BuildRequestEnd(const std::string& contentType, std::optional<uint64_t> contentLength);
