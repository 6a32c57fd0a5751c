#include "layer_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

TRecordingLink::TRecordingLink(std::chrono::milliseconds limit)
    : DeadlineMs(MonotonicMs() + limit.count()) {
    Context.Pump = [this] {
        ++PumpSteps;
        if (MonotonicMs() >= DeadlineMs) throw EipsHTTPS(301, "");
    };
    Context.SSLStatus = [this](const std::string& text) { Events.push_back("SSLStatus: " + text); };
    Context.Error = [this](int code, const std::string& text) {
        Events.push_back("Error: " + std::to_string(code) + " " + text);
    };
    Context.ServerAuthentication = [this](TServerCertificate& certificate) {
        Certificates.push_back(certificate);
        Events.push_back("ServerAuthentication: " + certificate.Status +
                         " accept=" + std::to_string(certificate.Accept));
        if (ChangeAccept) certificate.Accept = AcceptCertificate;
    };
}

std::string ReadExactly(int fd, size_t count) {
    std::string bytes;
    char buffer[4096];
    while (bytes.size() < count) {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, 20000) <= 0) break;
        ssize_t got = recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

std::string ReadUntil(int fd, const std::string& terminator, size_t limit) {
    std::string bytes;
    while (bytes.size() < limit && bytes.find(terminator) == std::string::npos) {
        std::string one = ReadExactly(fd, 1);
        if (one.empty()) break;
        bytes += one;
    }
    return bytes;
}

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return;
        done += static_cast<size_t>(sent);
    }
}

void Trickle(int fd, const std::string& bytes) {
    for (char byte : bytes) {
        if (send(fd, &byte, 1, MSG_NOSIGNAL) != 1) return;
        usleep(2000);
    }
}

namespace {

int ListenOnFreePort(uint16_t& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

TScriptPeer::TScriptPeer(std::function<void(int fd)> script) {
    listener_ = ListenOnFreePort(port_);
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, 20000) <= 0) return;
        int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        script(fd);
        close(fd);
    });
}

void TScriptPeer::Join() {
    if (thread_.joinable()) thread_.join();
}

TScriptPeer::~TScriptPeer() {
    Join();
    close(listener_);
}

std::string ReceiveAll(TLayer& layer) {
    std::string bytes;
    char buffer[4096];
    while (size_t got = layer.Receive(buffer, sizeof buffer)) bytes.append(buffer, got);
    return bytes;
}

TRefusingPort::TRefusingPort() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!fd_ || bind(fd_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot bind on 127.0.0.1");
    port_ = ntohs(address.sin_port);
}

uint16_t UnusedPort() {
    uint16_t port = 0;
    close(ListenOnFreePort(port));
    return port;
}

TConnectionSettings FirewallOn(TFirewallKind kind, uint16_t port, std::string user,
                               std::string password, bool tls) {
    TConnectionSettings settings;
    settings.FirewallType = kind;
    settings.FirewallHost = "127.0.0.1";
    settings.FirewallPort = port;
    settings.FirewallUser = std::move(user);
    settings.FirewallPassword = std::move(password);
    settings.UseTLS = tls;
    settings.SSLCertStore = "CA";
    return settings;
}
