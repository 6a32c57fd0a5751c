#include "common/file_digest.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "common/base/unique_handle.h"

TFileDigest FileDigest(const std::string& path) {
    TFileDigest digest;
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return digest;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return digest;
    char buffer[64 * 1024];
    int64_t size = 0;
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return digest;
        if (got == 0) break;
        if (EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(got)) != 1) return digest;
        size += got;
    }
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context.get(), hash, &length) != 1) return digest;
    static const char kHex[] = "0123456789abcdef";
    for (unsigned i = 0; i < length; ++i) {
        digest.Sha256 += kHex[hash[i] >> 4];
        digest.Sha256 += kHex[hash[i] & 15];
    }
    digest.Size = size;
    return digest;
}
