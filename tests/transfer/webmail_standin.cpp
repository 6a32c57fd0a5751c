#include "webmail_standin.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "common/base/clock.h"
#include "support/real_time.h"

extern char** environ;

namespace {

// The real machine's time: the stand-in runs in real time whatever clock a test installs.

std::string Exchange(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        for (std::size_t done = 0; done < request.size();) {
            const ssize_t n =
                ::send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        char buffer[65536];
        const int64_t end = RealMs() + 30000;
        while (RealMs() < end) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    const auto head = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.0 200", 0) != 0 && answer.rfind("HTTP/1.1 200", 0) != 0)
        throw std::runtime_error("stand-in control call failed: " + answer.substr(0, 200));
    return head == std::string::npos ? std::string() : answer.substr(head + 4);
}

}  // namespace

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

long JsonNumber(const std::string& json, const std::string& name) {
    const auto at = json.find("\"" + name + "\":");
    if (at == std::string::npos) return -1;
    return std::strtol(json.c_str() + at + name.size() + 3, nullptr, 10);
}

TWebMailStandin::TWebMailStandin(const std::vector<TStandinAccount>& accounts,
                                 const std::vector<std::string>& extraArgs) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    std::vector<std::string> args = {
        "python3",
        std::string(DOVRANT_SOURCE_DIR) + "/tools/webmail/webmail_standin.py",
        "--exit-on-stdin-eof",
        "--max-lifetime",
        "1800",
        "--state-dir",
        state_.Path(),
        "--log-file",
        state_.Path() + "requests.log"};
    if (!accounts.empty()) {
        std::string json = "{\"accounts\": [";
        for (const auto& account : accounts)
            json += std::string(&account == &accounts.front() ? "" : ",") +
                    "{\"email\": " + JsonText(account.Email) +
                    ", \"login\": " + JsonText(account.Login) +
                    ", \"password\": " + JsonText(account.Password) + "}";
        std::ofstream(state_.Path() + "accounts.json") << json << "]}";
        args.insert(args.end(), {"--accounts", state_.Path() + "accounts.json"});
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const int spawned = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    if (spawned != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start the web-mail stand-in");
    }
    std::string line;
    const int64_t end = RealMs() + 60000;
    while (line.find('\n') == std::string::npos && RealMs() < end) {
        pollfd ready{out[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    HttpsPort = static_cast<int>(JsonNumber(line, "https_port"));
    HttpPort = static_cast<int>(JsonNumber(line, "http_port"));
    ControlPort = static_cast<int>(JsonNumber(line, "control_port"));
    const auto ca = line.find("\"ca_file\": \"");
    if (ca != std::string::npos) CaFile = line.substr(ca + 12, line.find('"', ca + 12) - ca - 12);
    if (ControlPort <= 0) throw std::runtime_error("the web-mail stand-in did not start: " + line);
}

TWebMailStandin::~TWebMailStandin() {
    ::close(stdinFd_);  // the stand-in ends when its standard input does
    const int64_t end = RealMs() + 10000;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (RealMs() > end) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        ::usleep(20000);
    }
}

std::string TWebMailStandin::UrlFormat(const std::string& call, bool https) const {
    const std::string root = (https ? "https://127.0.0.1:" + std::to_string(HttpsPort)
                                    : "http://127.0.0.1:" + std::to_string(HttpPort)) +
                             "/webmail/";
    if (call == "send") return root + "send?from=%s";
    if (call == "count") return root + "count?user=%s&login=%s&pwd=%s";
    return root + call + "?user=%s&login=%s&pwd=%s&id=%s";
}

std::string TWebMailStandin::Get(const std::string& path) const {
    return Exchange(ControlPort, "GET /_control/" + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

std::string TWebMailStandin::Post(const std::string& path, const std::string& json) const {
    return Exchange(ControlPort, "POST /_control/" + path +
                                     " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: "
                                     "application/json\r\nContent-Length: " +
                                     std::to_string(json.size()) + "\r\n\r\n" + json);
}
