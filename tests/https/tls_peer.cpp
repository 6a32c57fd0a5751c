#include "tls_peer.h"

#include <openssl/err.h>

#include <csignal>
#include <stdexcept>

#include "proxy_peers.h"

TSslContext TestServerContext() {
    const std::string& certs = TestCertificates();
    TSslContext context(SSL_CTX_new(TLS_server_method()));
    SSL_CTX_set_num_tickets(context.get(), 0);  // nothing to write after the handshake
    if (SSL_CTX_use_certificate_file(context.get(), (certs + "/trusted.pem").c_str(),
                                     SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), (certs + "/trusted.key").c_str(),
                                    SSL_FILETYPE_PEM) != 1)
        throw std::runtime_error("cannot load the test server certificate");
    return context;
}

TTlsPeerSession::TTlsPeerSession(int fd) : context_(TestServerContext()) {
    signal(SIGPIPE, SIG_IGN);  // OpenSSL writes to the socket without MSG_NOSIGNAL
    session_.reset(SSL_new(context_.get()));
    SSL_set_fd(session_.get(), fd);
    Accepted = SSL_accept(session_.get()) == 1;
}

TTlsPeerSession::~TTlsPeerSession() {
    session_.reset();
    ERR_clear_error();
}

std::string TTlsPeerSession::Read() {
    char buffer[16384];
    int got = SSL_read(session_.get(), buffer, sizeof buffer);
    if (got > 0) return std::string(buffer, static_cast<size_t>(got));
    return SSL_get_error(session_.get(), got) == SSL_ERROR_ZERO_RETURN ? "<close notify>"
                                                                       : "<error>";
}

std::string TTlsPeerSession::ReadUntil(const std::string& terminator) {
    std::string text;
    while (text.find(terminator) == std::string::npos) {
        std::string piece = Read();
        if (piece.starts_with("<")) break;
        text += piece;
    }
    return text;
}

void TTlsPeerSession::Write(const std::string& bytes) {
    SSL_write(session_.get(), bytes.data(), static_cast<int>(bytes.size()));
}

void TTlsPeerSession::CloseNotify() { SSL_shutdown(session_.get()); }

TMemoryTlsServer::TMemoryTlsServer(TLinkContext& context)
    : TLayer(context), serverContext_(TestServerContext()) {
    session_.reset(SSL_new(serverContext_.get()));
    input_ = BIO_new(BIO_s_mem());
    output_ = BIO_new(BIO_s_mem());
    SSL_set_bio(session_.get(), input_, output_);
    SSL_set_accept_state(session_.get());
}

bool TMemoryTlsServer::HandshakeDone() const { return SSL_is_init_finished(session_.get()); }

void TMemoryTlsServer::Send(std::string_view bytes) {
    BIO_write(input_, bytes.data(), static_cast<int>(bytes.size()));
    if (!HandshakeDone()) SSL_do_handshake(session_.get());
    char sink[4096];
    size_t got = 0;
    while (HandshakeDone() && SSL_read_ex(session_.get(), sink, sizeof sink, &got) == 1) {
    }
    ERR_clear_error();
    TakeOutput();
}

void TMemoryTlsServer::SendTicket() {
    SSL_new_session_ticket(session_.get());
    SSL_do_handshake(session_.get());
    TakeOutput();
}

void TMemoryTlsServer::TakeOutput() {
    char chunk[16384];
    int got;
    while ((got = BIO_read(output_, chunk, sizeof chunk)) > 0)
        pending_.append(chunk, static_cast<size_t>(got));
}

size_t TMemoryTlsServer::Receive(char* buffer, size_t capacity) {
    ++Receives;
    if (BeforeReceive) BeforeReceive();
    const size_t count = std::min({capacity, MaxPiece, pending_.size()});
    pending_.copy(buffer, count);
    pending_.erase(0, count);
    return count;
}
