#pragma once

// Owners of OpenSSL objects: each object is freed on every path out of a scope, so error
// paths need no free calls of their own.

#include <openssl/bio.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

template <auto Free>
struct TOpenSslFree {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};

using TSslContext = std::unique_ptr<SSL_CTX, TOpenSslFree<SSL_CTX_free>>;
using TSslSession = std::unique_ptr<SSL, TOpenSslFree<SSL_free>>;
using TX509 = std::unique_ptr<X509, TOpenSslFree<X509_free>>;
using TX509Name = std::unique_ptr<X509_NAME, TOpenSslFree<X509_NAME_free>>;
using TX509StoreContext = std::unique_ptr<X509_STORE_CTX, TOpenSslFree<X509_STORE_CTX_free>>;
using TPrivateKey = std::unique_ptr<EVP_PKEY, TOpenSslFree<EVP_PKEY_free>>;
using TBio = std::unique_ptr<BIO, TOpenSslFree<BIO_free>>;
using TPkcs12 = std::unique_ptr<PKCS12, TOpenSslFree<PKCS12_free>>;

// A certificate list together with the certificates in it.
struct TX509ListFree {
    void operator()(STACK_OF(X509) * list) const { sk_X509_pop_free(list, X509_free); }
};
using TX509List = std::unique_ptr<STACK_OF(X509), TX509ListFree>;
