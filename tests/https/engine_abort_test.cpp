// Ending an action early: time-out, Interrupt, re-entry, and the property side effects.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "common/base/message_pump.h"
#include "engine_events.h"
#include "engine_server.h"
#include "https/ipshttps.h"
#include "layer_test_support.h"
#include "proxy_peers.h"
#include "tls_peer.h"

namespace {

// A server that sends head (if any) and then stays silent until the client leaves.
TTestServer::THandler SilentAfter(std::string head) {
    return [head](int fd, const std::string&) {
        TTestServer::SendAll(fd, head);
        TTestServer::WaitForEnd(fd);
    };
}

// The deadline runs on the program clock: a manual one lets the five seconds pass at once.
TEST(EngineAbortTest, TimeoutEndsTheActionAboutFiveSecondsAfterItsStart) {
    TManualTime time;
    TTestServer server(SilentAfter(""));
    TipsHTTPS http;
    http.SetTimeout(5);
    EXPECT_EQ(http.Timeout(), 5);
    http.SetURL(server.Base() + "/");
    EXPECT_EQ(ActionError(http, httpGet), "301: Interrupted.");
    EXPECT_GE(time.ElapsedMs(), 5000);
    EXPECT_LE(time.ElapsedMs(), 5100);
}

TEST(EngineAbortTest, TimeoutCountsFromTheStartNotFromTheLastByte) {
    TManualTime time;
    std::atomic<bool> answered{false};
    TScriptPeer server([&answered](int fd) {
        WriteAll(fd, "HTTP/1.0 200 OK\r\n\r\nx");
        answered = true;
        // A byte every few milliseconds: far more often than a one-second wait for the
        // next byte could ever pass.
        for (int i = 0; i < 2000 && ::send(fd, "x", 1, MSG_NOSIGNAL) == 1; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    TipsHTTPS http;
    // The answer begins before the client waits at all: the manual time of its waits passes
    // at once and could otherwise run out before a busy server has written anything.
    http.OnConnected = [&answered](TipsHTTPS*, int, const std::string&) {
        for (int i = 0; !answered && i < 10000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    http.SetTimeout(1);
    http.SetURL("http://127.0.0.1:" + std::to_string(server.Port()) + "/");
    EXPECT_EQ(ActionError(http, httpGet), "301: Interrupted.");
    EXPECT_GE(time.ElapsedMs(), 1000);
    EXPECT_LE(time.ElapsedMs(), 1100);
    EXPECT_FALSE(http.TransferredData().empty());
}

TEST(EngineAbortTest, RefusalArrivingDuringTheUploadEndsItWith151) {
    const std::string file =
        std::filesystem::temp_directory_path() / ("engine-refused-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << std::string(10 << 20, 'z');
    TTestServer server(
        [](int fd, const std::string&) {
            TTestServer::SendAll(fd, "HTTP/1.0 413 Too Large\r\n\r\n");
            TTestServer::WaitForEnd(fd);  // keeps reading what still comes
        },
        1, false);
    TipsHTTPS http;
    TEventLog log(http);
    http.SetAttachedFile(file);
    http.SetURL(server.Base() + "/");
    EXPECT_EQ(ActionError(http, httpPost), "151: 413 Too Large");
    EXPECT_LT(log.With("Transfer 0").size(), 600u);
    EXPECT_TRUE(log.With("EndTransfer 0").empty());
    std::filesystem::remove(file);
}

// The server answers the head at once and closes without reading the body, so its side
// resets the connection while the upload goes on.
TEST(EngineAbortTest, RefusalFollowedByAResetEndsWith151AndItsStatusLine) {
    const std::string file =
        std::filesystem::temp_directory_path() / ("engine-reset-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << std::string(4 << 20, 'z');
    TTrustTestRoot trust;
    for (bool tls : {false, true}) {
        for (int round = 0; round < 5; ++round) {
            SCOPED_TRACE((tls ? "TLS, round " : "plain, round ") + std::to_string(round));
            TScriptPeer server([tls](int fd) {
                const std::string refusal = "HTTP/1.0 401 Unauthorized\r\n\r\n";
                if (!tls) {
                    ReadUntil(fd, "\r\n\r\n");
                    WriteAll(fd, refusal);
                    return;
                }
                TTlsPeerSession session(fd);
                if (!session.Accepted) return;
                session.ReadUntil("\r\n\r\n");
                session.Write(refusal);
            });
            TipsHTTPS http;
            http.SetAttachedFile(file);
            http.SetURL(std::string(tls ? "https" : "http") +
                        "://127.0.0.1:" + std::to_string(server.Port()) + "/");
            EXPECT_EQ(ActionError(http, httpPost), "151: 401 Unauthorized");
            EXPECT_EQ(http.StatusLine(), "HTTP/1.0 401 Unauthorized");
        }
    }
    std::filesystem::remove(file);
}

TEST(EngineAbortTest, InterruptFromATransferHandler) {
    TTestServer server(SilentAfter("HTTP/1.0 200 OK\r\n\r\n" + std::string(1000, 'x')));
    TipsHTTPS http;
    TEventLog log(http);
    http.OnTransfer = [](TipsHTTPS* sender, int, int64_t, const std::string&) {
        sender->Interrupt();
    };
    http.SetURL(server.Base() + "/");
    EXPECT_EQ(ActionError(http, httpGet), "301: Interrupted.");
    EXPECT_EQ(log.Lines.back(), "Disconnected 0 OK");
    EXPECT_EQ(http.Action(), httpIdle);
}

TEST(EngineAbortTest, InterruptFromATimerOfTheCallingThread) {
    TManualTime time;
    TTestServer server(SilentAfter("HTTP/1.0 200 OK\r\nServer: test\r\n"));
    TipsHTTPS http;
    TPumpTimer timer;
    timer.SetInterval(200);
    timer.OnTimer = [&] {
        timer.SetEnabled(false);
        http.Interrupt();
    };
    // Armed once the answer has begun: the manual time of the waits before it passes at once,
    // and would let the timer fire before a busy server has answered at all.
    http.OnHeader = [&](TipsHTTPS*, const std::string&, const std::string&) {
        timer.SetEnabled(true);
    };
    http.SetURL(server.Base() + "/");
    EXPECT_EQ(ActionError(http, httpGet), "301: Interrupted.");
    EXPECT_GE(time.ElapsedMs(), 200);
    EXPECT_LT(time.ElapsedMs(), 3000);
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
}

TEST(EngineAbortTest, ActionFromAnEventHandlerFailsWith143AndTheRunningOneGoesOn) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"));
    TipsHTTPS http;
    std::string nested;
    http.OnHeader = [&](TipsHTTPS* sender, const std::string&, const std::string&) {
        try {
            sender->SetAction(httpGet);
        } catch (const EipsHTTPS& error) {
            nested = error.what();
        }
        EXPECT_EQ(sender->Action(), httpGet);
    };
    http.SetURL(server.Base() + "/");
    http.SetAction(httpGet);
    EXPECT_EQ(nested, "143: Busy performing current action.");
    EXPECT_EQ(http.TransferredData(), "body");
}

TEST(EngineAbortTest, InterruptWhileIdleDoesNotSpoilTheNextAction) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
    TipsHTTPS http;
    http.Interrupt();
    http.SetAction(httpIdle);
    http.SetURL(server.Base() + "/");
    http.SetAction(httpGet);
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
}

TEST(EnginePropertiesTest, DefaultsAndSideEffects) {
    TipsHTTPS http;
    EXPECT_EQ(http.FirewallPort(), 80);
    EXPECT_EQ(http.FirewallType(), fwNone);
    EXPECT_EQ(http.ProxySSL(), psAutomatic);
    EXPECT_EQ(http.ProxyPort(), 80);
    EXPECT_EQ(http.MaxTransferredData(), 4096);
    EXPECT_EQ(http.SSLCertStore(), "MY");
    EXPECT_EQ(http.Timeout(), 0);
    EXPECT_FALSE(http.UserAgent().empty());
    EXPECT_EQ(http.WinsockStatus(), "Running");

    http.SetFirewallType(fwSOCKS5);
    EXPECT_EQ(http.FirewallPort(), 1080);
    http.SetFirewallPort(1234);
    http.SetFirewallType(fwSOCKS4);
    EXPECT_EQ(http.FirewallPort(), 1080);
    http.SetFirewallType(fwTunnel);
    EXPECT_EQ(http.FirewallPort(), 80);
    http.SetFirewallType(fwSOCKS5);
    http.SetProxySSL(psTunnel);
    EXPECT_EQ(http.FirewallType(), fwTunnel);
    EXPECT_EQ(http.FirewallPort(), 80);
    http.SetProxySSL(psAlways);
    EXPECT_EQ(http.FirewallType(), fwNone);

    http.SetFirewallUser(std::string(300, 'u'));
    http.SetFirewallPassword(std::string(256, 'p'));
    EXPECT_EQ(http.FirewallUser().size(), 255u);
    EXPECT_EQ(http.FirewallPassword().size(), 255u);

    http.SetWinsockLoaded(false);
    EXPECT_EQ(http.WinsockStatus(), "Down");
}

TEST(EnginePropertiesTest, ResetHeadersClearsTheRequestButKeepsTheUserAgent) {
    TipsHTTPS http;
    http.SetUserAgent("UA");
    http.SetURL("http://u:p@H:81/x");
    http.SetAccept("a");
    http.SetProxyUser("pu");
    http.SetAttachedFile("f");
    http.SetLocalFile("l");
    http.SetAction(httpResetHeaders);
    EXPECT_EQ(http.User(), "");
    EXPECT_EQ(http.Password(), "");
    EXPECT_EQ(http.Accept(), "");
    EXPECT_EQ(http.ProxyUser(), "");
    EXPECT_EQ(http.AttachedFile(), "");
    EXPECT_EQ(http.LocalFile(), "");
    EXPECT_EQ(http.UserAgent(), "UA");
    EXPECT_EQ(ActionError(http, httpGet), "152: No server specified in URL");
}

}  // namespace
