#include "https/name_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <system_error>
#include <thread>

#include "common/base/unique_handle.h"
#include "https/socket_errors.h"
#include "https/tcp_layer.h"

namespace {

// Shared by the waiting caller and the lookup thread; whoever leaves last frees it.
// The thread signals its end through an eventfd the caller polls like a socket.
struct TLookup {
    std::string Host;
    in_addr Address{};
    int Code = 0;
    std::atomic<bool> Done{false};  // orders Address and Code for the caller
    TUniqueFd Signal{eventfd(0, EFD_CLOEXEC)};
};

void RunLookup(const std::shared_ptr<TLookup>& lookup) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int eai = getaddrinfo(lookup->Host.c_str(), nullptr, &hints, &found);
    if (eai != 0) {
        lookup->Code = SocketCodeFromLookup(eai, errno);
    } else {
        lookup->Address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }
    lookup->Done.store(true, std::memory_order_release);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(lookup->Signal.Get(), &one, sizeof one);
}

}  // namespace

int ResolveIPv4(const std::string& host, in_addr& address, TLinkContext& context) {
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return 0;
    auto lookup = std::make_shared<TLookup>();
    if (!lookup->Signal) return SocketCodeFromErrno(errno);
    lookup->Host = host;
    try {
        std::thread(RunLookup, lookup).detach();
    } catch (const std::system_error&) {
        RunLookup(lookup);  // no thread to spare: look up in place
    }
    while (!lookup->Done.load(std::memory_order_acquire))
        WaitForSocket(lookup->Signal.Get(), POLLIN, context);
    address = lookup->Address;
    return lookup->Code;
}
