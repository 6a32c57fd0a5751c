#include "proxy_peers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "layer_test_support.h"

namespace {

// Connects through the stack, fetches "/" from the s_server and returns its status line,
// or "code N" with the reported events when the connection fails.
std::string FetchStatus(const TConnectionSettings& settings, const std::string& host, uint16_t port,
                        TRecordingLink& link) {
    auto stack = BuildConnectionStack(settings, link.Context);
    try {
        stack->Connect(host, port);
        stack->Send("GET / HTTP/1.0\r\n\r\n");
        std::string response = ReceiveAll(*stack);
        return response.substr(0, response.find("\r\n"));
    } catch (const EipsHTTPS& e) {
        std::string text = "code " + std::to_string(e.Code);
        for (const auto& event : link.Events)
            if (event.rfind("Error", 0) == 0) text += "; " + event.substr(0, event.find('\r'));
        return text;
    }
}

}  // namespace

TEST(ProxyPeers, TlsRunsInsideTinyproxyTunnelsWithAndWithoutBasicAuth) {
    TTrustTestRoot trust;
    TTlsServer server("trusted");
    TTinyproxy open;
    TTinyproxy guarded("alice", "s3cret");
    ASSERT_TRUE(server.Ready() && open.Ready() && guarded.Ready());

    TRecordingLink plain;
    EXPECT_EQ(FetchStatus(FirewallOn(TFirewallKind::Tunnel, open.Port(), "", "", true), "localhost",
                          server.Port(), plain),
              "HTTP/1.0 200 ok");
    EXPECT_NE(std::find(plain.Events.begin(), plain.Events.end(),
                        "ServerAuthentication: [0x0] OK accept=1"),
              plain.Events.end());
    EXPECT_EQ(plain.Events.back(), "SSLStatus: Server signaled end of session.");

    TRecordingLink authorized;
    EXPECT_EQ(
        FetchStatus(FirewallOn(TFirewallKind::Tunnel, guarded.Port(), "alice", "s3cret", true),
                    "localhost", server.Port(), authorized),
        "HTTP/1.0 200 ok");

    TRecordingLink refused;
    EXPECT_EQ(FetchStatus(FirewallOn(TFirewallKind::Tunnel, guarded.Port(), "", "", true),
                          "localhost", server.Port(), refused),
              "code 118; Error: 118 HTTP/1.0 407 Proxy Authentication Required");
}

TEST(ProxyPeers, TlsRunsOverDanteWithSocks4AndSocks5) {
    TTrustTestRoot trust;
    TTlsServer server("trusted");
    TDante dante;
    ASSERT_TRUE(server.Ready() && dante.Ready());
    for (auto kind : {TFirewallKind::SOCKS4, TFirewallKind::SOCKS5}) {
        TRecordingLink link;
        EXPECT_EQ(FetchStatus(FirewallOn(kind, dante.Port(), "", "", true), "localhost",
                              server.Port(), link),
                  "HTTP/1.0 200 ok");
    }
    TRecordingLink named;  // the name goes to dante unresolved
    EXPECT_EQ(FetchStatus(FirewallOn(TFirewallKind::SOCKS5, dante.Port(), "", "", true),
                          "*localhost", server.Port(), named),
              "HTTP/1.0 200 ok");
}

TEST(ProxyPeers, DanteRefusalsCarryTheirTexts) {
    TDante dante;
    ASSERT_TRUE(dante.Ready());
    const TRefusingPort refusing;
    const uint16_t closed = refusing.Port();
    TRecordingLink v4;
    EXPECT_EQ(FetchStatus(FirewallOn(TFirewallKind::SOCKS4, dante.Port(), "", "", false),
                          "127.0.0.1", closed, v4),
              "code 118; Error: 118 firewall request rejected or failed");
    TRecordingLink v5;
    EXPECT_EQ(FetchStatus(FirewallOn(TFirewallKind::SOCKS5, dante.Port(), "", "", false),
                          "127.0.0.1", closed, v5),
              "code 118; Error: 118 connection refused");
}
