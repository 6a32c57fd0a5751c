#include "https/tunnel_layer.h"

#include "https/socket_errors.h"
#include "https/url.h"

namespace {

// A reply longer than this without its blank line is not a proxy speaking HTTP.
constexpr size_t kMaxReply = 65536;

bool HeaderEnded(const std::string& reply) {
    return reply.find("\r\n\r\n") != std::string::npos || reply.find("\n\n") != std::string::npos;
}

// The status code is what follows the first word and the blanks after it.
bool StatusGranted(const std::string& reply) {
    size_t space = reply.find(' ');
    if (space == std::string::npos) return false;
    size_t code = reply.find_first_not_of(' ', space);
    return code != std::string::npos && reply[code] == '2';
}

}  // namespace

std::string ConnectRequest(const std::string& host, uint16_t port, const std::string& user,
                           const std::string& password) {
    std::string request = "CONNECT " + host + ":" + std::to_string(port) + " HTTP/1.0\r\n";
    if (!user.empty() || !password.empty())
        request += "Proxy-authorization: " + BasicCredentials(user, password) + "\r\n";
    return request + "\r\n";
}

void TTunnelLayer::Negotiate(const std::string& host, uint16_t port) {
    TState state = TState::SendingRequest;
    while (state != TState::Granted) state = Step(state, host, port);
    // Anything the proxy sent after its blank line in the same piece is dropped.
}

TTunnelLayer::TState TTunnelLayer::Step(TState state, const std::string& host, uint16_t port) {
    switch (state) {
        case TState::SendingRequest:
            below_->Send(ConnectRequest(host, port, firewall_.User, firewall_.Password));
            return TState::AwaitingStatus;
        case TState::AwaitingStatus:
        case TState::AwaitingHeaderEnd:
            if (!GatherReply())
                Refuse(reply_.empty() ? std::string(SocketErrorText(10054)) : reply_);
            // The status is judged once more than 9 bytes are in, or earlier when the
            // blank line already came, so a short refusal is never taken as a grant.
            if (state == TState::AwaitingStatus && (reply_.size() > 9 || HeaderEnded(reply_))) {
                if (!StatusGranted(reply_)) Refuse(reply_);
                state = TState::AwaitingHeaderEnd;
            }
            if (state == TState::AwaitingHeaderEnd && HeaderEnded(reply_)) return TState::Granted;
            if (reply_.size() > kMaxReply) Refuse(reply_.substr(0, 1024));
            return state;
        case TState::Granted:
            break;
    }
    return state;
}
