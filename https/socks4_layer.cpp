#include "https/socks4_layer.h"

#include <arpa/inet.h>

namespace {
constexpr size_t kReplySize = 8;
constexpr unsigned char kGranted = 90;
}  // namespace

std::string Socks4Request(uint32_t address, uint16_t port, const std::string& user) {
    std::string request{4, 1, static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
    request.append(reinterpret_cast<const char*>(&address), 4);  // already network order
    request += user;
    request += '\0';
    return request;
}

std::string Socks4ReplyText(unsigned char code) {
    switch (code) {
        case 91:
            return "firewall request rejected or failed";
        case 92:
            return "firewall request rejected because identd is not available";
        case 93:
            return "firewall request rejected because identd reports different user";
        default:
            return UnknownFirewallError(code);
    }
}

void TSocks4Layer::Negotiate(const std::string& host, uint16_t port) {
    TState state = TState::SendingRequest;
    while (state != TState::Granted) state = Step(state, host, port);
}

TSocks4Layer::TState TSocks4Layer::Step(TState state, const std::string& host, uint16_t port) {
    switch (state) {
        case TState::SendingRequest:
            below_->Send(Socks4Request(ResolveTarget(host), port, firewall_.User));
            return TState::AwaitingReply;
        case TState::AwaitingReply: {
            GatherReply(kReplySize);
            auto code = static_cast<unsigned char>(reply_[1]);
            if (code != kGranted) Refuse(Socks4ReplyText(code));
            pending_ = reply_.substr(kReplySize);
            return TState::Granted;
        }
        case TState::Granted:
            break;
    }
    return state;
}
