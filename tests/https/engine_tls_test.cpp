// The component over TLS against openssl s_server: event order and the certificate decision.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine_events.h"
#include "https/ipshttps.h"
#include "layer_test_support.h"
#include "proxy_peers.h"
#include "tls_peer.h"

namespace {

std::string LocalURL(uint16_t port) { return "https://127.0.0.1:" + std::to_string(port) + "/"; }

TEST(EngineTlsTest, TrustedServerConnectsAfterTheHandshakeAndItsCertificate) {
    TTrustTestRoot trust;
    TTlsServer server("trusted");
    ASSERT_TRUE(server.Ready());
    TipsHTTPS http;
    TEventLog log(http);
    http.OnSSLStatus = [&](TipsHTTPS*, const std::string& text) { log.Add("SSLStatus " + text); };
    http.OnSSLServerAuthentication = [&](TipsHTTPS*, long, const std::string&, const std::string&,
                                         const std::string& text, bool& accept) {
        log.Add("ServerAuthentication " + text + (accept ? " accept" : " refuse"));
    };
    http.SetURL(LocalURL(server.Port()));
    http.SetAction(httpGet);
    EXPECT_EQ(http.StatusLine().substr(0, 12), "HTTP/1.0 200");
    ASSERT_GE(log.Lines.size(), 4u);
    EXPECT_EQ(log.Lines[0], "SSLStatus Attempting to connect to server.");
    const auto connected = std::find(log.Lines.begin(), log.Lines.end(), "Connected 0 OK");
    ASSERT_NE(connected, log.Lines.end());
    EXPECT_EQ(*(connected - 1), "ServerAuthentication [0x0] OK accept");
    EXPECT_TRUE(log.With("Error").empty());
    EXPECT_EQ(log.Lines.back(), "Disconnected 0 OK");
    EXPECT_FALSE(log.Body.empty());
}

TEST(EngineTlsTest, RefusedCertificateEndsWith276AndAnAcceptingHandlerProceeds) {
    TTlsServer server("selfsigned");
    ASSERT_TRUE(server.Ready());
    for (bool acceptAnyway : {false, true}) {
        TipsHTTPS http;
        TEventLog log(http);
        http.OnSSLServerAuthentication = [&](TipsHTTPS*, long, const std::string&,
                                             const std::string&, const std::string&, bool& accept) {
            if (acceptAnyway) accept = true;
        };
        http.SetURL(LocalURL(server.Port()));
        const std::string error = ActionError(http, httpGet);
        if (acceptAnyway) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(http.StatusLine().substr(0, 12), "HTTP/1.0 200");
        } else {
            EXPECT_EQ(error, "276: Server certificate verification failed. Connection aborted.");
            EXPECT_EQ(log.Lines.back(), "Connected 276 [276] (no description available)");
        }
    }
}

TEST(EngineTlsTest, ABodyCutShortWithoutCloseNotifyFailsTheAction) {
    struct TCase {
        std::string Response;
        bool CloseNotify;
        std::string Error;
    };
    const std::string half(500, 'x');
    const std::string cut =
        "The server closed the secure connection without close notify after 500 of 1000 body "
        "bytes.";
    const TCase cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + half, false, "284: " + cut},
        // the server's own close notify ends the body where it says
        {"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + half, true, ""},
        // without a length, the end of the stream is the end of the body
        {"HTTP/1.0 200 OK\r\n\r\n" + half, false, ""},
        {"HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\n" + half, false, ""},
    };
    TTrustTestRoot trust;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Response.substr(0, 40) + (c.CloseNotify ? " close notify" : ""));
        TScriptPeer server([&](int fd) {
            TTlsPeerSession tls(fd);
            if (!tls.Accepted) return;
            tls.ReadUntil("\r\n\r\n");
            tls.Write(c.Response);
            if (c.CloseNotify) tls.CloseNotify();
        });
        TipsHTTPS http;
        TEventLog log(http);
        http.SetURL(LocalURL(server.Port()));
        EXPECT_EQ(ActionError(http, httpGet), c.Error);
        EXPECT_EQ(http.TransferredData(), half);
        if (c.Error.empty())
            EXPECT_TRUE(log.With("Error").empty());
        else
            EXPECT_EQ(log.With("Error"), std::vector<std::string>{"Error 284 " + cut});
    }
}

// Real time: the peer's pace is the point. A handshake record announced whole and then sent a
// byte every 2 ms never leaves a poll step empty.
TEST(EngineTlsTest, TimeoutHoldsAgainstAHandshakeSentAByteAtATime) {
    TScriptPeer server([](int fd) {
        ReadExactly(fd, 5);
        WriteAll(fd, std::string("\x16\x03\x03\x40\x00", 5));
        Trickle(fd, std::string(1500, '\0'));
    });
    TipsHTTPS http;
    http.SetTimeout(1);
    http.SetURL(LocalURL(server.Port()));
    EXPECT_EQ(ActionError(http, httpGet), "301: Interrupted.");
}

TEST(EngineTlsTest, ALaterConnectionResumesTheSessionAndItsCertificateIsStillJudged) {
    TTlsServer server("selfsigned");
    ASSERT_TRUE(server.Ready());
    std::vector<std::string> statuses;
    auto get = [&](bool acceptAnyway, std::string* body) {
        TipsHTTPS http;
        TEventLog log(http);
        http.OnSSLServerAuthentication = [&](TipsHTTPS*, long, const std::string&,
                                             const std::string&, const std::string& status,
                                             bool& accept) {
            statuses.push_back(status);
            if (acceptAnyway) accept = true;
        };
        http.SetURL(LocalURL(server.Port()));
        const std::string error = ActionError(http, httpGet);
        if (body) *body = log.Body;
        return error;
    };
    std::string first, second;
    EXPECT_EQ(get(true, &first), "");
    EXPECT_EQ(get(true, &second), "");
    // s_server's page tells whether the session was new or resumed.
    EXPECT_NE(first.find("New,"), std::string::npos);
    EXPECT_NE(second.find("Reused,"), std::string::npos) << second.substr(0, 400);
    // A resumed session is no way around the certificate check.
    EXPECT_EQ(get(false, nullptr),
              "276: Server certificate verification failed. Connection aborted.");
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_NE(statuses[0], "[0x0] OK");
    EXPECT_EQ(statuses[1], statuses[0]);
    EXPECT_EQ(statuses[2], statuses[0]);
}

}  // namespace
