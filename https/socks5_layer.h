#pragma once

// SOCKS version 5 with user/password authentication.
//
//   greeting        +----+----+----+----+
//                   | 5  | 2  | 0  | 2  |   none and user/password (both set)
//                   +----+----+----+----+   else 5, 1, 0 (none only)
//   method reply    | 5  | M  |             0 none, 2 user/password, 255 none acceptable
//   authentication  +----+------+...+------+...+
//                   | 1  | ulen | user | plen | password |
//                   +----+------+...+------+...+
//   auth reply      | 1  | S  |             S 0 = accepted
//   connect         +----+----+----+------+---------+----+----+
//                   | 5  | 1  | 0  | ATYP | address | port    |
//                   +----+----+----+------+---------+----+----+
//                   ATYP 1: 4-byte IPv4 resolved here; ATYP 3: length byte and name,
//                   used when the caller's host begins with "*" (sent without it)
//   connect reply   | 5  | REP| 0  | ATYP | bound address | port |   REP 0 = granted
//
// Bytes after the connect reply belong to the caller.

#include "https/firewall_layer.h"

std::string Socks5Greeting(const std::string& user, const std::string& password);
std::string Socks5Authentication(const std::string& user, const std::string& password);
// The connect request for a resolved IPv4 address (network order).
std::string Socks5ConnectByAddress(uint32_t address, uint16_t port);
// The connect request for a name the firewall resolves (at most 255 bytes).
std::string Socks5ConnectByName(const std::string& name, uint16_t port);

// Text of a refusal code of the connect reply.
std::string Socks5ReplyText(unsigned char code);

// Length of a connect reply from its first five bytes; 0 while fewer are known.
size_t Socks5ReplySize(std::string_view reply);

class TSocks5Layer : public TFirewallLayer {
  public:
    using TFirewallLayer::TFirewallLayer;

  protected:
    void Negotiate(const std::string& host, uint16_t port) override;

  private:
    enum class TState {
        SendingGreeting,
        AwaitingMethod,          // phase 1
        AwaitingAuthentication,  // phase 2
        SendingConnect,
        AwaitingConnectReply,  // phase 3
        Granted
    };
    TState Step(TState state, const std::string& host, uint16_t port);
    // Takes the first count gathered bytes off the reply buffer.
    std::string TakeReply(size_t count);
};
