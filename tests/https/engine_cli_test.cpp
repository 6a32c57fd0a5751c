// dovrant-http as a program: body on stdout, events and the status line on stderr, exit 1
// with "CODE: description" on failure.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine_server.h"

namespace {

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

TRun RunClient(const std::string& arguments) {
    const std::string program = std::string(DOVRANT_BIN_DIR) + "/dovrant-http";
    const std::string folder =
        std::filesystem::temp_directory_path() / ("engine-cli-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command =
        program + " " + arguments + " >" + folder + "/out 2>" + folder + "/err";
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

}  // namespace
