#include "https/tls_client_certificate.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include <cstdio>
#include <memory>

#include "https/ipserror.h"
#include "https/tls_verify.h"

namespace {

constexpr char kPfxPrefix[] = "PFX\\";

[[noreturn]] void StoreUnavailable() {
    ERR_clear_error();
    throw EipsHTTPS(271, "The certificate store could not be opened.");
}

PKCS12* ReadPfx(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    PKCS12* pfx = d2i_PKCS12_fp(file, nullptr);
    std::fclose(file);
    return pfx;
}

}  // namespace

bool UseClientCertificate(SSL_CTX* credentials, const std::string& store,
                          const std::string& subject) {
    if (store.rfind(kPfxPrefix, 0) != 0) StoreUnavailable();
    std::unique_ptr<PKCS12, decltype(&PKCS12_free)> pfx(ReadPfx(store.substr(4)), PKCS12_free);
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    if (!pfx || (!PKCS12_parse(pfx.get(), "", &key, &certificate, &chain) &&
                 !PKCS12_parse(pfx.get(), nullptr, &key, &certificate, &chain)))
        StoreUnavailable();
    bool found = false;
    if (certificate && key) {
        std::string text = X500NameText(X509_get_subject_name(certificate));
        found = text == subject || text.find(subject) != std::string::npos;
    }
    if (found) {
        SSL_CTX_use_certificate(credentials, certificate);
        SSL_CTX_use_PrivateKey(credentials, key);
        for (int i = 0; chain && i < sk_X509_num(chain); ++i)
            SSL_CTX_add1_chain_cert(credentials, sk_X509_value(chain, i));
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    sk_X509_pop_free(chain, X509_free);
    ERR_clear_error();
    return found;
}
