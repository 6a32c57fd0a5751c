// What reaches the server, byte for byte, and the events around sending.

#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>

#include "common/test_support.h"
#include "engine_events.h"
#include "engine_server.h"
#include "https/ipshttps.h"
#include "layer_test_support.h"
#include "proxy_peers.h"
#include "tls_peer.h"

namespace {

const std::string kOK = "HTTP/1.0 200 OK\r\nServer: test\r\n\r\nhi";

std::string WriteFile(const std::string& name, size_t size) {
    const auto path =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(static_cast<char>('a' + i % 26));
    return path.string();
}

TEST(EngineRequestTest, GetSendsHostAndUserAgentOnlyAndRaisesEventsInOrder) {
    TTestServer server(TTestServer::Reply(kOK));
    TipsHTTPS http;
    TEventLog log(http);
    http.SetUserAgent("Quillbern Dovrant");
    http.SetURL(server.Base() + "/path");
    http.SetAction(httpGet);
    EXPECT_EQ(server.Request(),
              "GET /path HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: Quillbern Dovrant\r\n\r\n");
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(http.TransferredData(), "hi");
    EXPECT_EQ(http.Action(), httpIdle);
    const std::vector<std::string> expected = {"Connected 0 OK",  "Header Server: test",
                                               "StartTransfer 1", "Transfer 1 2 2",
                                               "EndTransfer 1",   "Disconnected 0 OK"};
    EXPECT_EQ(log.Lines, expected);
}

TEST(EngineRequestTest, PostSendsTheFileIn16384BytePieces) {
    const std::string file = WriteFile("engine-post", 40000);
    TTestServer server(TTestServer::Reply(kOK));
    TipsHTTPS http;
    TEventLog log(http);
    http.SetUserAgent("Quillbern Dovrant");
    http.SetContentType("multipart/form-data; boundary=B");
    http.SetAttachedFile(file);
    http.SetURL(server.Base() + "/upload");
    http.SetAction(httpPost);
    EXPECT_EQ(server.Request(),
              "POST /upload HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: Quillbern Dovrant\r\n"
              "Content-Type: multipart/form-data; boundary=B\r\nContent-Length: 40000\r\n\r\n" +
                  ReadFile(file));
    const std::vector<std::string> upload = {
        "Connected 0 OK",     "StartTransfer 0", "Transfer 0 16384 0", "Transfer 0 32768 0",
        "Transfer 0 40000 0", "EndTransfer 0",   "Header Server: test"};
    EXPECT_EQ(std::vector<std::string>(log.Lines.begin(), log.Lines.begin() + 7), upload);
    std::filesystem::remove(file);
}

// The server answers as soon as it has the whole body and waits until the client has
// acknowledged the answer, which then is at hand; only then does the client, held in its
// last upload event, look for an early answer. The answer's events still come after the end.
TEST(EngineRequestTest, AnAnswerAlreadyThereAfterTheLastPieceWaitsForTheUploadsEnd) {
    const std::string file = WriteFile("engine-early", 40000);
    TTrustTestRoot trust;
    for (bool tls : {false, true}) {
        std::atomic<bool> sent{false};
        TScriptPeer server([&](int fd) {
            const std::string answer = "HTTP/1.0 200 OK\r\nServer: test\r\n\r\nhi";
            std::optional<TTlsPeerSession> session;
            if (tls && !session.emplace(fd).Accepted) return;
            std::string request = tls ? session->ReadUntil("\r\n\r\n") : ReadUntil(fd, "\r\n\r\n");
            const size_t whole = request.find("\r\n\r\n") + 4 + 40000;
            while (request.size() < whole) {
                const std::string piece =
                    tls ? session->Read() : ReadExactly(fd, whole - request.size());
                if (piece.empty() || piece.starts_with("<")) break;
                request += piece;
            }
            tls ? session->Write(answer) : WriteAll(fd, answer);
            for (int left = 1, i = 0; left > 0 && i < 10000; ++i) {
                ::ioctl(fd, SIOCOUTQ, &left);  // bytes not yet acknowledged
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            sent = true;
        });
        TipsHTTPS http;
        TEventLog log(http);
        http.OnTransfer = [&, logged = http.OnTransfer](TipsHTTPS* sender, int direction,
                                                        int64_t total, const std::string& text) {
            logged(sender, direction, total, text);
            for (int i = 0; direction == 0 && total == 40000 && !sent && i < 10000; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        http.SetAttachedFile(file);
        http.SetURL(std::string(tls ? "https" : "http") +
                    "://127.0.0.1:" + std::to_string(server.Port()) + "/");
        http.SetAction(httpPost);
        EXPECT_TRUE(sent);
        EXPECT_EQ(log.Lines, (std::vector<std::string>{
                                 "Connected 0 OK", "StartTransfer 0", "Transfer 0 16384 0",
                                 "Transfer 0 32768 0", "Transfer 0 40000 0", "EndTransfer 0",
                                 "Header Server: test", "StartTransfer 1", "Transfer 1 2 2",
                                 "EndTransfer 1", "Disconnected 0 OK"}))
            << (tls ? "TLS" : "plain");
    }
    std::filesystem::remove(file);
}

TEST(EngineRequestTest, EmptyFileAndNoFileSendLengthZeroWithoutUploadEvents) {
    const std::string file = WriteFile("engine-empty", 0);
    for (const std::string& attached : {file, std::string()}) {
        TTestServer server(TTestServer::Reply(kOK));
        TipsHTTPS http;
        TEventLog log(http);
        http.SetUserAgent("");
        http.SetAttachedFile(attached);
        http.SetURL(server.Base() + "/");
        http.SetAction(httpPut);
        EXPECT_EQ(server.Request(),
                  "PUT / HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
        EXPECT_TRUE(log.With("StartTransfer 0").empty());
        EXPECT_TRUE(log.With("EndTransfer 0").empty());
        EXPECT_TRUE(log.With("Transfer 0").empty());
    }
    std::filesystem::remove(file);
}

TEST(EngineRequestTest, MissingAttachedFileFailsWith302AfterTheHead) {
    TTestServer server(TTestServer::Reply(kOK));
    TipsHTTPS http;
    http.SetUserAgent("UA");
    http.SetAttachedFile("/nonexistent/attached");
    http.SetURL(server.Base() + "/p");
    EXPECT_EQ(ActionError(http, httpPost), "302: Can't open attached file for reading.");
    EXPECT_EQ(server.Request(), "POST /p HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: UA\r\n");
}

TEST(EngineRequestTest, PlainProxyGetsTheAbsoluteFormAndItsCredentials) {
    TTestServer proxy(TTestServer::Reply(kOK));
    TipsHTTPS http;
    http.SetUserAgent("UA");
    http.SetProxyServer("127.0.0.1");
    http.SetProxyPort(proxy.Port());
    http.SetProxyUser("pu");
    http.SetProxyPassword("pp");
    http.SetAccept("text/*");
    http.SetURL("http://u:p@example.invalid/x?y=1");
    http.SetAction(httpHead);
    EXPECT_EQ(proxy.Request(),
              "HEAD http://example.invalid:80/x?y=1 HTTP/1.0\r\nHost: example.invalid\r\n"
              "Authorization: Basic dTpw\r\nProxy-Authorization: Basic cHU6cHA=\r\n"
              "Accept: text/*\r\nUser-Agent: UA\r\n\r\n");
}

TEST(EngineRequestTest, UnreachableServerReportsTheSocketError) {
    const TRefusingPort closed;
    TipsHTTPS http;
    TEventLog log(http);
    http.SetURL("http://127.0.0.1:" + std::to_string(closed.Port()) + "/");
    EXPECT_EQ(ActionError(http, httpGet), "10061: [10061] Connection refused");
    EXPECT_EQ(log.Lines, std::vector<std::string>{"Connected 10061 [10061] Connection refused"});
}

TEST(EngineRequestTest, MissingServerAndForeignSchemeAreRefusedBeforeConnecting) {
    TipsHTTPS http;
    EXPECT_EQ(ActionError(http, httpGet), "152: No server specified in URL");
    http.SetURL("ftp://127.0.0.1/file");
    EXPECT_EQ(ActionError(http, httpGet), "153: Specified URLScheme is invalid.");
}

TEST(EngineRequestTest, ControlCharactersInTheURLAreRefusedBeforeConnecting) {
    const std::string refused =
        "153: The URL contains a control character, or a blank in its host name.";
    TTestServer server(TTestServer::Reply(kOK));
    const std::string base = server.Base();
    const std::string urls[] = {
        base + "/a\r\nX-Injected: 1",
        base + "/a\nb",
        base + std::string("/a\0b", 4),
        base + "/a\x7f",
        base + "/a\tb",
        "http://127.0.0.1 /",
        "http://127.0.0.1\r\nX-Injected: 1/",
        base + "/?q=\x1b",
    };
    TipsHTTPS http;
    TEventLog log(http);
    for (const std::string& url : urls) {
        http.SetURL(url);
        EXPECT_EQ(ActionError(http, httpGet), refused);
    }
    EXPECT_TRUE(log.Lines.empty());
    http.SetURL(base + "/clean%20path");
    http.SetUserAgent("");
    http.SetAction(httpGet);
    EXPECT_EQ(server.Request(), "GET /clean%20path HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST(EngineRequestTest, ARedirectTargetWithAControlCharacterIsNotFollowed) {
    auto first = std::make_shared<bool>(true);
    TTestServer server(
        [first](int fd, const std::string&) {
            TTestServer::SendAll(
                fd, *first ? "HTTP/1.0 302 Found\r\nLocation: /next\rX-Id: 7\r\n\r\n" : kOK);
            *first = false;
        },
        2);
    TipsHTTPS http;
    http.SetFollowRedirects(frAlways);
    http.SetURL(server.Base() + "/first");
    EXPECT_EQ(ActionError(http, httpGet),
              "153: The URL contains a control character, or a blank in its host name.");
    EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
