#include "proxy_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "layer_test_support.h"
#include "support/real_time.h"

namespace fs = std::filesystem;

TTempFolder::TTempFolder() : path_(dir_.Path().substr(0, dir_.Path().size() - 1)) {
    chmod(path_.c_str(), 0755);  // peers that drop to "nobody" read their files here
}

TPeerProcess::TPeerProcess(const std::vector<std::string>& argv, const std::string& logFile) {
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        setpgid(0, 0);
        int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        std::vector<char*> args;
        for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    setpgid(pid_, pid_);
}

bool TPeerProcess::Running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

TPeerProcess::~TPeerProcess() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    for (int i = 0; i < 200; ++i) {  // at most 2 s, then by force
        if (waitpid(pid_, nullptr, WNOHANG) != 0) {
            kill(-pid_, SIGKILL);  // children the peer left behind
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

bool WaitForListener(uint16_t port, std::chrono::milliseconds limit) {
    const int64_t deadline = RealMs() + limit.count();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    while (RealMs() < deadline) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (up) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// Starts the peer made by start on a fresh free port, retrying when another program
// took the port between its choice and the peer's bind.
template <typename TStart>
std::unique_ptr<TPeerProcess> StartOnFreePort(uint16_t& port, bool& ready, TStart start) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = UnusedPort();
        auto process = start(port);
        if (WaitForListener(port) && process->Running()) {
            ready = true;
            return process;
        }
    }
    return nullptr;
}

std::string RunAsLines() { return geteuid() == 0 ? "User nobody\nGroup nogroup\n" : ""; }

}  // namespace

TTinyproxy::TTinyproxy(const std::string& user, const std::string& password) {
    process_ = StartOnFreePort(port_, ready_, [&](uint16_t port) {
        std::string config = folder_.Path() + "/tinyproxy.conf";
        WriteText(config, "Port " + std::to_string(port) + "\nListen 127.0.0.1\nTimeout 30\n" +
                              RunAsLines() + "LogLevel Info\nMaxClients 20\n" +
                              (user.empty() ? "" : "BasicAuth " + user + " " + password + "\n"));
        return std::make_unique<TPeerProcess>(
            std::vector<std::string>{"tinyproxy", "-d", "-c", config},
            folder_.Path() + "/tinyproxy.log");
    });
}

std::string TTinyproxy::Log() const { return ReadText(folder_.Path() + "/tinyproxy.log"); }

TDante::TDante() {
    process_ = StartOnFreePort(port_, ready_, [&](uint16_t port) {
        std::string config = folder_.Path() + "/danted.conf";
        std::string runAs =
            geteuid() == 0 ? "user.privileged: root\nuser.unprivileged: nobody\n" : "";
        WriteText(config, "logoutput: stderr\ninternal: 127.0.0.1 port = " + std::to_string(port) +
                              "\nexternal: 127.0.0.1\nsocksmethod: none\nclientmethod: none\n" +
                              runAs +
                              "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                              "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n");
        return std::make_unique<TPeerProcess>(
            std::vector<std::string>{"danted", "-f", config, "-N", "1"},
            folder_.Path() + "/danted.log");
    });
}

const std::string& TestCertificates() {
    static TTempFolder folder;
    static bool made = [&] {
        std::string command = std::string(DOVRANT_SOURCE_DIR) + "/tools/tls_make_certs.sh " +
                              folder.Path() + " >" + folder.Path() + "/make.log 2>&1";
        return std::system(command.c_str()) == 0;
    }();
    if (!made) throw std::runtime_error("tools/tls_make_certs.sh failed");
    return folder.Path();
}

TTlsServer::TTlsServer(const std::string& certificate, const std::vector<std::string>& options) {
    const std::string& certs = TestCertificates();
    // Port 0: s_server reports the port the system gave it ("ACCEPT 127.0.0.1:PORT"), so no
    // other program can take the port between its choice and the bind.
    const std::string log = folder_.Path() + "/s_server.log";
    std::vector<std::string> argv{"openssl", "s_server",
                                  "-accept", "127.0.0.1:0",
                                  "-cert",   certs + "/" + certificate + ".pem",
                                  "-key",    certs + "/" + certificate + ".key",
                                  "-www"};
    argv.insert(argv.end(), options.begin(), options.end());
    process_ = std::make_unique<TPeerProcess>(argv, log);
    const std::string accept = "ACCEPT 127.0.0.1:";
    for (int i = 0; i < 500 && process_->Running(); ++i) {  // 10 s at most
        const std::string text = ReadText(log);
        const size_t at = text.find(accept);
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
            port_ = static_cast<uint16_t>(std::atoi(text.c_str() + at + accept.size()));
            ready_ = port_ != 0 && WaitForListener(port_);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TTrustTestRoot::TTrustTestRoot(bool asFolder)
    : variable_(asFolder ? "SSL_CERT_DIR" : "SSL_CERT_FILE") {
    if (const char* value = std::getenv(variable_)) {
        had_ = true;
        saved_ = value;
    }
    const std::string& certs = TestCertificates();
    setenv(variable_, (certs + (asFolder ? "/trust" : "/ca.pem")).c_str(), 1);
}

TTrustTestRoot::~TTrustTestRoot() {
    if (had_)
        setenv(variable_, saved_.c_str(), 1);
    else
        unsetenv(variable_);
}
