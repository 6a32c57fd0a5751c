#pragma once

// The bottom of the connection stack: one non-blocking IPv4 socket. Every wait is a
// poll() of at most 10 ms followed by one pump step of the calling thread, so timers,
// posted calls, the deadline and Interrupt keep working during connects and transfers.

#include <netinet/in.h>

#include "common/base/unique_handle.h"
#include "https/layer.h"

// Waits until fd is ready for events (POLLIN/POLLOUT), in 10 ms poll steps with a pump
// step after each one. Returns the revents seen.
short WaitForSocket(int fd, short events, TLinkContext& context);

class TTcpLayer : public TLayer {
  public:
    // viaFirewall selects the firewall forms of the address and port texts; localHost,
    // when non-empty, is the interface (name or dotted address) to bind before connecting.
    TTcpLayer(TLinkContext& context, bool viaFirewall, std::string localHost);

    void Connect(const std::string& host, uint16_t port) override;
    void Send(std::string_view bytes) override;
    size_t Receive(char* buffer, size_t capacity) override;
    std::optional<size_t> ReceiveReady(char* buffer, size_t capacity) override;
    void Close() override { fd_.Reset(); }

    std::string Host() const override { return host_; }
    uint16_t Port() const override { return port_; }
    int Socket() const override { return fd_.Get(); }

  private:
    void BindLocal(int fd);

    bool viaFirewall_;
    std::string localHost_;
    std::string host_;
    uint16_t port_ = 0;
    TUniqueFd fd_;
};
