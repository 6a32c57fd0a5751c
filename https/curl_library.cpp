#include "https/curl_library.h"

#include <dlfcn.h>

#include <mutex>

#include "https/ipserror.h"

namespace {

[[noreturn]] void Missing(const std::string& name, const char* reason) {
    throw EipsHTTPS(12004, "The platform HTTP library " + name +
                               " could not be loaded: " + (reason ? reason : "unknown reason") +
                               ". Install libcurl4 or use the built-in HTTPS client.");
}

template <class TFunction>
void Bind(void* library, const std::string& name, const char* symbol, TFunction& function) {
    void* address = ::dlsym(library, symbol);
    if (!address) Missing(name, ::dlerror());
    function = reinterpret_cast<TFunction>(address);
}

}  // namespace

TCurlLibrary LoadCurlLibrary(const std::string& name) {
    // Never closed: libcurl keeps global state and may have started threads.
    void* library = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) Missing(name, ::dlerror());
    TCurlLibrary curl;
    Bind(library, name, "curl_global_init", curl.GlobalInit);
    Bind(library, name, "curl_easy_init", curl.EasyInit);
    Bind(library, name, "curl_easy_cleanup", curl.EasyCleanup);
    Bind(library, name, "curl_easy_setopt", curl.EasySetopt);
    Bind(library, name, "curl_easy_getinfo", curl.EasyGetinfo);
    Bind(library, name, "curl_easy_perform", curl.EasyPerform);
    Bind(library, name, "curl_slist_append", curl.SlistAppend);
    Bind(library, name, "curl_slist_free_all", curl.SlistFreeAll);
    // A handle's lookup searches the library and then the libraries it needs.
    Bind(library, name, "X509_STORE_new", curl.Tls.StoreNew);
    Bind(library, name, "X509_STORE_set_default_paths", curl.Tls.StoreSetDefaultPaths);
    Bind(library, name, "X509_STORE_free", curl.Tls.StoreFree);
    Bind(library, name, "SSL_CTX_set1_cert_store", curl.Tls.SetCertStore);
    Bind(library, name, "SSL_CTX_get0_param", curl.Tls.Param);
    Bind(library, name, "X509_VERIFY_PARAM_set1_ip_asc", curl.Tls.ParamSetIp);
    Bind(library, name, "X509_VERIFY_PARAM_set1_host", curl.Tls.ParamSetHost);
    return curl;
}

const TCurlLibrary& Curl() {
    static std::mutex lock;
    static TCurlLibrary loaded;
    static bool ready = false;
    // A failed load is tried again by the next action: the library may be installed since.
    std::lock_guard<std::mutex> guard(lock);
    if (!ready) {
        loaded = LoadCurlLibrary(kCurlLibraryName);
        loaded.GlobalInit(CURL_GLOBAL_DEFAULT);
        ready = true;
    }
    return loaded;
}
