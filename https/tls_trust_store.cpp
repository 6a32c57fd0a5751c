#include "https/tls_trust_store.h"

#include <openssl/err.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace {

using TX509Store = std::unique_ptr<X509_STORE, void (*)(X509_STORE*)>;

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

int SetSystemTrustPaths(X509_STORE* store) {
    X509_LOOKUP* file = X509_STORE_add_lookup(store, X509_LOOKUP_file());
    X509_LOOKUP* folder = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir());
    if (!file || !folder) return 0;
    X509_LOOKUP_load_file(file, nullptr, X509_FILETYPE_DEFAULT);
    X509_LOOKUP_add_dir(folder, nullptr, X509_FILETYPE_DEFAULT);
    ERR_clear_error();  // a missing bundle or folder leaves its reason behind
    return 1;
}

X509_STORE* SharedTrustStore(const TTrustStoreMaker& maker) {
    static std::mutex lock;
    static std::map<std::pair<X509_STORE* (*)(), std::string>, TX509Store> stores;
    const auto key =
        std::make_pair(maker.New, Setting("SSL_CERT_FILE") + '\n' + Setting("SSL_CERT_DIR"));
    std::lock_guard<std::mutex> guard(lock);
    auto found = stores.find(key);
    if (found != stores.end()) return found->second.get();
    TX509Store store(maker.New(), maker.Free);
    if (!store || maker.SetDefaultPaths(store.get()) != 1) return nullptr;
    return stores.emplace(key, std::move(store)).first->second.get();
}
