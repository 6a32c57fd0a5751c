#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <csignal>
#include <future>
#include <regex>

#include "https/tls_verify.h"
#include "layer_test_support.h"
#include "proxy_peers.h"
#include "tls_peer.h"

namespace {

std::unique_ptr<TLayer> TlsTo(TRecordingLink& link) {
    TConnectionSettings settings;
    settings.UseTLS = true;
    settings.SSLCertStore = "CA";
    return BuildConnectionStack(settings, link.Context);
}

}  // namespace

TEST(TlsSession, DataFlowsBothWaysAndCloseSendsCloseNotify) {
    TTrustTestRoot trust;
    std::string request, last;
    TScriptPeer server([&](int fd) {
        TTlsPeerSession tls(fd);
        if (!tls.Accepted) return;
        request = tls.Read();
        tls.Write(std::string(100000, 'z'));  // several records
        last = tls.Read();
    });
    TRecordingLink link;
    auto stack = TlsTo(link);
    stack->Connect("127.0.0.1", server.Port());
    stack->Send("ping");
    std::string reply;
    char buffer[4096];
    while (reply.size() < 100000) {
        size_t got = stack->Receive(buffer, sizeof buffer);
        ASSERT_GT(got, 0u);
        reply.append(buffer, got);
    }
    EXPECT_EQ(reply, std::string(100000, 'z'));
    stack->Close();
    server.Join();
    EXPECT_EQ(request, "ping");
    EXPECT_EQ(last, "<close notify>");
}

TEST(TlsSession, ARefusedServerStillHearsTheCloseNotify) {
    std::string last;  // no trusted root here: the certificate is refused
    TScriptPeer server([&](int fd) {
        TTlsPeerSession tls(fd);
        if (tls.Accepted) last = tls.Read();
    });
    TRecordingLink link;
    auto stack = TlsTo(link);
    EXPECT_THROW(stack->Connect("127.0.0.1", server.Port()), EipsHTTPS);
    server.Join();
    EXPECT_EQ(last, "<close notify>");
}

TEST(TlsSession, BrokenRecordsAreReportedAs284) {
    TTrustTestRoot trust;
    TScriptPeer server([&](int fd) {
        TTlsPeerSession tls(fd);
        if (!tls.Accepted) return;
        tls.Read();
        // an application-data record whose protection cannot be valid
        WriteAll(fd, std::string("\x17\x03\x03\x00\x20", 5) + std::string(32, '\x5a'));
        ReadExactly(fd, 1 << 16);
    });
    TRecordingLink link;
    auto stack = TlsTo(link);
    stack->Connect("127.0.0.1", server.Port());
    stack->Send("ping");
    try {
        ReceiveAll(*stack);
        ADD_FAILURE() << "broken record taken as data or end";
    } catch (const EipsHTTPS& e) {
        EXPECT_EQ(e.Code, 284);
        EXPECT_TRUE(std::regex_match(e.Description,
                                     std::regex("error decrypting data \\(error 0x[0-9a-f]+\\)")));
        EXPECT_EQ(link.Events.back(), "Error: 284 " + e.Description);
    }
    stack->Close();
}

// Several records that arrive in one piece are read together; an end or a broken record among
// them still comes after the bytes before it, with the text it has when read alone.
TEST(TlsSession, AnEndOrABrokenRecordAfterDataInOnePieceComesAfterTheData) {
    TTrustTestRoot trust;
    for (const bool broken : {false, true}) {
        std::promise<void> written;
        TScriptPeer server([&](int fd) {
            TTlsPeerSession tls(fd);
            if (!tls.Accepted) return;
            tls.Read();
            tls.Write("pong");
            tls.Write(std::string(40000, 'z'));
            if (broken)
                WriteAll(fd, std::string("\x17\x03\x03\x00\x20", 5) + std::string(32, '\x5a'));
            else
                tls.CloseNotify();
            written.set_value();
            ReadExactly(fd, 1 << 16);
        });
        TRecordingLink link;
        auto stack = TlsTo(link);
        stack->Connect("127.0.0.1", server.Port());
        stack->Send("ping");
        written.get_future().wait();
        std::string got(1 << 20, '\0');
        const size_t size = stack->Receive(got.data(), got.size());
        EXPECT_EQ(got.substr(0, size), "pong" + std::string(40000, 'z')) << broken;
        if (broken) {
            try {
                stack->Receive(got.data(), got.size());
                ADD_FAILURE() << "broken record taken as data or end";
            } catch (const EipsHTTPS& e) {
                EXPECT_EQ(e.Code, 284);
                EXPECT_EQ(link.Events.back(), "Error: 284 " + e.Description);
            }
        } else {
            EXPECT_EQ(stack->Receive(got.data(), got.size()), 0u);
            EXPECT_EQ(link.Events.back(), "SSLStatus: Server signaled end of session.");
        }
        stack->Close();
    }
}

TEST(TlsSession, ServerAskingForAClientCertificateIsAnnounced) {
    TTrustTestRoot trust;
    TTlsServer server("trusted", {"-verify", "1"});
    ASSERT_TRUE(server.Ready());
    TRecordingLink link;
    auto stack = TlsTo(link);
    stack->Connect("localhost", server.Port());
    int announced = 0;
    for (const auto& event : link.Events)
        announced += event == "SSLStatus: Client certificate requested from server.";
    EXPECT_EQ(announced, 1);
    stack->Send("GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(ReceiveAll(*stack).substr(0, 15), "HTTP/1.0 200 ok");
}

// TLS 1.3 ends the handshake on the client's side before the server judges the missing
// certificate, so the refusal arrives as an alert on the first read; TLS 1.2 refuses within
// the handshake. Either way the text names the alert.
TEST(TlsSession, AServerDemandingAClientCertificateIsNamedByItsAlert) {
    TTrustTestRoot trust;
    for (const char* version : {"-tls1_3", "-tls1_2"}) {
        SCOPED_TRACE(version);
        TTlsServer server("trusted", {"-Verify", "1", version});
        ASSERT_TRUE(server.Ready());
        TRecordingLink link;
        auto stack = TlsTo(link);
        try {
            stack->Connect("localhost", server.Port());
            ReceiveAll(*stack);
            ADD_FAILURE() << "no refusal";
        } catch (const EipsHTTPS& e) {
            const bool v13 = std::string(version) == "-tls1_3";
            EXPECT_EQ(e.Code, v13 ? 284 : 276);
            const std::string alert = v13 ? "certificate required" : "handshake failure";
            EXPECT_TRUE(std::regex_match(
                e.Description, std::regex("server alert: " + alert + " \\(error 0x[0-9a-f]+\\)")))
                << e.Description;
            EXPECT_EQ(link.Events.back(), "Error: " + std::to_string(e.Code) + " " + e.Description);
        }
    }
}

TEST(TlsVerify, TheMostSeriousFaultWinsAndNamesComeLast) {
    EXPECT_EQ(PolicyStatusFromErrors({}), 0u);
    EXPECT_EQ(PolicyStatusFromErrors({X509_V_ERR_HOSTNAME_MISMATCH, X509_V_ERR_CERT_HAS_EXPIRED,
                                      X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT}),
              policy_status::kUntrustedRoot);
    EXPECT_EQ(PolicyStatusFromErrors({X509_V_ERR_HOSTNAME_MISMATCH, X509_V_ERR_CERT_HAS_EXPIRED}),
              policy_status::kExpired);
    EXPECT_EQ(PolicyStatusFromErrors({X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY}),
              policy_status::kChaining);
    EXPECT_EQ(PolicyStatusFromErrors({X509_V_ERR_CERT_SIGNATURE_FAILURE, X509_V_ERR_CERT_REVOKED}),
              policy_status::kBadSignature);
    EXPECT_EQ(PolicyStatusFromErrors({X509_V_ERR_INVALID_PURPOSE}), policy_status::kWrongUsage);
    EXPECT_EQ(PolicyStatusLine(0), "[0x0] OK");
    EXPECT_EQ(PolicyStatusLine(0x800B010D),
              "[0x800b010d] The root certificate is a testing certificate and policy settings "
              "disallow test certificates.");
    EXPECT_EQ(PolicyStatusLine(0x800B010B), "[0x800b010b] (unknown status code)");
}

TEST(TlsVerify, NamesAreRenderedInEncodedOrderWithQuotesWhereNeeded) {
    X509_NAME* name = X509_NAME_new();
    auto add = [&](const char* field, const std::string& value) {
        X509_NAME_add_entry_by_txt(name, field, MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(value.data()),
                                   static_cast<int>(value.size()), -1, 0);
    };
    add("C", "TW");
    add("ST", "Taipei");
    add("O", "Acme, Inc.");
    add("OU", "Say \"hi\"");
    add("CN", "host.example");
    add("emailAddress", "ops@example.com");
    EXPECT_EQ(X500NameText(name),
              "C=TW, S=Taipei, O=\"Acme, Inc.\", OU=\"Say \"\"hi\"\"\", CN=host.example, "
              "E=ops@example.com");
    X509_NAME_free(name);
}

TEST(TlsSession, ClientCertificateFromAPfxStoreIsPresented) {
    TTrustTestRoot trust;
    const std::string certs = TestCertificates();
    TTlsServer server("trusted", {"-Verify", "1", "-CAfile", certs + "/ca.pem"});
    ASSERT_TRUE(server.Ready());
    auto fetch = [&](const std::string& store, const std::string& subject) {
        TRecordingLink link;
        TConnectionSettings settings;
        settings.UseTLS = true;
        settings.SSLCertStore = store;
        settings.SSLCertSubject = subject;
        auto stack = BuildConnectionStack(settings, link.Context);
        try {
            stack->Connect("localhost", server.Port());
            stack->Send("GET / HTTP/1.0\r\n\r\n");
            return ReceiveAll(*stack).substr(0, 15);
        } catch (const EipsHTTPS& e) {
            return std::to_string(e.Code) + ": " + e.Description;
        }
    };
    const std::string pfx = "PFX\\" + certs + "/client.p12";
    EXPECT_EQ(fetch(pfx, "C=US, O=Dovrant Test, CN=Dovrant Client"), "HTTP/1.0 200 ok");
    EXPECT_EQ(fetch(pfx, "Dovrant Client"), "HTTP/1.0 200 ok");  // part of the subject
    EXPECT_NE(fetch(pfx, "Somebody Else"), "HTTP/1.0 200 ok");   // none presented
    EXPECT_NE(fetch("CA", ""), "HTTP/1.0 200 ok");
    EXPECT_EQ(fetch("PFX\\" + certs + "/missing.p12", "Dovrant Client"),
              "271: The certificate store could not be opened.");
    EXPECT_EQ(fetch("MY", "Dovrant Client"), "271: The certificate store could not be opened.");
}
