#pragma once

// What every request of the gateway sets up on its HTTPS component the same way, whichever
// side sends it: the proxy and firewall of USER.INI, the user agent and the CA store, and the
// rule that judges the service's certificate.

#include <functional>
#include <string>

#include "common/base/datetime.h"
#include "transfer/server_certificate.h"

struct TSettings;
class TipsHTTPS;

// The way a request goes out: through a proxy, a firewall, both or neither. Ports stay text
// as USER.INI holds them.
struct THttpsRoute {
    bool UseProxy = false;
    std::string ProxyServer, ProxyPort, ProxyUser, ProxyPassword;
    bool UseFirewall = false;
    int FirewallType = 1;  // 0 none, 1 tunnel, 2 SOCKS4, 3 SOCKS5
    std::string FirewallHost, FirewallPort, FirewallUser, FirewallPassword;
};

// Each side's route (the Send or Recv keys of [CONNECTION]).
THttpsRoute SendRoute(const TSettings& settings);
THttpsRoute ReceiveRoute(const TSettings& settings);

// How a port that is no number is met.
enum class TBadPort {
    // Logged ("Send: Invalid Proxy Port no."...), port 80 set, and the request must not go.
    SkipRequest,
    // Raises EBadPort. The receive run ends on a bad firewall port; a bad proxy port fails
    // only its request.
    Raise
};

class EBadPort : public EConvertError {
  public:
    EBadPort(const std::string& message, bool firewall)
        : EConvertError(message), Firewall(firewall) {}
    bool Firewall;
};

// Sets the proxy and firewall of route on https, or clears them when unused. False when a
// port was no number under TBadPort::SkipRequest: the request must not be sent.
bool SetUpProxyAndFirewall(TipsHTTPS& https, const THttpsRoute& route, TBadPort badPort);

// The user agent, the CA store and the certificate rule; logLine gets each verdict's line
// (without the side's prefix).
void SetUpGatewayRequest(TipsHTTPS& https, const TServerCertificateRule& rule,
                         std::function<void(const std::string& logLine)> logLine);
