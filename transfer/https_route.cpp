#include "transfer/https_route.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "common/base/text.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "https/ipshttps.h"

namespace {

// A port text as the send side takes it; false when it is no port number.
bool PortFromText(const std::string& text, uint16_t& port) {
    int value = 0;
    if (!TryStrToInt(text, value) || value < 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// The port of text, or false (with the log line, or the error raised) when it is no number.
bool Port(const std::string& text, const char* what, bool firewall, TBadPort badPort,
          uint16_t& port) {
    port = 80;
    if (badPort == TBadPort::SkipRequest) {
        if (PortFromText(text, port)) return true;
        WriteLog(std::string("Send: Invalid ") + what + " Port no.\"" + text + "\"", 1);
        port = 80;
        return false;
    }
    // The receive side trims, and takes any integer as the component's 16 bits.
    int value = 0;
    const std::string trimmed = Trim(text);
    if (!TryStrToInt(trimmed, value))
        throw EBadPort("'" + trimmed + "' is not a valid integer value", firewall);
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

THttpsRoute SendRoute(const TSettings& settings) {
    const TConnectionInfo& c = settings.ConnectionInfo;
    THttpsRoute route;
    route.UseProxy = c.SendUseProxy;
    route.ProxyServer = c.SendProxyAddr;
    route.ProxyPort = c.SendProxyPort;
    route.ProxyUser = c.SendProxyUserID;
    route.ProxyPassword = c.SendProxyPassword;
    route.UseFirewall = c.SendUseFirewall;
    route.FirewallType = c.FirewallType;
    route.FirewallHost = c.SendFirewallAddr;
    route.FirewallPort = c.SendFirewallPort;
    route.FirewallUser = c.SendFirewallUserID;
    route.FirewallPassword = c.SendFirewallPassword;
    return route;
}

THttpsRoute ReceiveRoute(const TSettings& settings) {
    const TConnectionInfo& c = settings.ConnectionInfo;
    THttpsRoute route;
    route.UseProxy = c.RecvUseProxy;
    route.ProxyServer = c.RecvProxyAddr;
    route.ProxyPort = c.RecvProxyPort;
    route.ProxyUser = c.RecvProxyUserID;
    route.ProxyPassword = c.RecvProxyPassword;
    route.UseFirewall = c.RecvUseFirewall;
    route.FirewallType = c.FirewallType;
    route.FirewallHost = c.RecvFirewallAddr;
    route.FirewallPort = c.RecvFirewallPort;
    route.FirewallUser = c.RecvFirewallUserID;
    route.FirewallPassword = c.RecvFirewallPassword;
    return route;
}

bool SetUpProxyAndFirewall(TipsHTTPS& https, const THttpsRoute& route, TBadPort badPort) {
    uint16_t port = 80;
    // A bad firewall port ends a receive run whatever the proxy holds.
    if (route.UseFirewall && badPort == TBadPort::Raise)
        Port(route.FirewallPort, "Firewall", true, badPort, port);
    bool ok = true;
    if (route.UseProxy) {
        https.SetProxyServer(route.ProxyServer);
        ok = Port(route.ProxyPort, "Proxy", false, badPort, port);
        https.SetProxyPort(port);
        https.SetProxyUser(route.ProxyUser);
        https.SetProxyPassword(route.ProxyPassword);
    } else {
        https.SetProxyServer("");
        https.SetProxyPort(80);
        https.SetProxyUser("");
        https.SetProxyPassword("");
    }
    if (route.UseFirewall) {
        // FirewallType is always 1 (tunnel); values 0 to 3 map one to one.
        https.SetFirewallType(
            static_cast<TipshttpsFirewallTypes>(std::clamp(route.FirewallType, 0, 3)));
        https.SetFirewallHost(route.FirewallHost);
        const bool firewallOk = Port(route.FirewallPort, "Firewall", true, badPort, port);
        https.SetFirewallPort(port);
        https.SetFirewallUser(route.FirewallUser);
        https.SetFirewallPassword(route.FirewallPassword);
        ok = ok && firewallOk;
    } else {
        https.SetFirewallType(fwNone);
        https.SetFirewallHost("");
        https.SetFirewallPort(80);
        https.SetFirewallUser("");
        https.SetFirewallPassword("");
    }
    return ok;
}

void SetUpGatewayRequest(TipsHTTPS& https, const TServerCertificateRule& rule,
                         std::function<void(const std::string& logLine)> logLine) {
    https.SetUserAgent("Quillbern Dovrant");
    https.SetSSLCertStore("CA");
    // The rule of USER.INI decides; by default every certificate is taken as it is.
    https.OnSSLServerAuthentication = [rule, log = std::move(logLine)](
                                          TipsHTTPS*, long handle, const std::string& subject,
                                          const std::string&, const std::string& status,
                                          bool& accept) {
        const TServerCertificateVerdict verdict =
            JudgeServerCertificate(rule, handle, subject, status);
        accept = verdict.Accept;
        log(verdict.LogLine);
    };
}
