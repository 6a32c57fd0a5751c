#include "https/tls_layer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <regex>

#include "https/tcp_layer.h"
#include "layer_test_support.h"
#include "proxy_peers.h"
#include "tls_peer.h"

namespace {

// Passes everything through and counts the bytes, to check the handshake figures.
class TCountingLayer : public TLayer {
  public:
    using TLayer::TLayer;
    void Connect(const std::string& host, uint16_t port) override { below_->Connect(host, port); }
    void Send(std::string_view bytes) override {
        Sent += bytes.size();
        below_->Send(bytes);
    }
    size_t Receive(char* buffer, size_t capacity) override {
        size_t got = below_->Receive(buffer, capacity);
        Received += got;
        return got;
    }
    void Close() override { below_->Close(); }
    size_t Sent = 0;
    size_t Received = 0;
};

struct TTlsStack {
    explicit TTlsStack(TRecordingLink& link) {
        auto tcp = std::make_unique<TTcpLayer>(link.Context, false, "");
        auto counting = std::make_unique<TCountingLayer>(link.Context, std::move(tcp));
        Counter = counting.get();
        Tls = std::make_unique<TTlsLayer>(link.Context, std::move(counting), "CA", "");
    }
    TCountingLayer* Counter;
    std::unique_ptr<TTlsLayer> Tls;
};

std::string Get(TLayer& layer) {
    layer.Send("GET / HTTP/1.0\r\n\r\n");
    return ReceiveAll(layer);
}

// Sums the numbers of the status texts that match pattern.
size_t SumOf(const std::vector<std::string>& events, const std::regex& pattern) {
    size_t total = 0;
    std::smatch match;
    for (const auto& event : events)
        if (std::regex_match(event, match, pattern)) total += std::stoul(match[1]);
    return total;
}

int ConnectCode(TLayer& layer, const std::string& host, uint16_t port, std::string* text) {
    try {
        layer.Connect(host, port);
    } catch (const EipsHTTPS& e) {
        *text = e.Description;
        return e.Code;
    }
    return 0;
}

}  // namespace

TEST(TlsLayer, TrustedServerConnectsWithStatusTextsInOrderAndRealByteCounts) {
    TTrustTestRoot trust;
    TTlsServer server("trusted");
    ASSERT_TRUE(server.Ready());
    TRecordingLink link;
    TTlsStack stack(link);
    stack.Tls->Connect("localhost", server.Port());
    size_t handshakeSent = stack.Counter->Sent, handshakeReceived = stack.Counter->Received;

    ASSERT_GE(link.Events.size(), 6u);
    EXPECT_EQ(link.Events[0], "SSLStatus: Attempting to connect to server.");
    EXPECT_EQ(link.Events[1], "SSLStatus: Socket connection established.");
    EXPECT_EQ(link.Events[2], "SSLStatus: Starting secure channel handshake.");
    EXPECT_TRUE(std::regex_match(link.Events[3],
                                 std::regex("SSLStatus: Sending [0-9]+ bytes of handshake data.")));
    EXPECT_TRUE(std::regex_match(
        link.Events[4], std::regex("SSLStatus: Receiving [0-9]+ bytes of handshake data.")));
    EXPECT_EQ(link.Events.back(), "ServerAuthentication: [0x0] OK accept=1");
    for (const auto& event : link.Events) EXPECT_EQ(event.find("Error"), std::string::npos);
    EXPECT_EQ(SumOf(link.Events, std::regex("SSLStatus: Sending ([0-9]+) (bytes of handshake "
                                            "data|handshake bytes).")),
              handshakeSent);
    EXPECT_EQ(
        SumOf(link.Events, std::regex("SSLStatus: Receiving ([0-9]+) bytes of handshake data.")),
        handshakeReceived);

    ASSERT_EQ(link.Certificates.size(), 1u);
    EXPECT_NE(link.Certificates[0].CertHandle, 0);
    EXPECT_EQ(link.Certificates[0].CertSubject, "C=US, O=Dovrant Test, CN=localhost");
    EXPECT_EQ(link.Certificates[0].CertIssuer, "C=US, O=Dovrant Test, CN=Dovrant Test CA");
    EXPECT_EQ(Get(*stack.Tls).substr(0, 15), "HTTP/1.0 200 ok");
}

TEST(TlsLayer, CertificateFaultsAreReportedThenRefusedUnlessAccepted) {
    struct TCase {
        const char* Certificate;
        const char* Host;
        const char* Code;
        const char* Text;
    };
    const TCase cases[] = {
        {"selfsigned", "localhost", "0x800b0109",
         "A certification chain processed correctly but terminated in a root certificate not "
         "trusted by the trust provider."},
        {"expired", "127.0.0.1", "0x800b0101",
         "A required certificate is not within its validity period."},
        {"wronghost", "localhost", "0x800b010f",
         "The certificate's CN name does not match the passed value."},
    };
    TTrustTestRoot trust;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Certificate);
        TTlsServer server(c.Certificate);
        ASSERT_TRUE(server.Ready());
        const std::string status = std::string("[") + c.Code + "] " + c.Text;

        TRecordingLink refusing;
        TTlsStack refused(refusing);
        std::string text;
        EXPECT_EQ(ConnectCode(*refused.Tls, c.Host, server.Port(), &text), 276);
        EXPECT_EQ(text, "Server certificate verification failed. Connection aborted.");
        ASSERT_GE(refusing.Events.size(), 3u);
        auto last = refusing.Events.end() - 3;
        EXPECT_EQ(last[0], std::string("Error: 280 error verifying server certificate: ") + c.Code);
        EXPECT_EQ(last[1], "ServerAuthentication: " + status + " accept=0");
        EXPECT_EQ(last[2],
                  "SSLStatus: Server certificate verification failed. Aborting connection...");
        EXPECT_EQ(refused.Tls->Socket(), -1);

        TRecordingLink accepting;
        accepting.ChangeAccept = true;
        accepting.AcceptCertificate = true;
        TTlsStack accepted(accepting);
        accepted.Tls->Connect(c.Host, server.Port());
        EXPECT_EQ(Get(*accepted.Tls).substr(0, 15), "HTTP/1.0 200 ok");
    }
}

TEST(TlsLayer, TrustThroughACertificateFolder) {
    TTrustTestRoot trust(true);
    TTlsServer server("trusted");
    ASSERT_TRUE(server.Ready());
    TRecordingLink link;
    TTlsStack stack(link);
    stack.Tls->Connect("127.0.0.1", server.Port());
    ASSERT_EQ(link.Certificates.size(), 1u);
    EXPECT_EQ(link.Certificates[0].Status, "[0x0] OK");
    EXPECT_TRUE(link.Certificates[0].Accept);
}

TEST(TlsLayer, TrustedServerRefusedByTheHandlerEndsWith276) {
    TTrustTestRoot trust;
    TTlsServer server("trusted");
    ASSERT_TRUE(server.Ready());
    TRecordingLink link;
    link.ChangeAccept = true;  // leaves Accept false
    TTlsStack stack(link);
    std::string text;
    EXPECT_EQ(ConnectCode(*stack.Tls, "localhost", server.Port(), &text), 276);
    EXPECT_EQ(link.Events.back(),
              "SSLStatus: Server certificate verification failed. Aborting connection...");
}

TEST(TlsLayer, HandshakeFailuresAndEarlyClosesEndWith276) {
    TScriptPeer notTls([](int fd) {
        ReadExactly(fd, 5);
        WriteAll(fd, "HTTP/1.0 400 Bad Request\r\n\r\n");
        ReadExactly(fd, 1);
    });
    TRecordingLink link;
    TTlsStack stack(link);
    std::string text;
    EXPECT_EQ(ConnectCode(*stack.Tls, "127.0.0.1", notTls.Port(), &text), 276);
    EXPECT_TRUE(std::regex_match(text, std::regex("error during handshake\\[2\\]: 0x[0-9a-f]+")))
        << text;
    EXPECT_EQ(link.Events.back(), "Error: 276 " + text);

    TScriptPeer closing([](int fd) {
        ReadExactly(fd, 5);
        shutdown(fd, SHUT_WR);
        ReadExactly(fd, 1 << 20);  // until the client closes too
    });
    TScriptPeer resetting([](int fd) { ReadExactly(fd, 5); });  // closes with unread bytes
    for (uint16_t port : {closing.Port(), resetting.Port()}) {
        TRecordingLink link2;
        TTlsStack stack2(link2);
        EXPECT_EQ(ConnectCode(*stack2.Tls, "127.0.0.1", port, &text), 276);
        EXPECT_EQ(text, "Server disconnected before handshake completion [0x90312].");
        EXPECT_EQ(link2.Events.back(), "Error: 276 " + text);
    }
}

TEST(TlsLayer, ConnectFailuresBelowPassThroughAfterTheFirstStatus) {
    TRecordingLink link;
    TTlsStack stack(link);
    std::string text;
    const TRefusingPort closed;
    EXPECT_EQ(ConnectCode(*stack.Tls, "127.0.0.1", closed.Port(), &text), 10061);
    EXPECT_EQ(link.Events, std::vector<std::string>{"SSLStatus: Attempting to connect to server."});
}

// On the manual clock: the in-memory server decides how much time each piece takes, and the
// client never has to wait for one, so only the checks inside the reading loops can end it.
TEST(TlsLayer, TrickledHandshakeAndEndlessSessionTicketsEndAtTheDeadline) {
    TManualTime time;
    std::string text;
    {
        TRecordingLink link(std::chrono::milliseconds(1000));
        auto below = std::make_unique<TMemoryTlsServer>(link.Context);
        TMemoryTlsServer& server = *below;
        server.MaxPiece = 1;
        server.BeforeReceive = [&] { time.AdvanceMs(5); };
        TTlsLayer tls(link.Context, std::move(below), "CA", "");
        const int64_t start = time.ElapsedMs();
        EXPECT_EQ(ConnectCode(tls, "localhost", 443, &text), 301);
        EXPECT_FALSE(server.HandshakeDone());
        EXPECT_GE(time.ElapsedMs() - start, 1000);
        EXPECT_LE(time.ElapsedMs() - start, 1010);
    }
    {
        TRecordingLink link(std::chrono::milliseconds(3000));
        link.ChangeAccept = true;
        link.AcceptCertificate = true;
        auto below = std::make_unique<TMemoryTlsServer>(link.Context);
        TMemoryTlsServer& server = *below;
        server.BeforeReceive = [&] {
            if (!server.HandshakeDone() || server.Receives > 2000) return;
            server.SendTicket();
            time.AdvanceMs(10);
        };
        TTlsLayer tls(link.Context, std::move(below), "CA", "");
        tls.Connect("localhost", 443);
        const int64_t start = time.ElapsedMs();
        char buffer[256];
        try {
            tls.Receive(buffer, sizeof buffer);
            ADD_FAILURE() << "the tickets ran out before the deadline was seen";
        } catch (const EipsHTTPS& e) {
            EXPECT_EQ(e.Code, 301);
        }
        EXPECT_LT(server.Receives, 400);
        EXPECT_GE(time.ElapsedMs() - start, 2990);
    }
}
