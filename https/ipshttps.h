#pragma once

// TipsHTTPS: the HTTP/1.0 client with TLS, proxy and firewall traversal. The caller sets
// properties and handlers, then assigns Action, which runs the whole request on the calling
// thread (pumping that thread's messages while it waits) and raises the events from inside
// the assignment. A failing action raises EipsHTTPS.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "https/ipscore.h"
#include "https/ipserror.h"

enum TipshttpsActions { httpIdle, httpGet, httpPost, httpHead, httpResetHeaders, httpPut };
enum TipshttpsFirewallTypes { fwNone, fwTunnel, fwSOCKS4, fwSOCKS5 };
enum TipshttpsFollowRedirects { frNever, frAlways, frSameScheme };
enum TipshttpsProxySSLs { psAutomatic, psAlways, psNever, psTunnel };

class TClientCertificate;
class TipsHTTPS;
class TRequestEngine;

using TConnectedEvent =
    std::function<void(TipsHTTPS* Sender, int StatusCode, const std::string& Description)>;
using TDisconnectedEvent = TConnectedEvent;
using TEndTransferEvent = std::function<void(TipsHTTPS* Sender, int Direction)>;
using TStartTransferEvent = TEndTransferEvent;
using TErrorEvent =
    std::function<void(TipsHTTPS* Sender, int ErrorCode, const std::string& Description)>;
using THeaderEvent =
    std::function<void(TipsHTTPS* Sender, const std::string& Field, const std::string& Value)>;
using TSetCookieEvent = std::function<void(
    TipsHTTPS* Sender, const std::string& Name, const std::string& Value,
    const std::string& Expires, const std::string& Domain, const std::string& Path, bool Secure)>;
using TSSLServerAuthenticationEvent =
    std::function<void(TipsHTTPS* Sender, long CertHandle, const std::string& CertSubject,
                       const std::string& CertIssuer, const std::string& Status, bool& Accept)>;
using TSSLStatusEvent = std::function<void(TipsHTTPS* Sender, const std::string& Message)>;
// BytesTransferred is 64-bit so that bodies beyond 2 GB keep a true running total.
using TTransferEvent = std::function<void(TipsHTTPS* Sender, int Direction,
                                          int64_t BytesTransferred, const std::string& Text)>;

// The events of the component; each is called only when set.
struct TipsHTTPSEvents {
    TConnectedEvent OnConnected;
    TDisconnectedEvent OnDisconnected;
    TEndTransferEvent OnEndTransfer;
    TErrorEvent OnError;
    THeaderEvent OnHeader;
    TSetCookieEvent OnSetCookie;
    TSSLServerAuthenticationEvent OnSSLServerAuthentication;
    TSSLStatusEvent OnSSLStatus;
    TStartTransferEvent OnStartTransfer;
    TTransferEvent OnTransfer;
};

class TipsHTTPS : public TipsCore, public TipsHTTPSEvents {
  public:
    TipsHTTPS();
    ~TipsHTTPS() override;

    // Published properties.
    const std::string& Accept() const;
    void SetAccept(const std::string& value);
    TipshttpsActions Action() const;
    void SetAction(TipshttpsActions value);
    const std::string& FirewallHost() const;
    void SetFirewallHost(const std::string& value);
    const std::string& FirewallPassword() const;
    void SetFirewallPassword(const std::string& value);
    uint16_t FirewallPort() const;
    void SetFirewallPort(uint16_t value);
    TipshttpsFirewallTypes FirewallType() const;
    void SetFirewallType(TipshttpsFirewallTypes value);
    const std::string& FirewallUser() const;
    void SetFirewallUser(const std::string& value);
    TipshttpsFollowRedirects FollowRedirects() const;
    void SetFollowRedirects(TipshttpsFollowRedirects value);
    const std::string& LocalFile() const;
    void SetLocalFile(const std::string& value);
    const std::string& LocalHost() const;
    void SetLocalHost(const std::string& value);
    int32_t MaxTransferredData() const;
    void SetMaxTransferredData(int32_t value);
    const std::string& Password() const;
    void SetPassword(const std::string& value);
    const std::string& ProxyPassword() const;
    void SetProxyPassword(const std::string& value);
    uint16_t ProxyPort() const;
    void SetProxyPort(uint16_t value);
    const std::string& ProxyServer() const;
    void SetProxyServer(const std::string& value);
    TipshttpsProxySSLs ProxySSL() const;
    void SetProxySSL(TipshttpsProxySSLs value);
    const std::string& ProxyUser() const;
    void SetProxyUser(const std::string& value);
    const std::string& SSLCertStore() const;
    void SetSSLCertStore(const std::string& value);
    // Assigning either while both are non-empty looks the client certificate up at once
    // (EipsHTTPS 271 when the store cannot be opened); once found, SSLCertSubject reads
    // back its full subject and every later connection presents it.
    const std::string& SSLCertSubject() const;
    void SetSSLCertSubject(const std::string& value);
    int32_t Timeout() const;
    void SetTimeout(int32_t seconds);
    const std::string& URL() const;
    void SetURL(const std::string& value);
    const std::string& User() const;
    void SetUser(const std::string& value);
    const std::string& UserAgent() const;
    void SetUserAgent(const std::string& value);
    bool UseWinInet() const;
    void SetUseWinInet(bool value);
    std::string WinsockInfo() const;
    bool WinsockLoaded() const;
    void SetWinsockLoaded(bool value);
    std::string WinsockStatus() const;

    // Public members.
    const std::string& AttachedFile() const;
    void SetAttachedFile(const std::string& value);
    void SetContentType(const std::string& value);
    const std::string& StatusLine() const;
    void Interrupt();

    // The in-memory copy of the response body (capped by MaxTransferredData) and the
    // response header lines of the last action.
    const std::string& TransferredData() const;
    const std::string& ResponseHeaders() const;

    // Why the last client certificate lookup found none: "The certificate could not be
    // found." or the 271 text; empty once a certificate is found or no lookup is due.
    const std::string& SSLCertLookupError() const { return certLookupError_; }

  private:
    void LookUpClientCertificate();

    std::unique_ptr<TRequestEngine> engine_;
    std::string certStore_;
    std::string certSubject_;
    std::string certLookupError_;
    std::shared_ptr<const TClientCertificate> clientCertificate_;
    bool useWinInet_ = false;
};
