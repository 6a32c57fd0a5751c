#pragma once

// The client certificate the TLS layer presents, found by store name and subject.
//
// Store names:
//   "PFX\<path>"             a PKCS#12 file without password
//   "LOCAL_MACHINE\<name>"   the machine's store: /etc/quillbern-dovrant/certstore/<NAME>/
//   any other <name>         the user's store:
//                            $XDG_CONFIG_HOME/quillbern-dovrant/certstore/<NAME>/
//                            ($HOME/.config when XDG_CONFIG_HOME is unset)
// <NAME> is the name in capitals, as store names are not case-sensitive. A store folder is
// only read, never created. It holds one certificate per "<file>.pem" (the certificate,
// optionally followed by its chain) with its unencrypted private key in "<file>.key".
// Only certificates with a matching key are candidates: one without cannot be presented.
//
// Search, in order: the subject text encoded as a name equals a certificate's encoded
// subject; a certificate's subject text equals the subject (case-sensitive); a
// certificate's subject text contains it.

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "https/tls_handles.h"

class TClientCertificate {
  public:
    TClientCertificate(TX509 certificate, TPrivateKey key, TX509List chain);
    TClientCertificate(const TClientCertificate&) = delete;
    TClientCertificate& operator=(const TClientCertificate&) = delete;

    X509* Certificate() const { return certificate_.get(); }
    // The full subject text, as the TLS layer renders names.
    const std::string& Subject() const { return subject_; }
    // Makes credentials present this certificate, its key and its chain.
    void Present(SSL_CTX* credentials) const;

  private:
    TX509 certificate_;
    TPrivateKey key_;
    TX509List chain_;
    std::string subject_;
};

// The folder a system store name stands for (ending in "/"). Throws
// EipsHTTPS(271, "The certificate store could not be opened.") for a name that cannot be
// a folder name ("", ".", "..", or one with "/").
std::string CertificateStoreFolder(const std::string& store);

// Opens store and searches it for subject. Returns nullptr when no certificate fits.
// Throws EipsHTTPS(271, "The certificate store could not be opened.") when the store is
// missing or unreadable. A certificate found stays known by store and its full subject
// while the caller holds it, so UseClientCertificate presents that same certificate.
std::shared_ptr<const TClientCertificate> FindClientCertificate(const std::string& store,
                                                                const std::string& subject);

// Makes credentials present the certificate held for store and subject, or else the one
// FindClientCertificate finds. Returns false when there is none; throws as it does.
bool UseClientCertificate(SSL_CTX* credentials, const std::string& store,
                          const std::string& subject);
