// The component through real proxies: what the program sees of firewalls and tunnels.

#include <gtest/gtest.h>

#include "engine_events.h"
#include "https/ipshttps.h"
#include "layer_test_support.h"
#include "proxy_peers.h"

namespace {

std::string Url(const char* scheme, const char* host, uint16_t port) {
    return std::string(scheme) + "://" + host + ":" + std::to_string(port) + "/";
}

void UseFirewall(TipsHTTPS& http, TipshttpsFirewallTypes type, uint16_t port) {
    http.SetFirewallType(type);  // the program sets the type before the port
    http.SetFirewallHost("127.0.0.1");
    http.SetFirewallPort(port);
}

}  // namespace

TEST(ProxyComponent, RefusedFirewallNegotiationReportsItsTextThenEndsWith118) {
    TDante dante;
    ASSERT_TRUE(dante.Ready());
    TipsHTTPS http;
    TEventLog log(http);
    UseFirewall(http, fwSOCKS5, dante.Port());
    const TRefusingPort closed;
    http.SetURL(Url("http", "127.0.0.1", closed.Port()));
    EXPECT_EQ(ActionError(http, httpGet), "118: [118] (no description available)");
    EXPECT_EQ(log.Lines,
              (std::vector<std::string>{"Error 118 connection refused",
                                        "Connected 118 [118] (no description available)"}));
}

TEST(ProxyComponent, HttpsThroughDanteAndThroughTinyproxyTunnels) {
    TTrustTestRoot trust;
    TTlsServer server("trusted");
    TDante dante;
    TTinyproxy proxy("alice", "s3cret");
    ASSERT_TRUE(server.Ready() && dante.Ready() && proxy.Ready());
    for (auto type : {fwSOCKS4, fwSOCKS5, fwTunnel}) {
        TipsHTTPS http;
        TEventLog log(http);
        UseFirewall(http, type, type == fwTunnel ? proxy.Port() : dante.Port());
        http.SetFirewallUser("alice");
        http.SetFirewallPassword("s3cret");
        http.SetSSLCertStore("CA");
        http.SetURL(Url("https", "localhost", server.Port()));
        EXPECT_EQ(ActionError(http, httpGet), "") << type;
        EXPECT_EQ(http.StatusLine().substr(0, 12), "HTTP/1.0 200");
        EXPECT_TRUE(log.With("Error").empty());
        EXPECT_EQ(log.With("Connected"), std::vector<std::string>{"Connected 0 OK"});
    }
    // The tunnel named by ProxySSL psTunnel still carries the firewall credentials.
    TipsHTTPS http;
    http.SetProxyServer("127.0.0.1");
    http.SetProxyPort(proxy.Port());
    http.SetProxySSL(psTunnel);
    http.SetFirewallUser("alice");
    http.SetFirewallPassword("s3cret");
    http.SetURL(Url("https", "localhost", server.Port()));
    EXPECT_EQ(ActionError(http, httpGet), "");
}

TEST(ProxyComponent, PlainProxiedHttpRequestThroughTinyproxy) {
    TTinyproxy proxy;
    ASSERT_TRUE(proxy.Ready());
    std::string seen;
    TScriptPeer origin([&](int fd) {
        seen = ReadUntil(fd, "\r\n\r\n");
        WriteAll(fd, "HTTP/1.0 200 OK\r\n\r\nproxied body");
    });
    TipsHTTPS http;
    TEventLog log(http);
    http.SetProxyServer("127.0.0.1");
    http.SetProxyPort(proxy.Port());
    http.SetURL(Url("http", "127.0.0.1", origin.Port()) + "x");
    EXPECT_EQ(ActionError(http, httpGet), "");
    origin.Join();
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(log.Body, "proxied body");
    EXPECT_EQ(seen.substr(0, 16), "GET /x HTTP/1.0\r");
}

TEST(ProxyComponent, SocketFailuresCarryTheirTableTexts) {
    TipsHTTPS http;
    TEventLog log(http);
    const TRefusingPort closed;
    http.SetURL(Url("http", "127.0.0.1", closed.Port()));
    EXPECT_EQ(ActionError(http, httpGet), "10061: [10061] Connection refused");
    EXPECT_EQ(log.Lines, std::vector<std::string>{"Connected 10061 [10061] Connection refused"});

    TipsHTTPS firewall;
    UseFirewall(firewall, fwSOCKS5, 0);
    firewall.SetURL(Url("http", "127.0.0.1", 80));
    EXPECT_EQ(ActionError(firewall, httpGet), "116: The FirewallPort is invalid (0).");
}
