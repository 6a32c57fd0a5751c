#pragma once

// HTTP CONNECT tunnel through a proxy.
//
//   request   "CONNECT " host ":" port " HTTP/1.0" CRLF
//             [ "Proxy-authorization: Basic " base64(user ":" password) CRLF ]
//             CRLF
//   reply     <word> SP+ "2.." ... CRLF CRLF   (or LF LF)
//
// The host goes out exactly as the caller named it; the proxy resolves it.

#include "https/firewall_layer.h"

// The CONNECT request; the authorization line appears when user or password is set.
std::string ConnectRequest(const std::string& host, uint16_t port, const std::string& user,
                           const std::string& password);

class TTunnelLayer : public TFirewallLayer {
  public:
    using TFirewallLayer::TFirewallLayer;

  protected:
    void Negotiate(const std::string& host, uint16_t port) override;

  private:
    enum class TState { SendingRequest, AwaitingStatus, AwaitingHeaderEnd, Granted };
    TState Step(TState state, const std::string& host, uint16_t port);
};
