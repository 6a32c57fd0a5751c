// The component over TLS against openssl s_server: event order and the certificate decision.

#include <gtest/gtest.h>
#include <sys/socket.h>

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

// However the connection ends, a body shorter than its Content-Length, or chunks without the
// last one, are not the whole answer.
TEST(EngineTlsTest, ABodyShorterThanItsLengthFailsTheActionHoweverTheConnectionEnds) {
    enum class TEnd { Close, CloseNotify, Reset };
    struct TCase {
        bool Tls;
        TEnd End;
        std::string Head;  // a header line
        std::string Body;
        std::string Error;
        std::string Data = "";  // what reaches TransferredData when it is not Body
    };
    const std::string length = "Content-Length: 8561\r\n";
    const std::string chunked = "Transfer-Encoding: chunked\r\n";
    const std::string half(4280, 'x');
    const std::string cut = "The server closed the connection after 4280 of 8561 body bytes.";
    const TCase cases[] = {
        {true, TEnd::Close, "Content-Length: 1000\r\n", std::string(500, 'x'),
         "284: The server closed the secure connection without close notify after 500 of 1000 "
         "body bytes."},
        {true, TEnd::CloseNotify, length, half, "284: " + cut},
        {false, TEnd::Close, length, half, "284: " + cut},
        {false, TEnd::Reset, length, half, "10054: [10054] Connection reset by peer"},
        {true, TEnd::CloseNotify, chunked, "5\r\nhello\r\n6\r\n wo",
         "284: The server closed the connection before the last chunk of the body, after 8 body "
         "bytes.",
         "hello wo"},
        // without a length, the end of the stream is the end of the body
        {true, TEnd::Close, "", half, ""},
        {false, TEnd::Close, "", half, ""},
        {true, TEnd::CloseNotify, length, half + half + "x", ""},
        {false, TEnd::Close, length, half + half + "x", ""},
        {false, TEnd::Close, chunked, "5\r\nhello\r\n0\r\n\r\n", "", "hello"},
    };
    TTrustTestRoot trust;
    for (const TCase& c : cases) {
        const std::string response = "HTTP/1.0 200 OK\r\n" + c.Head + "\r\n" + c.Body;
        SCOPED_TRACE(response.substr(0, 40) + (c.Tls ? " TLS" : " plain") + " end " +
                     std::to_string(static_cast<int>(c.End)));
        TScriptPeer server([&](int fd) {
            if (!c.Tls) {
                ReadUntil(fd, "\r\n\r\n");
                WriteAll(fd, response);
                const linger reset{1, 0};
                if (c.End == TEnd::Reset)
                    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                return;
            }
            TTlsPeerSession tls(fd);
            if (!tls.Accepted) return;
            tls.ReadUntil("\r\n\r\n");
            tls.Write(response);
            if (c.End == TEnd::CloseNotify) tls.CloseNotify();
        });
        TipsHTTPS http;
        TEventLog log(http);
        http.SetMaxTransferredData(0);
        http.SetURL(std::string(c.Tls ? "https" : "http") +
                    "://127.0.0.1:" + std::to_string(server.Port()) + "/");
        EXPECT_EQ(ActionError(http, httpGet), c.Error);
        if (c.End != TEnd::Reset) {
            EXPECT_EQ(http.TransferredData(), c.Data.empty() ? c.Body : c.Data);
        }
        std::vector<std::string> reported;
        if (c.Error.starts_with("284: ")) reported.push_back("Error 284 " + c.Error.substr(5));
        EXPECT_EQ(log.With("Error"), reported);
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
