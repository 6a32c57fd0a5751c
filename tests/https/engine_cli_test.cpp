// dovrant-http as a program: body on stdout, events and the status line on stderr, exit 1
// with "CODE: description" on failure.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine_server.h"
#include "https/url.h"
#include "proxy_peers.h"

namespace {

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

// Runs dovrant-http with arguments, after the environment assignments, with standard output
// to stdoutTarget when one is given.
TRun RunClient(const std::string& arguments, const std::string& environment = "",
               const std::string& stdoutTarget = "") {
    const std::string program = std::string(DOVRANT_BIN_DIR) + "/dovrant-http";
    const std::string folder =
        std::filesystem::temp_directory_path() / ("engine-cli-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command = environment + " " + program + " " + arguments + " >" +
                                (stdoutTarget.empty() ? folder + "/out" : stdoutTarget) + " 2>" +
                                folder + "/err";
    TRun run;
    const int status = std::system(command.c_str());
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    run.Out = slurp(folder + "/out");
    run.Err = slurp(folder + "/err");
    std::filesystem::remove_all(folder);
    return run;
}

class EngineCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::string(DOVRANT_BIN_DIR) + "/dovrant-http"))
            GTEST_SKIP() << "dovrant-http is not built";
    }
};

TEST_F(EngineCliTest, PrintsTheBodyAndEachEvent) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\nA: b\r\n\r\nhello"));
    const TRun run = RunClient("--events --user-agent UA " + server.Base() + "/x");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "hello");
    EXPECT_EQ(run.Err,
              "OnConnected 0 \"OK\"\nOnHeader \"A\" \"b\"\nOnStartTransfer 1\n"
              "OnTransfer 1 5 [5 bytes]\nOnEndTransfer 1\nOnDisconnected 0 \"OK\"\n"
              "HTTP/1.0 200 OK\n");
    EXPECT_EQ(server.Request(), "GET /x HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: UA\r\n\r\n");
}

TEST_F(EngineCliTest, FailureExitsWithStatusOneAndTheErrorMessage) {
    TTestServer server(TTestServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
    const TRun run = RunClient("--head " + server.Base() + "/");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "151: 404 Not Found\nHTTP/1.0 404 Not Found\n");
    EXPECT_EQ(RunClient("--follow-redirects sometimes x").Status, 2);
}

TEST_F(EngineCliTest, StandardOutputThatCannotBeWrittenFailsTheRun) {
    const std::string message =
        "dovrant-http: cannot write to standard output: No space left on "
        "device\n";
    for (size_t size : {5u, 1u << 20}) {
        TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(size, 'b')));
        const TRun run = RunClient(server.Base() + "/", "", "/dev/full");
        EXPECT_EQ(run.Status, 1) << size;
        EXPECT_EQ(run.Err, message) << size;
    }
    TTestServer server(TTestServer::Reply("HTTP/1.0 200 OK\r\n\r\nbody"));
    TTempFolder folder;
    const TRun run =
        RunClient("--output " + folder.Path() + "/body " + server.Base() + "/", "", "/dev/full");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, message);
    EXPECT_EQ(RunClient("--help", "", "/dev/full").Status, 1);
}

TEST_F(EngineCliTest, PasswordsComeFromFilesOrTheEnvironmentAndOptionsWin) {
    TTempFolder folder;
    const std::string file = folder.Path() + "/password";
    std::ofstream(file) << "from file\r\nsecond line\n";
    struct TCase {
        std::string Options, Environment, Expected;
    };
    const TCase cases[] = {
        {"--user alice", "DOVRANT_HTTP_PASSWORD=s3cret",
         "Authorization: " + BasicCredentials("alice", "s3cret")},
        {"--user alice --password-file " + file, "DOVRANT_HTTP_PASSWORD=s3cret",
         "Authorization: " + BasicCredentials("alice", "from file")},
        {"--proxy-user pu", "DOVRANT_HTTP_PROXY_PASSWORD=pp",
         "Proxy-Authorization: " + BasicCredentials("pu", "pp")},
        {"--proxy-user pu --proxy-password-file " + file, "DOVRANT_HTTP_PROXY_PASSWORD=pp",
         "Proxy-Authorization: " + BasicCredentials("pu", "from file")},
        {"--firewall-type tunnel --firewall-user fu", "DOVRANT_HTTP_FIREWALL_PASSWORD=fp",
         "Proxy-authorization: " + BasicCredentials("fu", "fp")},
        {"--firewall-type tunnel --firewall-user fu --firewall-password-file " + file,
         "DOVRANT_HTTP_FIREWALL_PASSWORD=fp",
         "Proxy-authorization: " + BasicCredentials("fu", "from file")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Options);
        // One server plays the origin, the proxy or the firewall, as the options make it.
        TTestServer server(TTestServer::Reply("HTTP/1.0 403 Forbidden\r\n\r\n"));
        const std::string where = "127.0.0.1:" + std::to_string(server.Port());
        std::string options = c.Options;
        if (c.Options.starts_with("--proxy")) options += " --proxy " + where;
        if (c.Options.starts_with("--firewall")) options += " --firewall " + where;
        RunClient(options + " http://" + where + "/", c.Environment);
        EXPECT_NE(server.Request().find("\r\n" + c.Expected + "\r\n"), std::string::npos)
            << server.Request();
    }
    const TRun missing = RunClient("--password-file " + folder.Path() + "/none http://x/");
    EXPECT_EQ(missing.Status, 2);
    const TRun help = RunClient("--help");
    for (const char* named :
         {"--password-file", "--proxy-password-file", "--firewall-password-file",
          "DOVRANT_HTTP_PASSWORD", "DOVRANT_HTTP_PROXY_PASSWORD", "DOVRANT_HTTP_FIREWALL_PASSWORD"})
        EXPECT_NE(help.Out.find(named), std::string::npos) << named;
}

TEST_F(EngineCliTest, ServersOfferingNothingNewerThanTls11AreRefused) {
    // A system configuration that lets OpenSSL itself speak TLS 1.0 and 1.1 again.
    TTempFolder folder;
    const std::string config = folder.Path() + "/openssl.cnf";
    std::ofstream(config) << "openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\n"
                             "system_default = defaults\n[defaults]\nMinProtocol = TLSv1\n"
                             "CipherString = DEFAULT@SECLEVEL=0\n";
    const std::string environment = "OPENSSL_CONF=" + config;
    TTlsServer old("trusted", {"-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"});
    TTlsServer current("trusted", {"-tls1_2"});
    ASSERT_TRUE(old.Ready() && current.Ready());
    auto url = [](uint16_t port) { return "https://127.0.0.1:" + std::to_string(port) + "/"; };
    const TRun refused = RunClient("--accept-any-certificate " + url(old.Port()), environment);
    EXPECT_EQ(refused.Status, 1);
    EXPECT_TRUE(refused.Err.starts_with("276: server alert: protocol version")) << refused.Err;
    EXPECT_EQ(RunClient("--accept-any-certificate " + url(current.Port()), environment).Status, 0);
}

}  // namespace
