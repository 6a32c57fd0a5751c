#pragma once

// SOCKS version 4. The target is resolved here; the firewall only sees its address.
//
//   request  +----+----+----+----+----+----+----+----+----+...+----+
//            | 4  | 1  | port    | IPv4 address      | user   | 0  |
//            +----+----+----+----+----+----+----+----+----+...+----+
//   reply    +----+----+----+----+----+----+----+----+
//            | 0  | CD | port    | address           |   CD 90 = granted
//            +----+----+----+----+----+----+----+----+
//
// Bytes after the eighth reply byte belong to the caller.

#include "https/firewall_layer.h"

std::string Socks4Request(uint32_t address, uint16_t port, const std::string& user);

// Text of a refusal code of the reply.
std::string Socks4ReplyText(unsigned char code);

class TSocks4Layer : public TFirewallLayer {
  public:
    using TFirewallLayer::TFirewallLayer;

  protected:
    void Negotiate(const std::string& host, uint16_t port) override;

  private:
    enum class TState { SendingRequest, AwaitingReply, Granted };
    TState Step(TState state, const std::string& host, uint16_t port);
};
