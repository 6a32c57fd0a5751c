// The platform HTTP library path (UseWinInet): the component's own servers and real peers
// drive it, and the same exchange on both paths gives the same events and the same bytes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/base/message_pump.h"
#include "common/test_support.h"
#include "engine_events.h"
#include "engine_server.h"
#include "https/curl_library.h"
#include "https/ipshttps.h"
#include "https/platform_http_errors.h"
#include "layer_test_support.h"
#include "proxy_peers.h"
#include "support/temp_dir.h"

namespace {

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

std::string Pattern(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

// Sets (or, with nullptr, removes) an environment variable for the life of the object.
class TEnvironmentSetting {
  public:
    TEnvironmentSetting(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TEnvironmentSetting() {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

// The system's proxy settings for this test: only the named variable.
struct TSystemProxy {
    TEnvironmentSetting Http, Https, HttpUpper, HttpsUpper, All, NoProxy, NoProxyUpper;
    TSystemProxy(const char* httpProxy, const char* httpsProxy)
        : Http("http_proxy", httpProxy),
          Https("https_proxy", httpsProxy),
          HttpUpper("HTTP_PROXY", nullptr),
          HttpsUpper("HTTPS_PROXY", nullptr),
          All("ALL_PROXY", nullptr),
          NoProxy("no_proxy", nullptr),
          NoProxyUpper("NO_PROXY", nullptr) {}
};

std::string ProxyURL(uint16_t port) { return "http://127.0.0.1:" + std::to_string(port); }

}  // namespace

TEST(PlatformHttpTest, GetRaisesTheEventsInOrderAndSplitsTheBodyIn2000BytePieces) {
    const std::string body = Pattern(5000);
    TTestServer server(
        TTestServer::Reply("HTTP/1.0 200 OK\r\nServer: t\r\nX-A:  two\r\n\r\n" + body));
    TTempDir dir;
    TipsHTTPS http;
    TEventLog log(http);
    std::vector<std::string> status;
    http.OnSSLStatus = [&](TipsHTTPS*, const std::string& text) { status.push_back(text); };
    http.SetUseWinInet(true);
    http.SetUserAgent("Quillbern Dovrant");
    http.SetURL(server.Base() + "/path?x=1");
    http.SetLocalFile(dir.Path() + "body");
    ASSERT_EQ(ActionError(http, httpGet), "");

    EXPECT_EQ(log.Lines, (std::vector<std::string>{
                             "Connected 0 OK", "StartTransfer 0", "EndTransfer 0",
                             "Header Server: t", "Header X-A:  two", "StartTransfer 1",
                             "Transfer 1 2000 2000", "Transfer 1 4000 2000", "Transfer 1 5000 1000",
                             "EndTransfer 1", "Disconnected 0 OK"}));
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(http.ResponseHeaders(), "Server: t\r\nX-A:  two\r\n");
    EXPECT_EQ(ReadFile(dir.Path() + "body"), body);
    EXPECT_EQ(http.TransferredData(), body.substr(0, 4096));
    EXPECT_EQ(http.Action(), httpIdle);

    const std::string request = server.Request();
    EXPECT_TRUE(request.starts_with("GET /path?x=1 HTTP/1.0\r\n")) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Quillbern Dovrant\r\n"), std::string::npos);
    EXPECT_EQ(request.find("Accept:"), std::string::npos);

    EXPECT_EQ(status, (std::vector<std::string>{
                          "Looking up the IP address", "Successfully found the IP address",
                          "Connecting to the socket address", "Successfully connected to",
                          "Sending the information request to the server.",
                          "Successfully sent the information request to the server.",
                          "Waiting for the server to respond to the request.",
                          "Successfully received a response from the server.",
                          "Closing the connection to the server.",
                          "Successfully closed the connection to the server."}));
}

TEST(PlatformHttpTest, PostPutAndHeadSendTheirMethodHeadersAndBody) {
    TTempDir dir;
    const std::string file = Pattern(40000);
    WriteFile(dir.Path() + "upload", file);
    for (auto action : {httpPost, httpPut}) {
        TTestServer server(TTestServer::Reply("HTTP/1.0 201 Created\r\n\r\nok"));
        TipsHTTPS http;
        TEventLog log(http);
        http.SetUseWinInet(true);
        http.SetURL(server.Base() + "/up");
        http.SetContentType("multipart/form-data; boundary=B");
        http.SetAccept("text/plain");
        http.SetAttachedFile(dir.Path() + "upload");
        ASSERT_EQ(ActionError(http, action), "") << action;
        const std::string request = server.Request();
        EXPECT_TRUE(request.starts_with(action == httpPost ? "POST /up HTTP/1.0\r\n"
                                                           : "PUT /up HTTP/1.0\r\n"));
        EXPECT_NE(request.find("\r\nContent-Type: multipart/form-data; boundary=B\r\n"),
                  std::string::npos);
        EXPECT_NE(request.find("\r\nAccept: text/plain\r\n"), std::string::npos);
        EXPECT_NE(request.find("\r\nContent-Length: 40000\r\n"), std::string::npos);
        EXPECT_EQ(request.find("Expect:"), std::string::npos);
        EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), file);
        EXPECT_EQ(log.Body, "ok");
    }

    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n"));
    TipsHTTPS http;
    TEventLog log(http);
    http.SetUseWinInet(true);
    http.SetURL(server.Base() + "/");
    http.SetLocalFile(dir.Path() + "head");
    ASSERT_EQ(ActionError(http, httpHead), "");
    EXPECT_TRUE(server.Request().starts_with("HEAD / HTTP/1.0\r\n"));
    EXPECT_TRUE(log.With("Transfer").empty());
    EXPECT_EQ(log.Lines.back(), "Disconnected 0 OK");
    EXPECT_FALSE(Exists(dir.Path() + "head"));
}

TEST(PlatformHttpTest, ChecksAndFailuresEndWithTheirCodes) {
    TipsHTTPS http;
    TEventLog log(http);
    std::vector<std::string> status;
    http.OnSSLStatus = [&](TipsHTTPS*, const std::string& text) { status.push_back(text); };
    http.SetUseWinInet(true);
    http.SetURL("ftp://127.0.0.1:21/file");
    EXPECT_EQ(ActionError(http, httpGet), "153: Specified URLScheme is invalid.");
    http.SetURL("http:///x");
    EXPECT_EQ(ActionError(http, httpGet), "152: No server specified in URL");
    // Neither check went near the network.
    EXPECT_TRUE(status.empty());
    EXPECT_TRUE(log.Lines.empty());

    const TRefusingPort closed;
    http.SetURL("http://127.0.0.1:" + std::to_string(closed.Port()) + "/");
    EXPECT_EQ(ActionError(http, httpGet), "12029: Internet Cannot Connect.");

    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
    http.SetURL(server.Base() + "/");
    http.SetAttachedFile("/nonexistent/file");
    EXPECT_EQ(ActionError(http, httpPost), "302: Can't open attached file for reading.");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(log.Lines.empty());
}

TEST(PlatformHttpTest, ANotFoundAnswerEndsWith151AfterTheBodyWasRead) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 404 Not Found\r\n\r\nnot here"));
    TTempDir dir;
    TipsHTTPS http;
    TEventLog log(http);
    http.SetUseWinInet(true);
    http.SetURL(server.Base() + "/missing");
    http.SetLocalFile(dir.Path() + "out");
    EXPECT_EQ(ActionError(http, httpGet), "151: 404 Not Found");
    EXPECT_EQ(ReadFile(dir.Path() + "out"), "not here");
    EXPECT_EQ(log.Lines.back(), "Disconnected 0 OK");
    EXPECT_EQ(http.StatusLine(), "HTTP/1.0 404 Not Found");
}

TEST(PlatformHttpTest, CertificateProblemsEndWithTheMappedCodes) {
    TTrustTestRoot trust;
    const std::pair<const char*, const char*> cases[] = {
        {"trusted", ""},
        {"expired", "12037: The Certificate has an Invalid Name, or different from Host Name."},
        {"wronghost", "12038: Invalid Certificate Name."},
        {"selfsigned", "12045: Invalid Certification Authority."},
    };
    for (const auto& [certificate, expected] : cases) {
        TTlsServer server(certificate);
        ASSERT_TRUE(server.Ready()) << certificate;
        TipsHTTPS http;
        TEventLog log(http);
        http.SetUseWinInet(true);
        http.SetURL("https://localhost:" + std::to_string(server.Port()) + "/");
        EXPECT_EQ(ActionError(http, httpGet), expected) << certificate;
        // The path offers no certificate to the handler: a failed check ends the action.
        EXPECT_EQ(log.With("Connected").size(), *expected ? 0u : 1u) << certificate;
    }
}

TEST(PlatformHttpTest, TheSystemProxyCarriesHttpsAndStarUserStarPasswordGivesItsCredentials) {
    TTrustTestRoot trust;
    TTlsServer origin("trusted");
    TTinyproxy proxy;
    ASSERT_TRUE(origin.Ready() && proxy.Ready());
    {
        TSystemProxy system(nullptr, ProxyURL(proxy.Port()).c_str());
        TipsHTTPS http;
        http.SetUseWinInet(true);
        http.SetProxyServer("*");
        http.SetURL("https://localhost:" + std::to_string(origin.Port()) + "/");
        EXPECT_EQ(ActionError(http, httpGet), "");
        EXPECT_EQ(http.StatusLine().substr(0, 12), "HTTP/1.0 200");
        EXPECT_NE(proxy.Log().find("CONNECT"), std::string::npos);
    }

    TTinyproxy guarded("alice", "s3cret");
    ASSERT_TRUE(guarded.Ready());
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\nthrough"), 1);
    TSystemProxy system(ProxyURL(guarded.Port()).c_str(), nullptr);
    TipsHTTPS http;
    TEventLog log(http);
    http.SetUseWinInet(true);
    http.SetURL(server.Base() + "/p");
    http.SetProxyServer("*");
    EXPECT_EQ(ActionError(http, httpGet), "151: 407 Proxy Authentication Required");
    http.SetProxyServer("*alice*s3cret");
    EXPECT_EQ(ActionError(http, httpGet), "");
    EXPECT_EQ(http.TransferredData(), "through");
    EXPECT_TRUE(server.Request().starts_with("GET /p HTTP/1."));

    // Without a proxy the system's settings are not used.
    http.SetProxyServer("");
    TTestServer direct(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\ndirect"));
    http.SetURL(direct.Base() + "/");
    EXPECT_EQ(ActionError(http, httpGet), "");
    EXPECT_EQ(direct.Request().substr(0, 6), "GET / ");
}

TEST(PlatformHttpTest, InterruptAndTimeOutDuringAStalledBodyEndWith301) {
    auto stall = [](int fd, const std::string&) {
        TTestServer::SendAll(fd, "HTTP/1.0 200 OK\r\n\r\nfirst piece");
        TTestServer::WaitForEnd(fd);
    };
    {
        TTestServer server(stall);
        TipsHTTPS http;
        TEventLog log(http);
        TPumpTimer timer;
        timer.SetInterval(50);
        timer.OnTimer = [&] {
            timer.SetEnabled(false);
            http.Interrupt();
        };
        http.OnTransfer = [&](TipsHTTPS*, int, int64_t, const std::string&) {
            timer.SetEnabled(true);
        };
        http.SetUseWinInet(true);
        http.SetURL(server.Base() + "/");
        EXPECT_EQ(ActionError(http, httpGet), "301: Interrupted.");
        EXPECT_EQ(http.Action(), httpIdle);
        EXPECT_EQ(http.TransferredData(), "first piece");
        // The worker has ended and closed its connection: the component runs again.
        TTestServer next(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\nagain"));
        http.OnTransfer = nullptr;
        http.SetURL(next.Base() + "/");
        EXPECT_EQ(ActionError(http, httpGet), "");
        EXPECT_EQ(http.TransferredData(), "again");
    }
    TTestServer server(stall);
    TipsHTTPS http;
    http.SetUseWinInet(true);
    http.SetTimeout(1);
    http.SetURL(server.Base() + "/");
    EXPECT_EQ(ActionError(http, httpGet), "301: Interrupted.");
}

TEST(PlatformHttpTest, ActionFromAnEventHandlerFailsWith143) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"));
    TipsHTTPS http;
    std::string nested;
    http.OnHeader = [&](TipsHTTPS* sender, const std::string&, const std::string&) {
        try {
            sender->SetAction(httpGet);
        } catch (const EipsHTTPS& error) {
            nested = error.what();
        }
    };
    http.SetUseWinInet(true);
    http.SetURL(server.Base() + "/");
    EXPECT_EQ(ActionError(http, httpGet), "");
    EXPECT_EQ(nested, "143: Busy performing current action.");
}

TEST(PlatformHttpErrorsTest, LibcurlResultsMapOntoThePlatformCodes) {
    EXPECT_EQ(PlatformCodeFromCurl(CURLE_OPERATION_TIMEDOUT, 0), 12002);
    EXPECT_EQ(PlatformCodeFromCurl(CURLE_COULDNT_RESOLVE_HOST, 0), 12007);
    EXPECT_EQ(PlatformCodeFromCurl(CURLE_COULDNT_CONNECT, 0), 12029);
    EXPECT_EQ(PlatformCodeFromCurl(CURLE_PEER_FAILED_VERIFICATION, 20), 12045);
    EXPECT_EQ(PlatformCodeFromCurl(CURLE_PEER_FAILED_VERIFICATION, 23), 12170);
    EXPECT_EQ(PlatformCodeFromCurl(CURLE_PEER_FAILED_VERIFICATION, 7), 12169);
    EXPECT_EQ(PlatformCodeFromCurl(CURLE_CONV_FAILED, 0), 12004);
    EXPECT_EQ(DescribePlatformError(12157), "Internet Security Channel Error.");
    EXPECT_EQ(DescribePlatformError(12035), "[12035] (no description available)");
}

// The same exchange on both paths: the same events (leaving out the status texts, the
// direction-0 brackets the platform path raises also without a body, and the piece sizes),
// the same body, the same LocalFile bytes and the same error.
TEST(PlatformHttpTest, BothPathsGiveTheSameEventsAndBytes) {
    struct TExchange {
        const char* Name;
        TipshttpsActions Action;
        std::string Response;
        std::string Upload;
        std::string Error;
    };
    const std::string large = Pattern(70000);
    const TExchange exchanges[] = {
        {"get", httpGet, "HTTP/1.0 200 OK\r\nA: 1\r\nB:two\r\n\r\n" + large, "", ""},
        {"post", httpPost, "HTTP/1.0 200 OK\r\nC: 3\r\n\r\nstored", Pattern(20000), ""},
        {"head", httpHead, "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n", "", ""},
        {"404", httpGet, "HTTP/1.0 404 Not Found\r\nD: 4\r\n\r\ngone", "", "151: 404 Not Found"},
    };
    auto comparable = [](const TEventLog& log) {
        std::vector<std::string> lines;
        for (const std::string& line : log.Lines)
            if (!line.starts_with("Transfer ") && line != "StartTransfer 0" &&
                line != "EndTransfer 0")
                lines.push_back(line);
        return lines;
    };
    for (const TExchange& exchange : exchanges) {
        TTempDir dir;
        WriteFile(dir.Path() + "upload", exchange.Upload);
        std::vector<std::string> events[2];
        std::string bodies[2], files[2];
        for (int platform = 0; platform < 2; ++platform) {
            TTestServer server(TTestServer::Reply(exchange.Response));
            TipsHTTPS http;
            TEventLog log(http);
            http.SetUseWinInet(platform == 1);
            http.SetURL(server.Base() + "/x");
            http.SetMaxTransferredData(0);
            http.SetAttachedFile(dir.Path() + "upload");
            const std::string out = dir.Path() + "out" + std::to_string(platform);
            http.SetLocalFile(out);
            EXPECT_EQ(ActionError(http, exchange.Action), exchange.Error)
                << exchange.Name << " " << platform;
            EXPECT_EQ(http.TransferredData(), log.Body) << exchange.Name;
            if (!exchange.Upload.empty()) {
                EXPECT_TRUE(server.Request().ends_with("\r\n\r\n" + exchange.Upload));
            }
            events[platform] = comparable(log);
            bodies[platform] = log.Body;
            files[platform] = Exists(out) ? ReadFile(out) : "(none)";
        }
        EXPECT_EQ(events[1], events[0]) << exchange.Name;
        EXPECT_EQ(bodies[1], bodies[0]) << exchange.Name;
        EXPECT_EQ(files[1], files[0]) << exchange.Name;
    }
}

TEST(PlatformHttpTest, DovrantHttpTakesThePathWithPlatformHttp) {
    const std::string program = std::string(DOVRANT_BIN_DIR) + "/dovrant-http";
    if (!Exists(program)) GTEST_SKIP() << "dovrant-http is not built";
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\nA: b\r\n\r\nhello"));
    TTempDir dir;
    const std::string command = program + " --platform-http --events --output " + dir.Path() +
                                "body " + server.Base() + "/x >" + dir.Path() + "out 2>" +
                                dir.Path() + "err";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(dir.Path() + "body"), "hello");
    EXPECT_EQ(ReadFile(dir.Path() + "out"), "HTTP/1.0 200 OK\n");
    const std::string events = ReadFile(dir.Path() + "err");
    EXPECT_NE(events.find("OnSSLStatus \"Looking up the IP address\"\n"), std::string::npos);
    EXPECT_NE(events.find("OnConnected 0 \"OK\"\nOnStartTransfer 0\nOnEndTransfer 0\n"
                          "OnHeader \"A\" \"b\"\nOnStartTransfer 1\n"),
              std::string::npos)
        << events;
}

// dovrant-http has its own OpenSSL linked in, and libcurl brings the shared one: the trust
// store and the host check must reach libcurl's context through libcurl's copy.
TEST(PlatformHttpTest, DovrantHttpChecksTheServerThroughTheLibrarysOwnTls) {
    const std::string program = std::string(DOVRANT_BIN_DIR) + "/dovrant-http";
    if (!Exists(program)) GTEST_SKIP() << "dovrant-http is not built";
    TTrustTestRoot trust;
    for (const auto& [certificate, expected] :
         {std::pair{"trusted", "HTTP/1.0 200 ok\n"},
          std::pair{"wronghost", "12038: Invalid Certificate Name.\n"}}) {
        TTlsServer server(certificate);
        ASSERT_TRUE(server.Ready()) << certificate;
        TTempDir dir;
        const std::string command =
            program + " --platform-http https://localhost:" + std::to_string(server.Port()) +
            "/ >/dev/null 2>" + dir.Path() + "err";
        EXPECT_EQ(std::system(command.c_str()) == 0, *expected == 'H') << certificate;
        EXPECT_EQ(ReadFile(dir.Path() + "err"), expected) << certificate;
    }
}

TEST(PlatformHttpTest, AMissingLibraryIsNamedInTheError) {
    const TCurlLibrary curl = LoadCurlLibrary(kCurlLibraryName);
    EXPECT_NE(curl.EasySetopt, nullptr);
    EXPECT_NE(curl.SlistFreeAll, nullptr);
    try {
        LoadCurlLibrary("libcurl-absent.so.4");
        ADD_FAILURE() << "no error";
    } catch (const EipsHTTPS& error) {
        EXPECT_EQ(error.Code, 12004);
        EXPECT_TRUE(error.Description.starts_with(
            "The platform HTTP library libcurl-absent.so.4 could not be loaded: "))
            << error.Description;
    }
}
