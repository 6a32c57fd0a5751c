#pragma once

// The client certificate the TLS layer presents, found by store and subject. This system
// keeps no certificate stores of its own, so only a PKCS#12 file named "PFX\" + path (no
// password) can hold one; other store names cannot be opened here.

#include <openssl/ssl.h>

#include <string>

// Loads the certificate whose subject text equals subject, or else contains it, into
// credentials. Returns false when the store holds no such certificate; throws
// EipsHTTPS(271, "The certificate store could not be opened.") for a store it cannot open.
bool UseClientCertificate(SSL_CTX* credentials, const std::string& store,
                          const std::string& subject);
