#pragma once

// TLS servers written for the tests, with the trusted test certificate:
//   TTlsPeerSession    on an accepted socket of a script peer, driven step by step;
//   TMemoryTlsServer   in memory, as the layer below a TLS layer, so a script decides
//                      what each Receive of the client gets and the client never waits.

#include <openssl/ssl.h>

#include <functional>
#include <string>

#include "https/layer.h"
#include "https/tls_handles.h"

// The server context with the trusted test certificate; no session tickets unless asked.
TSslContext TestServerContext();

class TTlsPeerSession {
  public:
    explicit TTlsPeerSession(int fd);
    ~TTlsPeerSession();
    TTlsPeerSession(const TTlsPeerSession&) = delete;
    TTlsPeerSession& operator=(const TTlsPeerSession&) = delete;

    // One read: the bytes, "<close notify>" or "<error>".
    std::string Read();
    // Reads until the text holds terminator (or the client stops sending).
    std::string ReadUntil(const std::string& terminator);
    void Write(const std::string& bytes);
    // Sends a close notify (the socket stays open).
    void CloseNotify();
    bool Accepted = false;

  private:
    TSslContext context_;
    TSslSession session_;
};

class TMemoryTlsServer : public TLayer {
  public:
    explicit TMemoryTlsServer(TLinkContext& context);

    void Connect(const std::string&, uint16_t) override {}
    // Goes straight into the server session, which answers at once.
    void Send(std::string_view bytes) override;
    // Runs BeforeReceive, then hands out at most MaxPiece of the bytes the server wrote;
    // 0 (the server closed) when there are none.
    size_t Receive(char* buffer, size_t capacity) override;
    void Close() override {}

    // Writes one TLS 1.3 session ticket for the client (after the handshake).
    void SendTicket();
    bool HandshakeDone() const;

    std::function<void()> BeforeReceive;
    size_t MaxPiece = 16384;
    int Receives = 0;

  private:
    void TakeOutput();

    TSslContext serverContext_;
    TSslSession session_;
    BIO* input_ = nullptr;   // owned by session_
    BIO* output_ = nullptr;  // owned by session_
    std::string pending_;    // written by the server, not handed out yet
};
