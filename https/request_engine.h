#pragma once

// The protocol object under TipsHTTPS: holds the request settings, runs one action at a
// time over a connection stack, reads the response and raises the component's events.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "https/ipshttps.h"
#include "https/layer.h"
#include "https/request_engine_file.h"
#include "https/response_reader.h"
#include "https/url.h"

inline constexpr const char* kComponentUserAgent = "Dovrant HTTPS Component 1.0";

struct TRequestSettings {
    TURLParts Target;
    std::string Accept;
    std::string UserAgent;
    std::string ContentType;
    std::string AttachedFile;
    std::string LocalFile;
    std::string LocalHost;
    std::string ProxyServer;
    uint16_t ProxyPort = 80;
    std::string ProxyUser;
    std::string ProxyPassword;
    TipshttpsProxySSLs ProxySSL = psAutomatic;
    TipshttpsFirewallTypes FirewallType = fwNone;
    std::string FirewallHost;
    uint16_t FirewallPort = 80;
    std::string FirewallUser;
    std::string FirewallPassword;
    TipshttpsFollowRedirects FollowRedirects = frNever;
    int32_t MaxTransferredData = 4096;
    int64_t TimeoutMs = 0;
    std::string SSLCertStore = "MY";
    std::string SSLCertSubject;
    bool SocketsLoaded = true;
};

class TRequestEngine {
  public:
    // Redirects followed by one action before it ends with the last answer's 151.
    static constexpr int kMaxRedirects = 20;
    static constexpr size_t kFilePiece = 16384;

    TRequestEngine(TipsHTTPS& sender, TipsHTTPSEvents& events);
    ~TRequestEngine();

    TRequestSettings Settings;

    // Runs an action; returns when it is complete, raises EipsHTTPS when it failed.
    void Run(TipshttpsActions action);
    void Interrupt();
    TipshttpsActions Busy() const { return busy_; }
    // Clears the request settings (httpResetHeaders); UserAgent stays.
    void ResetHeaders();

    const std::string& StatusLine() const { return statusLine_; }
    const std::string& HeaderText() const { return headerText_; }
    const std::string& TransferredData() const { return transferredData_; }

  private:
    int Perform(TipshttpsActions action);
    bool FollowsRedirect(TipshttpsActions action, const std::string& code) const;
    void ResetActionState();

    // Transfer of one request and its response (request_engine_io.cpp).
    int Transfer(TipshttpsActions action);
    void Connect(const std::string& host, uint16_t port, const TConnectionSettings& settings);
    int SendRequest(TipshttpsActions action, bool throughProxy);
    int SendAttachedFile(int fd, uint64_t length);
    bool EarlyFailureStatus();
    // Whether a complete status line that is no success has arrived.
    bool Refused() const;
    bool RefusalAfterFailedSend();
    void ReadResponse(TipshttpsActions action);
    // The connection ended before the announced body was whole.
    bool BodyCutShort(TipshttpsActions action) const;
    // Feeds received bytes to the reader; a head past its limit ends the action.
    void TakeResponseBytes(std::string_view bytes);
    void TakeBodyPiece(std::string_view piece);
    // OnError and the end of the action for a LocalFile that did not take the body.
    [[noreturn]] void FailLocalFile();
    void CloseConnection(int code);
    void Drop();

    // Ends a wait step with 301 when the action was interrupted or its time is up.
    void CheckAbort();
    void PumpStep();

    TipsHTTPS& sender_;
    TipsHTTPSEvents& events_;
    TLinkContext context_;

    TipshttpsActions busy_ = httpIdle;
    bool running_ = false;  // Run is on the stack (busy_ may already read idle)
    bool interruptRequested_ = false;
    bool interrupted_ = false;
    std::optional<int64_t> deadlineMs_;  // monotonic reading of the program clock

    std::unique_ptr<TLayer> connection_;
    bool connected_ = false;
    std::unique_ptr<TResponseReader> reader_;
    std::unique_ptr<TLocalFileWriter> localFile_;

    std::string statusLine_;
    std::string headerText_;
    std::string transferredData_;
    std::string description_;
};

// The description an action's error carries: "Interrupted." for 301, "Out of memory." for
// 200, otherwise the given one, or the socket error table's rule when none is given.
std::string DescribeActionError(int code, const std::string& description);
