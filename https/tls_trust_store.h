#pragma once

// The system's trust store, read once and shared by every TLS connection of the process
// (reading the system's certificate bundle takes far longer than a handshake on a local
// link). A change of SSL_CERT_FILE or SSL_CERT_DIR is honoured: each setting has its own
// store.

#include <openssl/x509.h>

// Points store at the system's bundle file and hashed folder (SSL_CERT_FILE and SSL_CERT_DIR
// honoured), as X509_STORE_set_default_paths does, less the look-up through OpenSSL's store
// loader that OpenSSL 3 adds there: it names the same folder again and costs a millisecond or
// more in every process. 1 when the look-ups could be made; a missing file or folder is no
// error.
int SetSystemTrustPaths(X509_STORE* store);

// The functions a store is made with: those of this program's OpenSSL, or those of another
// copy in the process (the one a loaded library brought), whose objects ours must not touch.
struct TTrustStoreMaker {
    X509_STORE* (*New)() = X509_STORE_new;
    int (*SetDefaultPaths)(X509_STORE*) = SetSystemTrustPaths;
    void (*Free)(X509_STORE*) = X509_STORE_free;
};

// The store for the current settings, or nullptr when it cannot be made. Owned here; valid
// until the process ends.
X509_STORE* SharedTrustStore(const TTrustStoreMaker& maker = {});
