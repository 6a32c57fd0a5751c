#include "https/ipshttps.h"

#include <new>

#include "https/request_engine.h"
#include "https/tls_client_certificate.h"

namespace {

// The firewall credentials travel in one-byte length fields.
constexpr size_t kMaxFirewallText = 255;

std::string Limited(const std::string& value) { return value.substr(0, kMaxFirewallText); }

}  // namespace

TipsHTTPS::TipsHTTPS() {
    try {
        engine_ = std::make_unique<TRequestEngine>(*this, static_cast<TipsHTTPSEvents&>(*this));
    } catch (const std::bad_alloc&) {
        throw EipsHTTPS(-1, "Could not create the request engine.");
    }
    // The defaults, assigned in alphabetical order of the property names: FirewallType and
    // ProxySSL come after FirewallPort and set it again.
    SetAccept("");
    SetFirewallHost("");
    SetFirewallPassword("");
    SetFirewallPort(80);
    SetFirewallType(fwNone);
    SetFirewallUser("");
    SetFollowRedirects(frNever);
    SetLocalFile("");
    SetMaxTransferredData(4096);
    SetPassword("");
    SetProxyPassword("");
    SetProxyPort(80);
    SetProxySSL(psAutomatic);
    SetProxyServer("");
    SetProxyUser("");
    SetSSLCertStore("MY");
    SetSSLCertSubject("");
    SetTimeout(0);
    SetURL("");
    SetUser("");
    SetUserAgent(kComponentUserAgent);
    SetUseWinInet(false);
    SetWinsockLoaded(true);
}

TipsHTTPS::~TipsHTTPS() = default;

const std::string& TipsHTTPS::Accept() const { return engine_->Settings.Accept; }
void TipsHTTPS::SetAccept(const std::string& value) { engine_->Settings.Accept = value; }

TipshttpsActions TipsHTTPS::Action() const { return engine_->Busy(); }
void TipsHTTPS::SetAction(TipshttpsActions value) { engine_->Run(value); }

const std::string& TipsHTTPS::FirewallHost() const { return engine_->Settings.FirewallHost; }
void TipsHTTPS::SetFirewallHost(const std::string& value) {
    engine_->Settings.FirewallHost = value;
}

const std::string& TipsHTTPS::FirewallPassword() const {
    return engine_->Settings.FirewallPassword;
}
void TipsHTTPS::SetFirewallPassword(const std::string& value) {
    engine_->Settings.FirewallPassword = Limited(value);
}

uint16_t TipsHTTPS::FirewallPort() const { return engine_->Settings.FirewallPort; }
void TipsHTTPS::SetFirewallPort(uint16_t value) { engine_->Settings.FirewallPort = value; }

TipshttpsFirewallTypes TipsHTTPS::FirewallType() const { return engine_->Settings.FirewallType; }
void TipsHTTPS::SetFirewallType(TipshttpsFirewallTypes value) {
    engine_->Settings.FirewallType = value;
    engine_->Settings.FirewallPort = (value == fwSOCKS4 || value == fwSOCKS5) ? 1080 : 80;
}

const std::string& TipsHTTPS::FirewallUser() const { return engine_->Settings.FirewallUser; }
void TipsHTTPS::SetFirewallUser(const std::string& value) {
    engine_->Settings.FirewallUser = Limited(value);
}

TipshttpsFollowRedirects TipsHTTPS::FollowRedirects() const {
    return engine_->Settings.FollowRedirects;
}
void TipsHTTPS::SetFollowRedirects(TipshttpsFollowRedirects value) {
    engine_->Settings.FollowRedirects = value;
}

const std::string& TipsHTTPS::LocalFile() const { return engine_->Settings.LocalFile; }
void TipsHTTPS::SetLocalFile(const std::string& value) { engine_->Settings.LocalFile = value; }

const std::string& TipsHTTPS::LocalHost() const { return engine_->Settings.LocalHost; }
void TipsHTTPS::SetLocalHost(const std::string& value) { engine_->Settings.LocalHost = value; }

int32_t TipsHTTPS::MaxTransferredData() const { return engine_->Settings.MaxTransferredData; }
void TipsHTTPS::SetMaxTransferredData(int32_t value) {
    engine_->Settings.MaxTransferredData = value;
}

const std::string& TipsHTTPS::Password() const { return engine_->Settings.Target.Password; }
void TipsHTTPS::SetPassword(const std::string& value) { engine_->Settings.Target.Password = value; }

const std::string& TipsHTTPS::ProxyPassword() const { return engine_->Settings.ProxyPassword; }
void TipsHTTPS::SetProxyPassword(const std::string& value) {
    engine_->Settings.ProxyPassword = value;
}

uint16_t TipsHTTPS::ProxyPort() const { return engine_->Settings.ProxyPort; }
void TipsHTTPS::SetProxyPort(uint16_t value) { engine_->Settings.ProxyPort = value; }

const std::string& TipsHTTPS::ProxyServer() const { return engine_->Settings.ProxyServer; }
void TipsHTTPS::SetProxyServer(const std::string& value) { engine_->Settings.ProxyServer = value; }

TipshttpsProxySSLs TipsHTTPS::ProxySSL() const { return engine_->Settings.ProxySSL; }
void TipsHTTPS::SetProxySSL(TipshttpsProxySSLs value) {
    engine_->Settings.ProxySSL = value;
    engine_->Settings.FirewallType = value == psTunnel ? fwTunnel : fwNone;
    engine_->Settings.FirewallPort = 80;
}

const std::string& TipsHTTPS::ProxyUser() const { return engine_->Settings.ProxyUser; }
void TipsHTTPS::SetProxyUser(const std::string& value) { engine_->Settings.ProxyUser = value; }

const std::string& TipsHTTPS::SSLCertStore() const { return certStore_; }
void TipsHTTPS::SetSSLCertStore(const std::string& value) {
    certStore_ = value;
    LookUpClientCertificate();
}

const std::string& TipsHTTPS::SSLCertSubject() const { return certSubject_; }
void TipsHTTPS::SetSSLCertSubject(const std::string& value) {
    certSubject_ = value;
    LookUpClientCertificate();
}

// The connection settings name the certificate found (store and full subject, under
// which it stays held while this component holds it), or no subject when there is none,
// so a connection never opens a store itself.
void TipsHTTPS::LookUpClientCertificate() {
    clientCertificate_.reset();
    certLookupError_.clear();
    engine_->Settings.SSLCertStore = certStore_;
    engine_->Settings.SSLCertSubject.clear();
    if (certStore_.empty() || certSubject_.empty()) return;
    try {
        clientCertificate_ = FindClientCertificate(certStore_, certSubject_);
    } catch (const EipsHTTPS& error) {
        certLookupError_ = error.Description;
        throw;
    }
    if (!clientCertificate_) {
        certLookupError_ = "The certificate could not be found.";
        return;
    }
    certSubject_ = clientCertificate_->Subject();
    engine_->Settings.SSLCertSubject = certSubject_;
}

int32_t TipsHTTPS::Timeout() const {
    return static_cast<int32_t>(engine_->Settings.TimeoutMs / 1000);
}
void TipsHTTPS::SetTimeout(int32_t seconds) {
    engine_->Settings.TimeoutMs = static_cast<int64_t>(seconds) * 1000;
}

const std::string& TipsHTTPS::URL() const { return engine_->Settings.Target.URL; }
void TipsHTTPS::SetURL(const std::string& value) { ParseURL(engine_->Settings.Target, value); }

const std::string& TipsHTTPS::User() const { return engine_->Settings.Target.User; }
void TipsHTTPS::SetUser(const std::string& value) { engine_->Settings.Target.User = value; }

const std::string& TipsHTTPS::UserAgent() const { return engine_->Settings.UserAgent; }
void TipsHTTPS::SetUserAgent(const std::string& value) { engine_->Settings.UserAgent = value; }

// With the flag set, actions run through the platform HTTP library (platform_http.cpp)
// instead of the engine's own sockets, layers and TLS.
bool TipsHTTPS::UseWinInet() const { return useWinInet_; }
void TipsHTTPS::SetUseWinInet(bool value) { useWinInet_ = value; }

std::string TipsHTTPS::WinsockInfo() const {
    return WinsockLoaded() ? "POSIX sockets (non-blocking, polled)" : "";
}
bool TipsHTTPS::WinsockLoaded() const { return engine_->Settings.SocketsLoaded; }
void TipsHTTPS::SetWinsockLoaded(bool value) { engine_->Settings.SocketsLoaded = value; }
std::string TipsHTTPS::WinsockStatus() const { return WinsockLoaded() ? "Running" : "Down"; }

const std::string& TipsHTTPS::AttachedFile() const { return engine_->Settings.AttachedFile; }
void TipsHTTPS::SetAttachedFile(const std::string& value) {
    engine_->Settings.AttachedFile = value;
}
void TipsHTTPS::SetContentType(const std::string& value) { engine_->Settings.ContentType = value; }
const std::string& TipsHTTPS::StatusLine() const { return engine_->StatusLine(); }
void TipsHTTPS::Interrupt() { engine_->Run(httpIdle); }

const std::string& TipsHTTPS::TransferredData() const { return engine_->TransferredData(); }
const std::string& TipsHTTPS::ResponseHeaders() const { return engine_->HeaderText(); }
