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
        const int ready = Clock().Poll(&entry, 1, 10);
        const int error = errno;
        // Also a step that found the socket ready pumps: a peer sending a byte every few
        // milliseconds would otherwise keep the deadline and Interrupt from being seen.
        if (context.Pump) context.Pump();
        if (ready > 0) return entry.revents;
        if (ready < 0 && error != EINTR) return POLLERR;
    }
}

TTcpLayer::TTcpLayer(TLinkContext& context, bool viaFirewall, std::string localHost)
    : TLayer(context), viaFirewall_(viaFirewall), localHost_(std::move(localHost)) {}

void TTcpLayer::Connect(const std::string& host, uint16_t port) {
    if (fd_)
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

    // The socket becomes the layer's only once it is connected; every failure on the way
    // closes it with the owner.
    TUniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) throw EipsHTTPS(SocketCodeFromErrno(errno), "");
    BindLocal(fd.Get());
    if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        if (errno != EINPROGRESS) throw EipsHTTPS(SocketCodeFromErrno(errno), "");
        WaitForSocket(fd.Get(), POLLOUT, context_);
        int err = 0;
        socklen_t length = sizeof err;
        if (getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
        if (err != 0) throw EipsHTTPS(SocketCodeFromErrno(err), "");
    }
    fd_ = std::move(fd);
}

void TTcpLayer::BindLocal(int fd) {
    if (localHost_.empty()) return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (int code = ResolveIPv4(localHost_, local.sin_addr, context_)) throw EipsHTTPS(code, "");
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        throw EipsHTTPS(SocketCodeFromErrno(errno), "");
}

void TTcpLayer::Send(std::string_view bytes) {
    if (!fd_) throw EipsHTTPS(10057, "");
    while (!bytes.empty()) {
        ssize_t sent = send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WaitForSocket(fd_.Get(), POLLOUT, context_);
        } else if (sent < 0 && errno != EINTR) {
            throw EipsHTTPS(SocketCodeFromErrno(errno), "");
        }
    }
}

size_t TTcpLayer::Receive(char* buffer, size_t capacity) {
    for (;;) {
        if (std::optional<size_t> got = ReceiveReady(buffer, capacity)) return *got;
        WaitForSocket(fd_.Get(), POLLIN, context_);
    }
}

std::optional<size_t> TTcpLayer::ReceiveReady(char* buffer, size_t capacity) {
    if (!fd_) return 0;
    for (;;) {
        const ssize_t got = recv(fd_.Get(), buffer, capacity, 0);
        if (got >= 0) return static_cast<size_t>(got);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
        if (errno != EINTR) throw EipsHTTPS(SocketCodeFromErrno(errno), "");
    }
}
