// Reading answers: bodies to LocalFile and TransferredData, failures, redirects.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/test_support.h"
#include "engine_events.h"
#include "engine_server.h"
#include "https/ipshttps.h"
#include "layer_test_support.h"

namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid())))
        .string();
}

std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i * 7 % 251);
    return body;
}

TEST(EngineResponseTest, EmptyBodyLeavesLocalFileUntouchedButEndsTheTransfer) {
    const std::string file = TempPath("engine-untouched");
    std::ofstream(file) << "old";
    TTestServer server(TTestServer::Reply("HTTP/1.0 204 No Content\r\n\r\n"));
    TipsHTTPS http;
    TEventLog log(http);
    http.SetLocalFile(file);
    http.SetURL(server.Base() + "/");
    http.SetAction(httpGet);
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(log.Lines, (std::vector<std::string>{"Connected 0 OK", "StartTransfer 1",
                                                   "EndTransfer 1", "Disconnected 0 OK"}));
    std::filesystem::remove(file);
}

TEST(EngineResponseTest, ResponseWithoutStatusLineIsBodyAndSucceeds) {
    TTestServer server(TTestServer::Reply("plain text\nHTTP/1.0 500 x\n"));
    TipsHTTPS http;
    http.SetURL(server.Base() + "/");
    http.SetAction(httpGet);
    EXPECT_EQ(http.StatusLine(), "");
    EXPECT_EQ(http.TransferredData(), "plain text\nHTTP/1.0 500 x\n");
}

TEST(EngineResponseTest, ServerErrorRaises151AfterTheBodyReachedLocalFile) {
    const std::string file = TempPath("engine-500");
    const std::string body = Body(30000);
    TTestServer server(TTestServer::Reply("HTTP/1.1 500 Internal Server Error\r\n\r\n" + body));
    TipsHTTPS http;
    http.SetLocalFile(file);
    http.SetURL(server.Base() + "/");
    const std::string message = ActionError(http, httpGet);
    EXPECT_EQ(message, "151: 500 Internal Server Error");
    EXPECT_EQ(http.StatusLine(), "HTTP/1.1 500 Internal Server Error");
    EXPECT_EQ(ReadFile(file), body);
    std::filesystem::remove(file);
}

TEST(EngineResponseTest, MaxTransferredDataCapsTheInMemoryCopyOnly) {
    const std::string body = Body(100000);
    for (int max : {0, 4096}) {
        const std::string file = TempPath("engine-cap");
        TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\n" + body));
        TipsHTTPS http;
        TEventLog log(http);
        http.SetMaxTransferredData(max);
        http.SetLocalFile(file);
        http.SetURL(server.Base() + "/");
        http.SetAction(httpGet);
        EXPECT_EQ(http.TransferredData(), max ? body.substr(0, 4096) : body);
        EXPECT_EQ(ReadFile(file), body);
        EXPECT_EQ(log.Body, body);
        EXPECT_EQ(log.With("Transfer 1").back().find("Transfer 1 100000 "), 0u);
        std::filesystem::remove(file);
    }
}

TEST(EngineResponseTest, UnwritableLocalFileEndsWith302) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\nbody"));
    TipsHTTPS http;
    TEventLog log(http);
    http.SetLocalFile("/nonexistent/dir/file");
    http.SetURL(server.Base() + "/");
    const std::string message = ActionError(http, httpGet);
    EXPECT_EQ(message, "302: Can't open local file for writing.");
    EXPECT_EQ(log.With("Error"),
              std::vector<std::string>{"Error 0 Can't open local file for writing."});
}

TEST(EngineResponseTest, CookiesAreSplitAfterTheirHeader) {
    TTestServer server(
        TTestServer::Reply("HTTP/1.0 200 OK\r\nSet-Cookie: s=1; path=/m; secure\r\n\r\n"));
    TipsHTTPS http;
    TEventLog log(http);
    http.SetURL(server.Base() + "/");
    http.SetAction(httpGet);
    EXPECT_EQ(std::vector<std::string>(log.Lines.begin() + 1, log.Lines.begin() + 3),
              (std::vector<std::string>{"Header Set-Cookie: s=1; path=/m; secure",
                                        "SetCookie s=1 /m secure"}));
}

// A server that answers the first request with a redirect and every later one with 200.
TTestServer::THandler RedirectOnce(const std::string& status, const std::string& location) {
    auto first = std::make_shared<bool>(true);
    return [=](int fd, const std::string&) {
        if (*first) {
            *first = false;
            TTestServer::SendAll(
                fd, "HTTP/1.0 " + status + "\r\nLocation: " + location + "\r\n\r\nmoved");
        } else {
            TTestServer::SendAll(fd, "HTTP/1.0 200 OK\r\n\r\narrived");
        }
    };
}

TEST(EngineResponseTest, GetFollowsA302WhenAskedTo) {
    TTestServer server(RedirectOnce("302 Found", "/next"), 2);
    TipsHTTPS http;
    http.SetUserAgent("");
    http.SetFollowRedirects(frAlways);
    http.SetURL(server.Base() + "/first");
    http.SetAction(httpGet);
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(http.TransferredData(), "arrived");
    EXPECT_EQ(server.Request(1), "GET /next HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST(EngineResponseTest, RedirectsThatAreNeverFollowed) {
    struct TCase {
        TipshttpsActions action;
        TipshttpsFollowRedirects policy;
        std::string status, location;
    };
    const TCase cases[] = {
        {httpPost, frAlways, "302 Found", "/next"},
        {httpGet, frAlways, "304 Not Modified", "/next"},
        {httpGet, frAlways, "305 Use Proxy", "/next"},
        {httpGet, frNever, "302 Found", "/next"},
        {httpGet, frSameScheme, "301 Moved", "https://127.0.0.1/"},
    };
    for (const TCase& c : cases) {
        TTestServer server(RedirectOnce(c.status, c.location), 2);
        TipsHTTPS http;
        http.SetFollowRedirects(c.policy);
        http.SetURL(server.Base() + "/first");
        const std::string message = ActionError(http, c.action);
        EXPECT_EQ(message, "151: " + c.status);
        EXPECT_EQ(server.Requests().size(), 1u) << c.status;
    }
}

TEST(EngineResponseTest, EndlessRedirectsEndWith151) {
    TManualTime time;  // the pause between two redirects passes at once
    TTestServer server(TTestServer::Reply("HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n"), 40);
    TipsHTTPS http;
    http.SetFollowRedirects(frAlways);
    http.SetURL(server.Base() + "/loop");
    const std::string message = ActionError(http, httpGet);
    EXPECT_EQ(message, "151: 302 Found");
    EXPECT_EQ(server.Requests().size(), 21u);
}

TEST(EngineResponseTest, HeaderLinesWithoutEndStopTheActionAt256KB) {
    TTestServer server([](int fd, const std::string&) {
        TTestServer::SendAll(fd, "HTTP/1.0 200 OK\r\n");
        const std::string line = "X-Filler: " + std::string(1000, 'x') + "\r\n";
        for (int i = 0; i < 4000; ++i) TTestServer::SendAll(fd, line);  // 4 MB at most
    });
    TipsHTTPS http;
    TEventLog log(http);
    http.SetURL(server.Base() + "/");
    EXPECT_EQ(ActionError(http, httpGet), "151: The response headers are larger than 256 KB.");
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
    EXPECT_LE(http.ResponseHeaders().size(), 256u * 1024);
    EXPECT_LT(log.With("Header").size(), 300u);
    EXPECT_EQ(log.Lines.back(), "Disconnected 0 OK");
}

TEST(EngineResponseTest, ALocalFileThatCannotTakeTheBodyEndsTheActionWithTheWriteError) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\n" + Body(100000)));
    TipsHTTPS http;
    TEventLog log(http);
    http.SetLocalFile("/dev/full");
    http.SetURL(server.Base() + "/");
    const std::string text = "Error writing to LocalFile: No space left on device.";
    EXPECT_EQ(ActionError(http, httpGet), "302: " + text);
    EXPECT_EQ(log.With("Error"), std::vector<std::string>{"Error 302 " + text});
    EXPECT_EQ(log.Lines.back(), "Disconnected 0 OK");
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
}

}  // namespace
