#include "https/socks5_layer.h"

#include "https/socket_errors.h"

namespace {

constexpr unsigned char kMethodNone = 0;
constexpr unsigned char kMethodUserPassword = 2;
constexpr unsigned char kNoAcceptableMethod = 255;
constexpr unsigned char kAddressIPv4 = 1;
constexpr unsigned char kAddressName = 3;
constexpr unsigned char kAddressIPv6 = 4;

std::string LengthPrefixed(const std::string& text) {
    std::string field = text.substr(0, 255);
    return static_cast<char>(field.size()) + field;
}

std::string PortBytes(uint16_t port) {
    return {static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
}

}  // namespace

std::string Socks5Greeting(const std::string& user, const std::string& password) {
    if (!user.empty() && !password.empty()) return {5, 2, kMethodNone, kMethodUserPassword};
    return {5, 1, kMethodNone};
}

std::string Socks5Authentication(const std::string& user, const std::string& password) {
    return "\x01" + LengthPrefixed(user) + LengthPrefixed(password);
}

std::string Socks5ConnectByAddress(uint32_t address, uint16_t port) {
    std::string request{5, 1, 0, kAddressIPv4};
    request.append(reinterpret_cast<const char*>(&address), 4);  // already network order
    return request + PortBytes(port);
}

std::string Socks5ConnectByName(const std::string& name, uint16_t port) {
    return std::string{5, 1, 0, kAddressName} + LengthPrefixed(name) + PortBytes(port);
}

std::string Socks5ReplyText(unsigned char code) {
    switch (code) {
        case 1:
            return "general SOCKS server failure";
        case 2:
            return "connection not allowed by ruleset";
        case 3:
            return "network unreachable";
        case 4:
            return "host unreachable";
        case 5:
            return "connection refused";
        case 6:
            return "TTL expired";
        case 7:
            return "command not supported";
        case 8:
            return "address type not supported";
        default:
            return UnknownFirewallError(code);
    }
}

size_t Socks5ReplySize(std::string_view reply) {
    if (reply.size() < 5) return 0;
    switch (static_cast<unsigned char>(reply[3])) {
        case kAddressName:
            return 7 + static_cast<unsigned char>(reply[4]);
        case kAddressIPv6:
            return 22;
        default:
            return 10;  // IPv4, and whatever else a firewall sends
    }
}

void TSocks5Layer::Negotiate(const std::string& host, uint16_t port) {
    TState state = TState::SendingGreeting;
    while (state != TState::Granted) state = Step(state, host, port);
}

std::string TSocks5Layer::TakeReply(size_t count) {
    GatherReply(count);
    std::string taken = reply_.substr(0, count);
    reply_.erase(0, count);
    return taken;
}

TSocks5Layer::TState TSocks5Layer::Step(TState state, const std::string& host, uint16_t port) {
    const std::string& user = firewall_.User;
    const std::string& password = firewall_.Password;
    switch (state) {
        case TState::SendingGreeting:
            below_->Send(Socks5Greeting(user, password));
            return TState::AwaitingMethod;
        case TState::AwaitingMethod: {
            auto method = static_cast<unsigned char>(TakeReply(2)[1]);
            if (method == kMethodNone) return TState::SendingConnect;
            if (method == kNoAcceptableMethod)
                Refuse("no acceptable firewall authentication methods");
            if (method != kMethodUserPassword) Refuse("unknown firewall authentication method");
            below_->Send(Socks5Authentication(user, password));
            return TState::AwaitingAuthentication;
        }
        case TState::AwaitingAuthentication: {
            auto status = static_cast<unsigned char>(TakeReply(2)[1]);
            if (status != 0)
                Refuse("firewall authentication failed: " +
                       std::to_string(static_cast<signed char>(status)));
            return TState::SendingConnect;
        }
        case TState::SendingConnect:
            if (!host.empty() && host[0] == '*') {
                if (host.size() - 1 > 255) Refuse(std::string(SocketErrorText(11001)));
                below_->Send(Socks5ConnectByName(host.substr(1), port));
            } else {
                below_->Send(Socks5ConnectByAddress(ResolveTarget(host), port));
            }
            return TState::AwaitingConnectReply;
        case TState::AwaitingConnectReply: {
            GatherReply(2);
            auto code = static_cast<unsigned char>(reply_[1]);
            if (code != 0) Refuse(Socks5ReplyText(code));
            // The reply's length follows its address type, so a firewall answering
            // with a name or an IPv6 address does not leave bytes in the stream.
            GatherReply(5);
            TakeReply(Socks5ReplySize(reply_));
            pending_ = reply_;
            return TState::Granted;
        }
        case TState::Granted:
            break;
    }
    return state;
}
