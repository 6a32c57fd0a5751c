#include <gtest/gtest.h>

#include "layer_test_support.h"

namespace {

std::unique_ptr<TLayer> SocksTo(TFirewallKind kind, uint16_t port, TRecordingLink& link,
                                std::string user = "", std::string password = "") {
    return BuildConnectionStack(FirewallOn(kind, port, std::move(user), std::move(password)),
                                link.Context);
}

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes += static_cast<char>(v);
    return bytes;
}

// Connects and returns the event list, or "granted" plus what the firewall sent after.
std::string Outcome(TLayer& layer, TRecordingLink& link, const std::string& host, uint16_t port) {
    try {
        layer.Connect(host, port);
    } catch (const EipsHTTPS& e) {
        std::string text = "code " + std::to_string(e.Code) + " [" + e.Description + "]";
        for (const auto& event : link.Events) text += "; " + event;
        return text;
    }
    return "granted " + ReceiveAll(layer);
}

}  // namespace

TEST(Socks4, RequestIsNineBytesPlusUserAndReplyTailIsPassedOn) {
    std::string request;
    TScriptPeer firewall([&](int fd) {
        request = ReadExactly(fd, 9);
        WriteAll(fd, Bytes({0, 90, 0, 0, 0, 0, 0, 0}) + "early");
        WriteAll(fd, " data");
    });
    TRecordingLink link;
    auto socks = SocksTo(TFirewallKind::SOCKS4, firewall.Port(), link);
    EXPECT_EQ(Outcome(*socks, link, "127.0.0.1", 0x1F90), "granted early data");
    EXPECT_EQ(request, Bytes({4, 1, 0x1F, 0x90, 127, 0, 0, 1, 0}));

    TScriptPeer named([&](int fd) {
        request = ReadExactly(fd, 12);
        WriteAll(fd, Bytes({0, 90, 0, 0, 0, 0, 0, 0}));
    });
    auto withUser = SocksTo(TFirewallKind::SOCKS4, named.Port(), link, "bob", "ignored");
    EXPECT_EQ(Outcome(*withUser, link, "localhost", 443), "granted ");
    EXPECT_EQ(request, Bytes({4, 1, 1, 0xBB, 127, 0, 0, 1}) + "bob" + std::string(1, '\0'));
}

TEST(Socks4, RefusalsAndUnknownNamesReport118WithTheirTexts) {
    const std::pair<int, std::string> cases[] = {
        {91, "firewall request rejected or failed"},
        {92, "firewall request rejected because identd is not available"},
        {93, "firewall request rejected because identd reports different user"},
        {0xF0, "unknown firewall error: -16"},
    };
    for (const auto& [code, text] : cases) {
        TScriptPeer firewall([&, code = code](int fd) {
            ReadExactly(fd, 9);
            WriteAll(fd, Bytes({0, code, 0, 0, 0, 0, 0, 0}));
        });
        TRecordingLink link;
        auto socks = SocksTo(TFirewallKind::SOCKS4, firewall.Port(), link);
        EXPECT_EQ(Outcome(*socks, link, "127.0.0.1", 80), "code 118 []; Error: 118 " + text);
        EXPECT_EQ(socks->Socket(), -1);
    }
    TScriptPeer firewall([](int fd) { ReadExactly(fd, 1); });
    TRecordingLink link;
    auto socks = SocksTo(TFirewallKind::SOCKS4, firewall.Port(), link);
    EXPECT_EQ(Outcome(*socks, link, "no-such-host.invalid", 80),
              "code 118 []; Error: 118 Host not found");
}

TEST(Socks5, UserPasswordNegotiationSendsExactBytes) {
    std::string greeting, authentication, connect;
    TScriptPeer firewall([&](int fd) {
        greeting = ReadExactly(fd, 4);
        WriteAll(fd, Bytes({5, 2}));
        authentication = ReadExactly(fd, 1 + 1 + 5 + 1 + 6);
        WriteAll(fd, Bytes({1, 0}));
        connect = ReadExactly(fd, 10);
        WriteAll(fd, Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x12, 0x34}) + "tail");
    });
    TRecordingLink link;
    auto socks = SocksTo(TFirewallKind::SOCKS5, firewall.Port(), link, "alice", "s3cret");
    EXPECT_EQ(Outcome(*socks, link, "127.0.0.1", 443), "granted tail");
    EXPECT_EQ(greeting, Bytes({5, 2, 0, 2}));
    EXPECT_EQ(authentication, Bytes({1, 5}) + "alice" + Bytes({6}) + "s3cret");
    EXPECT_EQ(connect, Bytes({5, 1, 0, 1, 127, 0, 0, 1, 1, 0xBB}));
}

TEST(Socks5, StarNamesGoAsDomainsAndLongerRepliesAreConsumedWhole) {
    std::string greeting, connect;
    TScriptPeer firewall([&](int fd) {
        greeting = ReadExactly(fd, 3);
        WriteAll(fd, Bytes({5, 0}));
        connect = ReadExactly(fd, 5 + 11 + 2);
        // bound address given as a name: 7 + 4 bytes, then the caller's data
        WriteAll(fd, Bytes({5, 0, 0, 3, 4}) + "host" + Bytes({0, 80}) + "data");
    });
    TRecordingLink link;
    auto socks = SocksTo(TFirewallKind::SOCKS5, firewall.Port(), link, "user-only", "");
    EXPECT_EQ(Outcome(*socks, link, "*example.com", 80), "granted data");
    EXPECT_EQ(greeting, Bytes({5, 1, 0}));  // no password: method "none" only
    EXPECT_EQ(connect, Bytes({5, 1, 0, 3, 11}) + "example.com" + Bytes({0, 80}));
}

TEST(Socks5, EveryRefusalHasItsText) {
    struct TCase {
        std::string MethodReply, AuthReply, ConnectReply, Text;
    };
    const std::string granted = Bytes({1, 0});
    std::vector<TCase> cases = {
        {Bytes({5, 255}), "", "", "no acceptable firewall authentication methods"},
        {Bytes({5, 1}), "", "", "unknown firewall authentication method"},
        {Bytes({5, 2}), Bytes({1, 0x81}), "", "firewall authentication failed: -127"},
    };
    const char* texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                           "network unreachable",          "host unreachable",
                           "connection refused",           "TTL expired",
                           "command not supported",        "address type not supported",
                           "unknown firewall error: 9"};
    for (int code = 1; code <= 9; ++code)
        cases.push_back(
            {Bytes({5, 2}), granted, Bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0}), texts[code - 1]});
    for (const auto& c : cases) {
        TScriptPeer firewall([&](int fd) {
            ReadExactly(fd, 4);
            WriteAll(fd, c.MethodReply);
            if (c.AuthReply.empty()) return ReadExactly(fd, 1), void();
            ReadExactly(fd, 1 + 1 + 1 + 1 + 1);
            WriteAll(fd, c.AuthReply);
            ReadExactly(fd, 10);
            WriteAll(fd, c.ConnectReply);
            ReadExactly(fd, 1);
        });
        TRecordingLink link;
        auto socks = SocksTo(TFirewallKind::SOCKS5, firewall.Port(), link, "u", "p");
        EXPECT_EQ(Outcome(*socks, link, "127.0.0.1", 443), "code 118 []; Error: 118 " + c.Text);
    }
}

TEST(FirewallLayers, ASilentFirewallEndsWhenThePumpGivesUp) {
    for (auto kind : {TFirewallKind::Tunnel, TFirewallKind::SOCKS4, TFirewallKind::SOCKS5}) {
        TManualTime time;
        TScriptPeer silent([](int fd) { ReadExactly(fd, 1 << 16); });  // until the close
        TRecordingLink link(std::chrono::milliseconds(200));
        auto layer = SocksTo(kind, silent.Port(), link);
        EXPECT_EQ(Outcome(*layer, link, "127.0.0.1", 443), "code 301 []");
        EXPECT_EQ(layer->Socket(), -1);
        EXPECT_GE(time.ElapsedMs(), 200);
    }
}
