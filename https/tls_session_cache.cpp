#include "https/tls_session_cache.h"

#include <map>
#include <memory>
#include <mutex>

#include "https/tls_handles.h"

namespace {

using TKeptSession = std::unique_ptr<SSL_SESSION, TOpenSslFree<SSL_SESSION_free>>;

// A handful of servers at most; the limit only guards against a caller with many.
constexpr std::size_t kMaxSessions = 64;

std::mutex lock;
std::map<std::string, TKeptSession> sessions;

}  // namespace

SSL_SESSION* RecallSession(const std::string& key) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = sessions.find(key);
    if (found == sessions.end()) return nullptr;
    if (!SSL_SESSION_is_resumable(found->second.get())) {
        sessions.erase(found);
        return nullptr;
    }
    SSL_SESSION_up_ref(found->second.get());
    return found->second.get();
}

void RememberSession(const std::string& key, SSL_SESSION* session) {
    TKeptSession kept(session);
    std::lock_guard<std::mutex> guard(lock);
    if (sessions.size() >= kMaxSessions && !sessions.count(key)) sessions.clear();
    sessions[key] = std::move(kept);
}
