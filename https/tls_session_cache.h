#pragma once

// Sessions of earlier TLS connections, kept for the next connection to the same server
// under the same settings: a resumed handshake skips the key exchange and the server's
// signature, which on a short request costs more than the request itself. Every request
// builds a new component, so the sessions are kept for the process. The server's
// certificate is still judged after every handshake, resumed or not.

#include <openssl/ssl.h>

#include <string>

// A session for key (the caller frees it with SSL_SESSION_free), or nullptr.
SSL_SESSION* RecallSession(const std::string& key);
// Keeps session for key, taking over the caller's reference; an older one is let go.
void RememberSession(const std::string& key, SSL_SESSION* session);
