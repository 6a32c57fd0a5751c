#include "https/tls_layer.h"

#include <arpa/inet.h>
#include <openssl/err.h>

#include <climits>
#include <cstdio>
#include <map>
#include <mutex>

#include "https/tls_client_certificate.h"
#include "https/tls_session_cache.h"
#include "https/tls_trust_store.h"
#include "https/tls_verify.h"

namespace {

// Windows-like statuses for "the handshake wants more": a step that produced a token
// ends in continue-needed, one that only waits for input in incomplete-message.
constexpr uint32_t kContinueNeeded = 0x00090312;
constexpr uint32_t kIncompleteMessage = 0x80090318;

std::string Format(const char* pattern, unsigned long value) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// The error OpenSSL queued for the failed call, else the SSL_get_error result.
unsigned long LastFailure(int sslError) {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    return (code ? code : static_cast<unsigned long>(sslError)) & 0xFFFFFFFFul;
}

// The alert a failure stands for when the server sent one ("certificate required"), else "".
std::string PeerAlert(unsigned long failure) {
    if (ERR_GET_LIB(failure) != ERR_LIB_SSL) return {};
    const int alert = ERR_GET_REASON(failure) - SSL_AD_REASON_OFFSET;
    if (alert < 0 || alert > 255) return {};
    // The reason text knows the TLS 1.3 alerts ("tlsv13 alert certificate required"), the
    // alert table of OpenSSL 3.0 does not.
    const char* reason = ERR_reason_error_string(failure);
    const std::string text = reason ? reason : "";
    const size_t name = text.find("alert ");
    return name != std::string::npos ? text.substr(name + 6) : SSL_alert_desc_string_long(alert);
}

// The text of a failed transfer: a server that ended the session with an alert is named
// with it, so a refused client certificate does not read as broken records.
std::string TransferFailureText(const char* pattern, unsigned long failure) {
    const std::string alert = PeerAlert(failure);
    if (alert.empty()) return Format(pattern, failure);
    return "server alert: " + alert + Format(" (error 0x%lx)", failure);
}

int LayerIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

}  // namespace

// A session the server handed out: kept for the next connection to the same server.
int SessionHandedOut(SSL* ssl, SSL_SESSION* session) {
    auto* layer = static_cast<TTlsLayer*>(SSL_get_ex_data(ssl, LayerIndex()));
    if (!layer || layer->sessionKey_.empty()) return 0;
    RememberSession(layer->sessionKey_, session);
    return 1;  // the reference now belongs to the cache
}

// The server asked for a client certificate; this program presents none.
int ClientCertificateRequested(SSL* ssl, X509**, EVP_PKEY**) {
    static_cast<TTlsLayer*>(SSL_get_ex_data(ssl, LayerIndex()))->clientCertificateRequested_ = true;
    return 0;
}

TTlsLayer::TTlsLayer(TLinkContext& context, std::unique_ptr<TLayer> below, std::string certStore,
                     std::string certSubject)
    : TLayer(context, std::move(below)),
      certStore_(std::move(certStore)),
      certSubject_(std::move(certSubject)) {}

TTlsLayer::~TTlsLayer() { Close(); }

void TTlsLayer::Status(const std::string& text) {
    if (context_.SSLStatus) context_.SSLStatus(text);
}

void TTlsLayer::Fail(int code, const std::string& text, bool report) {
    if (report && context_.Error) context_.Error(code, text);
    throw EipsHTTPS(code, text);
}

namespace {

// The settings every client context gets. False when the context cannot take them.
bool Configure(SSL_CTX* context, X509_STORE* trust) {
    // TLS 1.2 and 1.3 only, whatever the system's OpenSSL configuration allows: a server
    // that offers nothing newer than TLS 1.1 fails the handshake.
    if (SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1) return false;
    SSL_CTX_set1_cert_store(context, trust);
    // The certificate is judged after the handshake, so the caller can accept it.
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_session_cache_mode(context,
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, SessionHandedOut);
    // Called only when a server asks and no client certificate was loaded.
    SSL_CTX_set_client_cert_cb(context, ClientCertificateRequested);
    return true;
}

// Without a client certificate every connection under one trust store needs the same
// context: it is made once and shared (contexts are safe to share between threads).
SSL_CTX* SharedContext(X509_STORE* trust) {
    static std::mutex lock;
    static std::map<X509_STORE*, TSslContext> contexts;
    std::lock_guard<std::mutex> guard(lock);
    TSslContext& context = contexts[trust];
    if (!context) {
        TSslContext made(SSL_CTX_new(TLS_client_method()));
        if (!made || !Configure(made.get(), trust)) return nullptr;
        context = std::move(made);
    }
    SSL_CTX_up_ref(context.get());
    return context.get();
}

}  // namespace

void TTlsLayer::AcquireCredentials() {
    X509_STORE* trust = SharedTrustStore();
    const bool clientCertificate = !certStore_.empty() && !certSubject_.empty();
    if (trust && !clientCertificate) {
        credentials_.reset(SharedContext(trust));
    } else if (trust) {
        credentials_.reset(SSL_CTX_new(TLS_client_method()));
        if (credentials_ && !Configure(credentials_.get(), trust)) credentials_.reset();
    }
    if (!credentials_)
        Fail(273, Format("Could not acquire security credentials: error 0x%lx.", LastFailure(0)),
             false);
    // One that is not found leaves the connection without a client certificate.
    if (clientCertificate) UseClientCertificate(credentials_.get(), certStore_, certSubject_);
}

void TTlsLayer::Connect(const std::string& host, uint16_t port) {
    if (state_ != TState::Idle)
        throw EipsHTTPS(104,
                        "Already connected. If you want to reconnect, close the "
                        "current connection first.");
    state_ = TState::Connecting;
    endedWithoutCloseNotify_ = false;
    deferredError_ = SSL_ERROR_NONE;
    try {
        while (state_ != TState::Connected) state_ = Step(state_, host, port);
    } catch (...) {
        Close();
        throw;
    }
}

TTlsLayer::TState TTlsLayer::Step(TState state, const std::string& host, uint16_t port) {
    // A "*" marks a name the SOCKS5 firewall resolves; the server knows it without.
    const std::string name = !host.empty() && host[0] == '*' ? host.substr(1) : host;
    switch (state) {
        case TState::Connecting:
            // Sessions are resumed only under the same server and the same credentials.
            sessionKey_ =
                name + ":" + std::to_string(port) + "\n" + certStore_ + "\n" + certSubject_;
            AcquireCredentials();
            Status("Attempting to connect to server.");
            below_->Connect(host, port);
            Status("Socket connection established.");
            return TState::Handshaking;
        case TState::Handshaking:
            Handshake(name);
            return TState::CheckingCertificate;
        case TState::CheckingCertificate:
            CheckServerCertificate(name);
            return TState::Connected;
        default:
            return state;
    }
}

void TTlsLayer::Handshake(const std::string& host) {
    session_.reset(SSL_new(credentials_.get()));
    received_.Clear();
    TBio input(received_.NewBio());
    TBio output(BIO_new(BIO_s_mem()));
    if (!session_ || !input || !output) Fail(200, "Out of memory. Aborting connection...", true);
    input_ = input.release();
    output_ = output.release();
    SSL_set_bio(session_.get(), input_, output_);
    SSL* session = session_.get();
    SSL_set_ex_data(session, LayerIndex(), this);
    SSL_set_connect_state(session);
    if (SSL_SESSION* earlier = RecallSession(sessionKey_)) {
        SSL_set_session(session, earlier);
        SSL_SESSION_free(earlier);
    }
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) != 1)
        SSL_set_tlsext_host_name(session, host.c_str());

    Status("Starting secure channel handshake.");
    bool firstToken = true;
    bool requestReported = false;
    uint32_t lastStatus = 0;
    for (;;) {
        int result = SSL_do_handshake(session);
        int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(session, result);
        size_t sent = FlushOutput();
        if (sent > 0) {
            Status(Format(firstToken ? "Sending %lu bytes of handshake data."
                                     : "Sending %lu handshake bytes.",
                          sent));
            firstToken = false;
        }
        if (clientCertificateRequested_ && !requestReported) {
            Status("Client certificate requested from server.");
            requestReported = true;
        }
        if (result == 1) break;
        if (error != SSL_ERROR_WANT_READ)
            Fail(276, TransferFailureText("error during handshake[2]: 0x%lx", LastFailure(error)));
        lastStatus = sent > 0 ? kContinueNeeded : kIncompleteMessage;
        size_t received = 0;
        try {
            received = *FeedInput();
        } catch (const EipsHTTPS& e) {
            if (e.Code != 10053 && e.Code != 10054) throw;  // a reset is a disconnect too
        }
        if (received == 0)
            Fail(276,
                 Format("Server disconnected before handshake completion [0x%lx].", lastStatus));
        Status(Format("Receiving %lu bytes of handshake data.", received));
        PumpStep();
    }
}

void TTlsLayer::CheckServerCertificate(const std::string& host) {
    TServerCertificate offered;
    X509* certificate = SSL_get0_peer_certificate(session_.get());
    if (!certificate) {
        if (context_.Error)
            context_.Error(281, Format("can't find server certificate (error 0x%lx)",
                                       LastFailure(SSL_ERROR_SSL)));
    } else {
        offered.CertHandle = static_cast<long>(reinterpret_cast<intptr_t>(certificate));
        offered.CertSubject = X500NameText(X509_get_subject_name(certificate));
        offered.CertIssuer = X500NameText(X509_get_issuer_name(certificate));
        uint32_t status =
            VerifyServerCertificate(certificate, SSL_get_peer_cert_chain(session_.get()),
                                    SSL_CTX_get_cert_store(credentials_.get()), host);
        offered.Status = PolicyStatusLine(status);
        offered.Accept = status == 0;
        if (status != 0 && context_.Error)
            context_.Error(280, Format("error verifying server certificate: 0x%lx", status));
    }
    if (context_.ServerAuthentication) context_.ServerAuthentication(offered);
    if (!offered.Accept) {
        Status("Server certificate verification failed. Aborting connection...");
        Fail(276, "Server certificate verification failed. Connection aborted.", false);
    }
}

size_t TTlsLayer::FlushOutput() {
    std::string bytes;
    char chunk[16384];
    int got;
    while ((got = BIO_read(output_, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, static_cast<size_t>(got));
    if (!bytes.empty()) below_->Send(bytes);
    return bytes.size();
}

std::optional<size_t> TTlsLayer::FeedInput(bool wait) {
    char* room = received_.Room();
    const size_t size = received_.RoomSize();
    std::optional<size_t> got =
        wait ? below_->Receive(room, size) : below_->ReceiveReady(room, size);
    if (got) received_.Received(*got);
    return got;
}

void TTlsLayer::Send(std::string_view bytes) {
    if (state_ != TState::Connected && state_ != TState::PeerClosed) throw EipsHTTPS(10057, "");
    while (!bytes.empty()) {
        size_t written = 0;
        int result = SSL_write_ex(session_.get(), bytes.data(), bytes.size(), &written);
        int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(session_.get(), result);
        FlushOutput();
        if (result == 1) {
            bytes.remove_prefix(written);
        } else if (error == SSL_ERROR_WANT_READ) {
            if (*FeedInput() == 0) throw EipsHTTPS(10054, "");
            PumpStep();
        } else {
            throw EipsHTTPS(
                283, TransferFailureText("error encrypting data 0x%lx.", LastFailure(error)));
        }
    }
}

size_t TTlsLayer::Receive(char* buffer, size_t capacity) { return *Read(buffer, capacity, true); }

std::optional<size_t> TTlsLayer::ReceiveReady(char* buffer, size_t capacity) {
    return Read(buffer, capacity, false);
}

std::optional<size_t> TTlsLayer::Read(char* buffer, size_t capacity, bool wait) {
    if (state_ != TState::Connected) return 0;
    if (deferredError_ != SSL_ERROR_NONE) {
        const int error = deferredError_;
        deferredError_ = SSL_ERROR_NONE;
        return Ended(error, deferredFailure_);
    }
    for (;;) {
        size_t got = 0;
        int result = SSL_read_ex(session_.get(), buffer, std::min<size_t>(capacity, INT_MAX), &got);
        int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(session_.get(), result);
        FlushOutput();  // key updates and renegotiation answers
        if (result == 1) return TopUp(buffer, got, capacity);
        if (error == SSL_ERROR_WANT_READ) {
            const std::optional<size_t> fed = FeedInput(wait);
            if (!fed) return std::nullopt;
            if (*fed == 0) {  // the server closed without a close notify
                endedWithoutCloseNotify_ = true;
                state_ = TState::PeerClosed;
                return 0;
            }
            // Records that carry no data (session tickets, say) can come without end.
            PumpStep();
            continue;
        }
        return Ended(error, error == SSL_ERROR_ZERO_RETURN ? 0 : LastFailure(error));
    }
}

size_t TTlsLayer::TopUp(char* buffer, size_t got, size_t capacity) {
    SSL* session = session_.get();
    while (got < capacity && (SSL_pending(session) > 0 || received_.Pending() > 0)) {
        size_t more = 0;
        const int result =
            SSL_read_ex(session, buffer + got, std::min<size_t>(capacity - got, INT_MAX), &more);
        const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(session, result);
        FlushOutput();
        if (result != 1) {
            // A record not yet whole waits for more input; anything else is reported after
            // the bytes before it.
            if (error != SSL_ERROR_WANT_READ) {
                deferredError_ = error;
                deferredFailure_ = error == SSL_ERROR_ZERO_RETURN ? 0 : LastFailure(error);
            }
            break;
        }
        got += more;
    }
    return got;
}

size_t TTlsLayer::Ended(int error, unsigned long failure) {
    if (error == SSL_ERROR_ZERO_RETURN) {
        Status("Server signaled end of session.");
        state_ = TState::PeerClosed;
        return 0;
    }
    // Broken records end the transfer as a failure rather than a short body.
    std::string text = TransferFailureText("error decrypting data (error 0x%lx)", failure);
    if (context_.Error) context_.Error(284, text);
    state_ = TState::PeerClosed;
    throw EipsHTTPS(284, text);
}

void TTlsLayer::ReleaseSession() {
    session_.reset();  // frees both BIOs
    input_ = output_ = nullptr;
    received_.Clear();
    credentials_.reset();
}

void TTlsLayer::Close() {
    // Once the handshake is through, the server hears a close notify, also when its
    // certificate was refused or it has closed first.
    if (state_ == TState::Connected || state_ == TState::CheckingCertificate ||
        state_ == TState::PeerClosed) {
        state_ = TState::Idle;  // a pump step inside the send must not close twice
        SSL_shutdown(session_.get());
        try {
            FlushOutput();
        } catch (const EipsHTTPS&) {
            // the close notify is a courtesy; a dead link or a deadline skips it
        }
    }
    state_ = TState::Idle;
    ReleaseSession();
    if (below_) below_->Close();
}
