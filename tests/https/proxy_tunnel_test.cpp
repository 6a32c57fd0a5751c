#include <gtest/gtest.h>
#include <unistd.h>

#include "https/socket_errors.h"
#include "layer_test_support.h"

namespace {

std::unique_ptr<TLayer> TunnelTo(uint16_t proxyPort, TRecordingLink& link, std::string user = "",
                                 std::string password = "") {
    return BuildConnectionStack(
        FirewallOn(TFirewallKind::Tunnel, proxyPort, std::move(user), std::move(password)),
        link.Context);
}

// Sends the pieces with pauses so the client sees them as separate reads.
void WritePieces(int fd, const std::vector<std::string>& pieces) {
    for (const auto& piece : pieces) {
        WriteAll(fd, piece);
        usleep(30000);
    }
}

}  // namespace

TEST(ProxyTunnel, RequestCarriesAuthorizationWhenEitherFieldIsSetAndDropsBytesAfterTheReply) {
    std::string request;
    TScriptPeer proxy([&](int fd) {
        request = ReadUntil(fd, "\r\n\r\n");
        WritePieces(fd, {"HTTP/1.0 ", "200 Connection established\r\n", "\r\nleftover"});
        ReadExactly(fd, 1);  // the client is through: the payload cannot join the reply's piece
        WriteAll(fd, "payload");
    });
    TRecordingLink link;
    auto tunnel = TunnelTo(proxy.Port(), link, "u", "");
    tunnel->Connect("server.example", 443);
    EXPECT_EQ(tunnel->Host(), "server.example");
    EXPECT_EQ(tunnel->Port(), 443);
    tunnel->Send("x");
    EXPECT_EQ(ReceiveAll(*tunnel), "payload");
    proxy.Join();
    EXPECT_EQ(request,
              "CONNECT server.example:443 HTTP/1.0\r\nProxy-authorization: Basic dTo=\r\n\r\n");
    EXPECT_TRUE(link.Events.empty());
}

TEST(ProxyTunnel, WithoutCredentialsTheShortFormIsSentAndLfLfEndsTheReply) {
    std::string request;
    TScriptPeer proxy([&](int fd) {
        request = ReadUntil(fd, "\r\n\r\n");
        WriteAll(fd, "HTTP/1.1 200 OK\n\n");
        ReadExactly(fd, 2);
        WriteAll(fd, "ok");
    });
    TRecordingLink link;
    auto tunnel = TunnelTo(proxy.Port(), link);
    tunnel->Connect("10.1.2.3", 8443);
    tunnel->Send("hi");
    EXPECT_EQ(ReceiveAll(*tunnel), "ok");
    proxy.Join();
    EXPECT_EQ(request, "CONNECT 10.1.2.3:8443 HTTP/1.0\r\n\r\n");
}

TEST(ProxyTunnel, RefusalsReportTheGatheredReplyAndEndWith118) {
    struct TCase {
        std::vector<std::string> Pieces;
        std::string Reported;
    };
    const TCase cases[] = {
        // judged as soon as more than 9 bytes are in, before the header end
        {{"HTTP/1.0 407 Proxy Auth", "entication Required\r\n\r\n"}, "HTTP/1.0 407 Proxy Auth"},
        {{"HTTP/1.0", " 403 Forbidden\r\n\r\n"}, "HTTP/1.0 403 Forbidden\r\n\r\n"},
        {{"X 5\n\n"}, "X 5\n\n"},  // a short reply is judged once its blank line is in
        {{}, "Connection reset by peer"},
    };
    for (const auto& c : cases) {
        TScriptPeer proxy([&](int fd) {
            ReadUntil(fd, "\r\n\r\n");
            if (c.Pieces.empty()) return;  // closes without a reply
            WritePieces(fd, c.Pieces);
            ReadExactly(fd, 1);  // until the client gives up
        });
        TRecordingLink link;
        auto tunnel = TunnelTo(proxy.Port(), link, "user", "secret");
        try {
            tunnel->Connect("server.example", 443);
            ADD_FAILURE() << "granted";
        } catch (const EipsHTTPS& e) {
            EXPECT_EQ(e.Code, 118);
            EXPECT_EQ(e.Description, "");
        }
        EXPECT_EQ(tunnel->Socket(), -1);
        ASSERT_EQ(link.Events.size(), 1u);
        EXPECT_EQ(link.Events[0], "Error: 118 " + c.Reported);
    }
    EXPECT_EQ(DescribeErrorCode(118), "[118] (no description available)");
}

TEST(ProxyTunnel, AReplyTrickledAByteAtATimeCannotOutlastTheDeadline) {
    TScriptPeer proxy([](int fd) {
        ReadUntil(fd, "\r\n\r\n");
        Trickle(fd, "HTTP/1.0 200 Connection established" + std::string(1500, ' '));
    });
    TRecordingLink link(std::chrono::milliseconds(200));
    auto tunnel = TunnelTo(proxy.Port(), link);
    try {
        tunnel->Connect("server.example", 443);
        ADD_FAILURE() << "granted";
    } catch (const EipsHTTPS& e) {
        EXPECT_EQ(e.Code, 301);
    }
    EXPECT_TRUE(link.Events.empty());
}
