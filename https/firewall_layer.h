#pragma once

// What the three firewall layers (CONNECT tunnel, SOCKS4, SOCKS5) share: the TCP
// connection goes to the firewall, then the layer negotiates the way to the target.
// A refused negotiation reports its own text through OnError with 118 and ends the
// connection attempt with 118, whose description the engine makes by its rule.

#include "https/layer.h"

struct TFirewallSettings {
    std::string Host;
    uint16_t Port = 0;
    std::string User;
    std::string Password;
};

class TFirewallLayer : public TLayer {
  public:
    TFirewallLayer(TLinkContext& context, std::unique_ptr<TLayer> below,
                   TFirewallSettings firewall);

    void Connect(const std::string& host, uint16_t port) override;
    void Send(std::string_view bytes) override { below_->Send(bytes); }
    size_t Receive(char* buffer, size_t capacity) override;
    std::optional<size_t> ReceiveReady(char* buffer, size_t capacity) override;
    void Close() override;

    // The target as the caller named it, not the firewall.
    std::string Host() const override { return host_; }
    uint16_t Port() const override { return port_; }

  protected:
    // Runs the exchange with the firewall for host:port; returns once it is granted.
    virtual void Negotiate(const std::string& host, uint16_t port) = 0;

    // Reads one more piece from the firewall and appends it to reply_, then takes a pump
    // step. Returns false when the firewall has closed the connection.
    bool GatherReply();
    // Gathers until reply_ holds at least count bytes; an early close is a refusal.
    void GatherReply(size_t count);
    // OnError(118, text), close, and end the attempt with 118.
    [[noreturn]] void Refuse(const std::string& text);
    // Resolves a SOCKS target to IPv4 (network order) here, not at the firewall; an
    // unknown name is a refusal whose text is the socket error text.
    uint32_t ResolveTarget(const std::string& host);

    TFirewallSettings firewall_;
    std::string reply_;    // reply bytes gathered so far
    std::string pending_;  // bytes that came with the reply and belong to the caller

  private:
    std::string host_;
    uint16_t port_ = 0;
};

// "unknown firewall error: %d" with the reply byte read as a signed value.
std::string UnknownFirewallError(unsigned char code);
