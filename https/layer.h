#pragma once

// The connection stack under the request engine. Each layer offers the same few
// operations and owns the layer below it:
//
//   request engine
//        |
//   [TLS layer]            optional, speaks TLS through a BIO over the layer below
//   [firewall layer]       optional: CONNECT tunnel, SOCKS4 or SOCKS5
//   TCP layer              non-blocking socket, polled in 10 ms steps
//
// A layer connects by letting the layer below finish first, then running its own
// handshake. Errors are thrown as EipsHTTPS.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "https/ipserror.h"

// The server certificate offered to the caller for acceptance during TLS set-up.
struct TServerCertificate {
    long CertHandle = 0;  // 0 when no certificate could be taken from the session
    std::string CertSubject;
    std::string CertIssuer;
    std::string Status;   // "[0x%x] " + the policy status text
    bool Accept = false;  // in/out: starts true exactly when the policy status is 0
};

// What the layers need from the engine. Every callback may be empty.
struct TLinkContext {
    // One step of the calling thread: runs its due timers and posted calls and throws
    // EipsHTTPS(301, "") once the deadline has passed or Interrupt was called. Layers call
    // it after every poll() of at most 10 ms, whether it found the socket ready or not, and
    // in every round of a loop that reads, whatever arrived: a peer that trickles or floods
    // bytes must not hold an action past its deadline.
    std::function<void()> Pump;
    std::function<void(const std::string& message)> SSLStatus;
    std::function<void(int code, const std::string& description)> Error;
    std::function<void(TServerCertificate& certificate)> ServerAuthentication;
};

class TLayer {
  public:
    explicit TLayer(TLinkContext& context, std::unique_ptr<TLayer> below = nullptr)
        : context_(context), below_(std::move(below)) {}
    virtual ~TLayer() = default;
    TLayer(const TLayer&) = delete;
    TLayer& operator=(const TLayer&) = delete;

    // Connects to host:port (the target as this layer sees it). Throws EipsHTTPS.
    virtual void Connect(const std::string& host, uint16_t port) = 0;
    // Sends every byte, waiting in pump steps while the socket cannot take more.
    virtual void Send(std::string_view bytes) = 0;
    // Waits in pump steps for bytes; returns their count, or 0 once the peer has closed.
    virtual size_t Receive(char* buffer, size_t capacity) = 0;
    // Takes bytes already at hand without waiting: their count, 0 once the peer has closed,
    // nullopt when none have come yet.
    virtual std::optional<size_t> ReceiveReady(char* buffer, size_t capacity) {
        return below_ ? below_->ReceiveReady(buffer, capacity) : std::optional<size_t>(0);
    }
    // True when the peer ended the stream without the end marker of this layer's protocol
    // (a TLS close notify): what came last may have been cut off by an attacker.
    virtual bool EndedWithoutCloseNotify() const { return false; }
    // Closes this layer (a TLS close notify, say) and the layers below. Never throws.
    virtual void Close() = 0;

    virtual std::string Host() const { return below_ ? below_->Host() : std::string(); }
    virtual uint16_t Port() const { return below_ ? below_->Port() : 0; }
    virtual int Socket() const { return below_ ? below_->Socket() : -1; }

  protected:
    void PumpStep() {
        if (context_.Pump) context_.Pump();
    }

    TLinkContext& context_;
    std::unique_ptr<TLayer> below_;
};

// Firewall and TLS choices of one connection, decided by the request engine.
enum class TFirewallKind : uint8_t { None = 0, Tunnel = 1, SOCKS4 = 2, SOCKS5 = 3 };

struct TConnectionSettings {
    TFirewallKind FirewallType = TFirewallKind::None;
    std::string FirewallHost;
    uint16_t FirewallPort = 80;
    std::string FirewallUser;
    std::string FirewallPassword;
    bool UseTLS = false;
    std::string SSLCertStore = "MY";
    std::string SSLCertSubject;
    std::string LocalHost;
};

// Builds TCP, then the firewall layer when one is set, then TLS when it is on.
// Connect() on the returned top layer with the remote host and port does the rest.
std::unique_ptr<TLayer> BuildConnectionStack(const TConnectionSettings& settings,
                                             TLinkContext& context);
