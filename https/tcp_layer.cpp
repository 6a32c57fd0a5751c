#include "https/tcp_layer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "common/base/clock.h"
#include "https/name_lookup.h"
#include "https/socket_errors.h"

short WaitForSocket(int fd, short events, TLinkContext& context) {
    for (;;) {
        pollfd entry{fd, events, 0};
        int ready = Clock().Poll(&entry, 1, 10);
        if (ready > 0) return entry.revents;
        if (ready < 0 && errno != EINTR) return POLLERR;
        if (context.Pump) context.Pump();
    }
}

TTcpLayer::TTcpLayer(TLinkContext& context, bool viaFirewall, std::string localHost)
    : TLayer(context), viaFirewall_(viaFirewall), localHost_(std::move(localHost)) {}

TTcpLayer::~TTcpLayer() { Close(); }

void TTcpLayer::Fail(int code) {
    Close();
    throw EipsHTTPS(code, "");
}

void TTcpLayer::Connect(const std::string& host, uint16_t port) {
    if (fd_ >= 0)
        throw EipsHTTPS(104,
                        "Already connected. If you want to reconnect, close the "
                        "current connection first.");
    host_ = host;
    port_ = port;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    if (int code = ResolveIPv4(host, remote.sin_addr, context_)) throw EipsHTTPS(code, "");
    if (remote.sin_addr.s_addr == INADDR_ANY)
        throw EipsHTTPS(102, viaFirewall_ ? "The FirewallHost address is invalid (0.0.0.0)."
                                          : "The RemoteHost address is invalid (0.0.0.0).");
    if (port == 0)
        throw EipsHTTPS(116, viaFirewall_ ? "The FirewallPort is invalid (0)."
                                          : "RemotePort can't be zero. Please specify a "
                                            "valid service port number.");
    remote.sin_port = htons(port);

    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw EipsHTTPS(SocketCodeFromErrno(errno), "");
    BindLocal();
    if (connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) return;
    if (errno != EINPROGRESS) Fail(SocketCodeFromErrno(errno));
    try {
        WaitForSocket(fd_, POLLOUT, context_);
    } catch (...) {
        Close();
        throw;
    }
    int err = 0;
    socklen_t length = sizeof err;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
    if (err != 0) Fail(SocketCodeFromErrno(err));
}

void TTcpLayer::BindLocal() {
    if (localHost_.empty()) return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (int code = ResolveIPv4(localHost_, local.sin_addr, context_)) Fail(code);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        Fail(SocketCodeFromErrno(errno));
}

void TTcpLayer::Send(std::string_view bytes) {
    if (fd_ < 0) throw EipsHTTPS(10057, "");
    while (!bytes.empty()) {
        ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WaitForSocket(fd_, POLLOUT, context_);
        } else if (sent < 0 && errno != EINTR) {
            throw EipsHTTPS(SocketCodeFromErrno(errno), "");
        }
    }
}

size_t TTcpLayer::Receive(char* buffer, size_t capacity) {
    if (fd_ < 0) return 0;
    for (;;) {
        ssize_t got = recv(fd_, buffer, capacity, 0);
        if (got >= 0) return static_cast<size_t>(got);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitForSocket(fd_, POLLIN, context_);
        else if (errno != EINTR)
            throw EipsHTTPS(SocketCodeFromErrno(errno), "");
    }
}

void TTcpLayer::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}
