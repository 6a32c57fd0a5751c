// The proxy and firewall setup both sides share, and the one way they differ: a port that is
// no number.

#include "transfer/https_route.h"

#include <gtest/gtest.h>

#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"
#include "https/ipshttps.h"

namespace {

struct TRouteCase {
    const char* name;
    THttpsRoute route;
    // What the component holds afterwards.
    std::string proxy;
    int proxyPort;
    int firewallType;
    int firewallPort;
    // A send skips the request with these lines; a receive raises (firewall: ends the run).
    std::vector<std::string> sendLines;
    bool receiveRaises;
    bool raisedForFirewall;
};

THttpsRoute Route(bool proxy, const std::string& proxyPort, bool firewall,
                  const std::string& firewallPort, int type = 1) {
    THttpsRoute r;
    r.UseProxy = proxy;
    r.ProxyServer = "proxy.x";
    r.ProxyPort = proxyPort;
    r.ProxyUser = "pu";
    r.ProxyPassword = "pp";
    r.UseFirewall = firewall;
    r.FirewallType = type;
    r.FirewallHost = "fw.x";
    r.FirewallPort = firewallPort;
    r.FirewallUser = "fu";
    r.FirewallPassword = "fp";
    return r;
}

}  // namespace

TEST(ProxyAndFirewallSetUp, BothSidesOverATableOfSettings) {
    TTempDir dir;
    ASSERT_TRUE(OpenLog(dir.Path() + "LOG/", 2));
    const std::vector<TRouteCase> cases = {
        {"neither", Route(false, "x", false, "y"), "", 80, fwNone, 80, {}, false, false},
        {"proxy", Route(true, "3128", false, ""), "proxy.x", 3128, fwNone, 80, {}, false, false},
        {"socks5", Route(false, "", true, "1080", 3), "", 80, fwSOCKS5, 1080, {}, false, false},
        {"type clamped",
         Route(false, "", true, "1080", 9),
         "",
         80,
         fwSOCKS5,
         1080,
         {},
         false,
         false},
        {"bad proxy port",
         Route(true, "none", true, "1080"),
         "proxy.x",
         80,
         fwTunnel,
         1080,
         {"Send: Invalid Proxy Port no.\"none\""},
         true,
         false},
        {"bad firewall port",
         Route(true, "3128", true, "80x"),
         "proxy.x",
         3128,
         fwTunnel,
         80,
         {"Send: Invalid Firewall Port no.\"80x\""},
         true,
         true},
        {"both bad: the firewall wins on receive",
         Route(true, "p", true, "q"),
         "proxy.x",
         80,
         fwTunnel,
         80,
         {"Send: Invalid Proxy Port no.\"p\"", "Send: Invalid Firewall Port no.\"q\""},
         true,
         true},
    };
    for (const TRouteCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = LogMessages(LogFileName()).size();
        TipsHTTPS send;
        EXPECT_EQ(SetUpProxyAndFirewall(send, c.route, TBadPort::SkipRequest), c.sendLines.empty());
        const auto lines = LogMessages(LogFileName());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  c.sendLines);
        EXPECT_EQ(send.ProxyServer(), c.proxy);
        EXPECT_EQ(send.ProxyPort(), c.proxyPort);
        EXPECT_EQ(static_cast<int>(send.FirewallType()), c.firewallType);
        EXPECT_EQ(send.FirewallPort(), c.firewallPort);
        EXPECT_EQ(send.FirewallHost(), c.route.UseFirewall ? "fw.x" : "");

        TipsHTTPS receive;
        try {
            EXPECT_TRUE(SetUpProxyAndFirewall(receive, c.route, TBadPort::Raise));
            EXPECT_FALSE(c.receiveRaises);
            EXPECT_EQ(receive.ProxyPort(), c.proxyPort);
            EXPECT_EQ(receive.FirewallPort(), c.firewallPort);
        } catch (const EBadPort& e) {
            EXPECT_TRUE(c.receiveRaises);
            EXPECT_EQ(e.Firewall, c.raisedForFirewall) << e.what();
        }
    }
    // The receive side trims, and a number out of range wraps rather than fails.
    TipsHTTPS trimmed;
    EXPECT_TRUE(
        SetUpProxyAndFirewall(trimmed, Route(true, " 8080 ", true, "70000"), TBadPort::Raise));
    EXPECT_EQ(trimmed.ProxyPort(), 8080);
    EXPECT_EQ(trimmed.FirewallPort(), 70000 - 65536);
    // A component used before is cleared by a route without proxy and firewall.
    EXPECT_TRUE(SetUpProxyAndFirewall(trimmed, ReceiveRoute(TSettings{}), TBadPort::Raise));
    EXPECT_EQ(trimmed.ProxyServer(), "");
    EXPECT_EQ(trimmed.FirewallType(), fwNone);
    CloseLog();
}
