#include "https/tls_trust_store.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "https/tls_handles.h"

namespace {

using TX509Store = std::unique_ptr<X509_STORE, TOpenSslFree<X509_STORE_free>>;

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

X509_STORE* SharedTrustStore() {
    static std::mutex lock;
    static std::map<std::string, TX509Store> stores;
    const std::string key = Setting("SSL_CERT_FILE") + '\n' + Setting("SSL_CERT_DIR");
    std::lock_guard<std::mutex> guard(lock);
    auto found = stores.find(key);
    if (found != stores.end()) return found->second.get();
    TX509Store store(X509_STORE_new());
    if (!store || X509_STORE_set_default_paths(store.get()) != 1) return nullptr;
    return stores.emplace(key, std::move(store)).first->second.get();
}
