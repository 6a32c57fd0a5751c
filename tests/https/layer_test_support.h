#pragma once

// Test doubles for the connection layers: a link context that records every event and
// enforces a deadline, and a scriptable TCP peer on 127.0.0.1 that runs one exchange.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/base/clock.h"
#include "common/base/unique_handle.h"
#include "https/layer.h"

// A manual clock installed for the life of the object: waits that nothing ends early pass
// at once, and deadlines and timers are read on it.
class TManualTime {
  public:
    TManualTime() : startMs_(clock_.MonotonicMs()) { SetClock(&clock_); }
    ~TManualTime() { SetClock(nullptr); }
    TManualTime(const TManualTime&) = delete;
    TManualTime& operator=(const TManualTime&) = delete;

    void AdvanceMs(int64_t ms) { clock_.AdvanceMs(ms); }
    // Manual milliseconds since the clock was installed.
    int64_t ElapsedMs() { return clock_.MonotonicMs() - startMs_; }

  private:
    TManualClock clock_;
    int64_t startMs_;
};

// A link context recording events as "SSLStatus: text", "Error: 118 text",
// "ServerAuthentication: status accept=0". Pump fails with 301 once the limit has passed
// on the program clock (a manual one when a test installed it).
struct TRecordingLink {
    explicit TRecordingLink(std::chrono::milliseconds limit = std::chrono::seconds(20));

    TLinkContext Context;
    std::vector<std::string> Events;
    std::vector<TServerCertificate> Certificates;  // as offered, before the handler
    bool AcceptCertificate = false;                // what the handler sets Accept to
    bool ChangeAccept = false;                     // whether the handler touches Accept
    int PumpSteps = 0;
    int64_t DeadlineMs;
};

// A raw socket helper for peers: read exactly n bytes (or until close), write all.
std::string ReadExactly(int fd, size_t count);
std::string ReadUntil(int fd, const std::string& terminator, size_t limit = 65536);
void WriteAll(int fd, const std::string& bytes);
// Sends bytes one at a time, 2 ms apart, until all went out or the client left.
void Trickle(int fd, const std::string& bytes);

// One-connection TCP server on 127.0.0.1 with a free port. The script runs on its own
// thread with the accepted socket; the connection closes when the script returns.
class TScriptPeer {
  public:
    explicit TScriptPeer(std::function<void(int fd)> script);
    ~TScriptPeer();
    uint16_t Port() const { return port_; }
    // Waits for the script to finish (at most 20 s).
    void Join();

  private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

// Settings for a firewall of the given kind on 127.0.0.1:port.
TConnectionSettings FirewallOn(TFirewallKind kind, uint16_t port, std::string user = "",
                               std::string password = "", bool tls = false);

// Reads from a layer until it reports the close (bounded by the link's deadline).
std::string ReceiveAll(TLayer& layer);

// A port on 127.0.0.1 that nothing listens on (bound, then released), for peer programs
// that must be told their port.
uint16_t UnusedPort();

// A port on 127.0.0.1 that refuses connections for the life of the object: it stays bound
// but is never listened on, so no other program can take it meanwhile.
class TRefusingPort {
  public:
    TRefusingPort();
    uint16_t Port() const { return port_; }

  private:
    TUniqueFd fd_;
    uint16_t port_ = 0;
};
