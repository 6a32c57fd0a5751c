#pragma once

// TLS over whatever layer is below (TCP, a CONNECT tunnel, SOCKS). OpenSSL never sees
// the socket: it reads what this layer received from the layer below and writes to a memory
// BIO that this layer empties into the layer below, so every wait is the layer below's pump
// wait and no exception ever crosses OpenSSL.
//
//   caller --Send--> SSL_write --> [write BIO] --> below->Send
//   caller <-Receive- SSL_read <-- [read BIO]  <-- below->Receive

#include <openssl/ssl.h>

#include "https/layer.h"
#include "https/tls_handles.h"
#include "https/tls_received_bytes.h"

class TTlsLayer : public TLayer {
  public:
    TTlsLayer(TLinkContext& context, std::unique_ptr<TLayer> below, std::string certStore,
              std::string certSubject);
    ~TTlsLayer() override;

    void Connect(const std::string& host, uint16_t port) override;
    void Send(std::string_view bytes) override;
    size_t Receive(char* buffer, size_t capacity) override;
    std::optional<size_t> ReceiveReady(char* buffer, size_t capacity) override;
    void Close() override;
    bool EndedWithoutCloseNotify() const override { return endedWithoutCloseNotify_; }

  private:
    enum class TState {
        Idle,
        Connecting,  // credentials, then the layers below
        Handshaking,
        CheckingCertificate,
        Connected,
        PeerClosed  // close notify or end of stream seen
    };
    TState Step(TState state, const std::string& host, uint16_t port);

    void AcquireCredentials();
    void Handshake(const std::string& host);
    void CheckServerCertificate(const std::string& host);
    // Sends what OpenSSL wrote to the write BIO; returns the byte count.
    size_t FlushOutput();
    // Receives one piece from the layer below for the read BIO; 0 once the peer closed.
    // Without wait, nullopt when the layer below has nothing at hand.
    std::optional<size_t> FeedInput(bool wait = true);
    // Decrypted bytes for Receive (wait) and ReceiveReady.
    std::optional<size_t> Read(char* buffer, size_t capacity, bool wait);
    // After got bytes of one record, adds those of the records already received, as far as
    // capacity allows; an end or a failure met on the way waits for the next Read.
    size_t TopUp(char* buffer, size_t got, size_t capacity);
    // The end of the session (a close notify) or a broken record: 0, or the failure raised.
    size_t Ended(int error, unsigned long failure);
    // OnError(code, text) when report, and end the attempt with code and text.
    [[noreturn]] void Fail(int code, const std::string& text, bool report = true);
    void Status(const std::string& text);
    void ReleaseSession();

    std::string certStore_;
    std::string certSubject_;
    TState state_ = TState::Idle;
    TSslContext credentials_;
    TSslSession session_;
    BIO* input_ = nullptr;   // owned by session_
    BIO* output_ = nullptr;  // owned by session_
    bool clientCertificateRequested_ = false;
    std::string sessionKey_;  // server and credentials: which kept session may be resumed
    bool endedWithoutCloseNotify_ = false;
    // An end or failure met while topping up, with its error queue's code.
    int deferredError_ = 0;
    unsigned long deferredFailure_ = 0;
    TReceivedBytes received_;  // what the read BIO hands to OpenSSL

    friend int ClientCertificateRequested(SSL* ssl, X509** certificate, EVP_PKEY** key);
    friend int SessionHandedOut(SSL* ssl, SSL_SESSION* session);
};
