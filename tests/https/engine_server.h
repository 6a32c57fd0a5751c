#pragma once

// A tiny scriptable HTTP server on 127.0.0.1 for the engine tests: it accepts connections
// on a free port, reads each request (head and Content-Length body), records its bytes and
// hands the socket to the test's handler, which answers as scripted.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/real_time.h"

class TTestServer {
  public:
    using THandler = std::function<void(int fd, const std::string& request)>;

    // With readBody false the handler gets the socket as soon as the head has arrived.
    explicit TTestServer(THandler handler, int connections = 1, bool readBody = true)
        : handler_(std::move(handler)), connections_(connections), readBody_(readBody) {
        std::signal(SIGPIPE, SIG_IGN);
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 8);
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~TTestServer() {
        stopping_ = true;
        thread_.join();
        ::close(listen_);
    }

    uint16_t Port() const { return port_; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // The request with this index, waiting (5 s at most) until it has been read.
    std::string Request(size_t index = 0) const {
        const int64_t until = RealMs() + 5000;
        for (;;) {
            auto all = Requests();
            if (index < all.size()) return all[index];
            if (RealMs() > until) return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    static void SendAll(int fd, std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) return;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
    }

    // Waits until the client goes away (30 s at most), reading what it still sends.
    static void WaitForEnd(int fd) {
        const int64_t until = RealMs() + 30000;
        while (RealMs() < until) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) > 0) {
                char buffer[65536];
                if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
            }
        }
    }

    // A handler that sends the given response and closes.
    static THandler Reply(std::string response) {
        return [response](int fd, const std::string&) { SendAll(fd, response); };
    }

  private:
    // Reads the head and as many body bytes as Content-Length announces (10 s at most).
    std::string ReadRequest(int fd) const {
        std::string bytes;
        const int64_t until = RealMs() + 10000;
        size_t wanted = std::string::npos;
        while (RealMs() < until) {
            if (wanted == std::string::npos) {
                const size_t end = bytes.find("\r\n\r\n");
                if (end != std::string::npos) {
                    wanted = end + 4;
                    const size_t length = bytes.find("Content-Length: ");
                    if (readBody_ && length != std::string::npos && length < end)
                        wanted += std::strtoull(bytes.c_str() + length + 16, nullptr, 10);
                }
            }
            if (wanted != std::string::npos && bytes.size() >= wanted) break;
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0) continue;
            char buffer[65536];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            bytes.append(buffer, static_cast<size_t>(got));
        }
        return bytes;
    }

    void Serve() {
        const int64_t until = RealMs() + 60000;
        int served = 0;
        while (served < connections_ && !stopping_ && RealMs() < until) {
            pollfd ready{listen_, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0) continue;
            const int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0) continue;
            ++served;
            const std::string request = ReadRequest(fd);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
            }
            handler_(fd, request);
            ::close(fd);
        }
    }

    THandler handler_;
    int connections_;
    bool readBody_;
    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
