#pragma once

// libcurl, loaded when the platform HTTP path first needs it: programs that never take that
// path start without the library and the many libraries it brings in.

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <string>

struct TCurlLibrary {
    CURLcode (*GlobalInit)(long flags) = nullptr;
    CURL* (*EasyInit)() = nullptr;
    void (*EasyCleanup)(CURL* handle) = nullptr;
    CURLcode (*EasySetopt)(CURL* handle, CURLoption option, ...) = nullptr;
    CURLcode (*EasyGetinfo)(CURL* handle, CURLINFO info, ...) = nullptr;
    CURLcode (*EasyPerform)(CURL* handle) = nullptr;
    curl_slist* (*SlistAppend)(curl_slist* list, const char* text) = nullptr;
    void (*SlistFreeAll)(curl_slist* list) = nullptr;
    // The OpenSSL that libcurl itself uses, found among its own libraries: the context it
    // hands to the SSL context callback belongs to that copy, which need not be this
    // program's (dovrant-http has its own linked in).
    struct {
        X509_STORE* (*StoreNew)() = nullptr;
        int (*StoreSetDefaultPaths)(X509_STORE* store) = nullptr;
        void (*StoreFree)(X509_STORE* store) = nullptr;
        void (*SetCertStore)(SSL_CTX* context, X509_STORE* store) = nullptr;
        X509_VERIFY_PARAM* (*Param)(SSL_CTX* context) = nullptr;
        int (*ParamSetIp)(X509_VERIFY_PARAM* param, const char* address) = nullptr;
        int (*ParamSetHost)(X509_VERIFY_PARAM* param, const char* name, size_t length) = nullptr;
    } Tls;
};

// The shared library's name, with the version of the interface this program was built for.
inline constexpr const char* kCurlLibraryName = "libcurl.so.4";

// The loaded library, initialised once; raises EipsHTTPS 12004 naming the library and the
// loader's reason when it or one of its functions cannot be found.
const TCurlLibrary& Curl();
// The same for another file name (for tests); loads it on every call and never initialises.
TCurlLibrary LoadCurlLibrary(const std::string& name);
