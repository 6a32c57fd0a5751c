#include "https/firewall_layer.h"

#include <cstring>

#include "https/name_lookup.h"
#include "https/socket_errors.h"

TFirewallLayer::TFirewallLayer(TLinkContext& context, std::unique_ptr<TLayer> below,
                               TFirewallSettings firewall)
    : TLayer(context, std::move(below)), firewall_(std::move(firewall)) {}

void TFirewallLayer::Connect(const std::string& host, uint16_t port) {
    host_ = host;
    port_ = port;
    reply_.clear();
    pending_.clear();
    below_->Connect(firewall_.Host, firewall_.Port);
    try {
        Negotiate(host, port);
    } catch (...) {
        Close();
        throw;
    }
    reply_.clear();
}

size_t TFirewallLayer::Receive(char* buffer, size_t capacity) {
    if (pending_.empty()) return below_->Receive(buffer, capacity);
    return *ReceiveReady(buffer, capacity);
}

std::optional<size_t> TFirewallLayer::ReceiveReady(char* buffer, size_t capacity) {
    if (pending_.empty()) return below_->ReceiveReady(buffer, capacity);
    size_t count = std::min(capacity, pending_.size());
    std::memcpy(buffer, pending_.data(), count);
    pending_.erase(0, count);
    return count;
}

void TFirewallLayer::Close() {
    pending_.clear();
    below_->Close();
}

bool TFirewallLayer::GatherReply() {
    char piece[4096];
    size_t got = below_->Receive(piece, sizeof piece);
    reply_.append(piece, got);
    // A firewall answering a byte at a time must not outlast the deadline either.
    PumpStep();
    return got > 0;
}

void TFirewallLayer::GatherReply(size_t count) {
    while (reply_.size() < count)
        if (!GatherReply()) Refuse(std::string(SocketErrorText(10054)));
}

void TFirewallLayer::Refuse(const std::string& text) {
    if (context_.Error) context_.Error(118, text);
    Close();
    throw EipsHTTPS(118, "");
}

std::string UnknownFirewallError(unsigned char code) {
    return "unknown firewall error: " + std::to_string(static_cast<signed char>(code));
}

uint32_t TFirewallLayer::ResolveTarget(const std::string& host) {
    in_addr address{};
    if (int code = ResolveIPv4(host, address, context_)) {
        std::string_view text = SocketErrorText(code);
        Refuse(text.empty() ? DescribeErrorCode(code) : std::string(text));
    }
    return address.s_addr;
}
