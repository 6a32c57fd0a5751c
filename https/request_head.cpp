#include "https/request_head.h"

namespace {

void AddHeader(std::string& out, const char* name, const std::string& value) {
    if (value.empty()) return;
    out += "\r\n";
    out += name;
    out += ": ";
    out += value;
}

}  // namespace

std::string BuildRequestHead(const TRequestHead& head) {
    const TURLParts& target = *head.Target;
    std::string out = head.Method + " ";
    if (head.ThroughProxy) {
        // A proxy needs the absolute form; the port is left out only when it is 443.
        out += target.Scheme + "://" + target.Server;
        if (target.Port != 443) out += ":" + std::to_string(target.Port);
    }
    out += target.Path + " HTTP/1.0";
    // The Host line never carries a port.
    out += "\r\nHost: " + target.Server;
    AddHeader(out, "Authorization", BasicCredentials(target.User, target.Password));
    // Proxy credentials go only to a proxy that reads this head; through a tunnel or
    // without a proxy they would reach the origin server.
    if (head.ThroughProxy)
        AddHeader(out, "Proxy-Authorization", BasicCredentials(head.ProxyUser, head.ProxyPassword));
    AddHeader(out, "Accept", head.Accept);
    AddHeader(out, "User-Agent", head.UserAgent);
    out += "\r\n";
    return out;
}

std::string BuildRequestEnd(const std::string& contentType, std::optional<uint64_t> contentLength) {
    if (!contentLength) return "\r\n";
    std::string out;
    if (!contentType.empty()) out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + std::to_string(*contentLength) + "\r\n\r\n";
    return out;
}
