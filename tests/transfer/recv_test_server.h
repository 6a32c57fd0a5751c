#pragma once

// The receive side's test bench: a scripted web mailbox on 127.0.0.1 (port 0, one request
// per connection, HTTP/1.0), the settings of a throw-away installation, and a few helpers to
// build mail.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/main_view.h"
#include "common/base/message_pump.h"
#include "common/base/to_main_thread.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"
#include "common/window_messages.h"
#include "dialup/ras_conn.h"
#include "transfer/recv_thread.h"

// One answer of the mailbox: the bytes sent back, then the connection is closed, unless hold
// keeps it open (silent) until the client goes away. trickle, when set, is called before each
// further byte (at most 1,000, 2 ms apart) until it returns false; it may move the test clock.
struct TReply {
    std::string bytes;
    bool hold = false;
    std::function<bool()> trickle = {};
};

inline TReply Http200(const std::string& body) {
    return {"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
            body};
}

// The mailbox: messages by id, answered through the count, get and del paths that the
// fixture's URL formats use. Script changes any answer: it sees the request path
// ("/count?...", "/get?...&id=A1", "/del?...&id=A1") and may reply instead.
class TRecvTestServer {
  public:
    using TScript = std::function<std::optional<TReply>(const std::string& path)>;

    explicit TRecvTestServer(TScript script = {}) : script_(std::move(script)) {
        std::signal(SIGPIPE, SIG_IGN);
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listen_, 8);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TRecvTestServer() {
        stopping_ = true;
        thread_.join();
        ::close(listen_);
    }

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void AddMessage(const std::string& id, const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.emplace_back(id, body);
    }
    // The calls made, shortened to "count", "get A1", "del A1".
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

  private:
    TReply Answer(const std::string& path) {
        if (script_)
            if (auto reply = script_(path)) return *reply;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto idAt = path.find("&id=");
        const std::string id = idAt == std::string::npos ? "" : path.substr(idAt + 4);
        auto found = std::find_if(messages_.begin(), messages_.end(),
                                  [&](const auto& m) { return m.first == id; });
        if (path.starts_with("/count")) {
            std::string body = std::to_string(messages_.size()) + "/";
            for (const auto& m : messages_) body += m.first + ";";
            return Http200(messages_.empty() ? "0" : body);
        }
        if (found == messages_.end()) return Http200("-103");
        if (path.starts_with("/get")) return Http200(found->second);
        messages_.erase(found);
        return Http200("0");
    }

    // Bounded in loop steps of 50 ms: the head within 10 s, a held connection 30 s, the whole
    // server two minutes.
    void Serve() {
        for (int i = 0; i < 2400 && !stopping_; ++i) {
            pollfd ready{listen_, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0) continue;
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::string head;
            char buffer[4096];
            for (int j = 0; j < 200 && head.find("\r\n\r\n") == std::string::npos; ++j) {
                pollfd peer{fd, POLLIN, 0};
                if (::poll(&peer, 1, 50) <= 0) continue;
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                head.append(buffer, static_cast<size_t>(got));
            }
            const auto start = head.find(' ') + 1;
            const std::string path = head.substr(start, head.find(' ', start) - start);
            std::string call = path.substr(1, path.find('?') - 1);
            if (path.find("&id=") != std::string::npos)
                call += " " + path.substr(path.find("&id=") + 4);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                calls_.push_back(call);
            }
            const TReply reply = Answer(path);
            ::send(fd, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL);
            for (int j = 0; reply.trickle && j < 1000 && !stopping_ && reply.trickle(); ++j) {
                if (::send(fd, "x", 1, MSG_NOSIGNAL) <= 0) break;
                ::usleep(2000);
            }
            for (int j = 0; reply.hold && j < 600 && !stopping_; ++j) {
                pollfd peer{fd, POLLIN, 0};
                if (::poll(&peer, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
            }
            ::close(fd);
        }
    }

    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> messages_;
    TScript script_;
    std::vector<std::string> calls_;
    std::thread thread_;
};

// What the receive thread shows on the main window.
class TRecordingView : public IMainView {
  public:
    void SetText(TMainText text, const std::string& value) override {
        if (text == TMainText::ReceiveState) labels.push_back(value);
    }
    void SetProgress(TMainTransfer transfer, bool visible, int position) override {
        if (transfer == TMainTransfer::Receive) progress.emplace_back(visible, position);
    }
    void SetAnimation(TMainTransfer transfer, bool playing) override {
        if (transfer == TMainTransfer::Receive) animating = playing;
    }
    void SetActionState(TMainAction, bool, bool) override {}
    void OpenFolder(const std::string&) override {}
    void ShowAbout() override {}
    void RequestClose() override {}

    std::vector<std::string> labels;
    std::vector<std::pair<bool, int>> progress;
    bool animating = false;
};

// The receive thread run on the calling thread (which then is the main thread as well), its
// operations open to the tests.
class TTestRecvThread : public TRecvThread {
  public:
    explicit TTestRecvThread(IMainView* view = nullptr)
        : TRecvThread(SettingsSnapshot(), view, {}) {}
    void Run() { Execute(); }
};

// A throw-away installation: Inbox, Error and upgrade folders and USER.INI in a temporary
// folder, a level-2 log, the manual clock, a leased line and the mailbox's URL formats.
class TRecvFixture : public ::testing::Test {
  protected:
    static constexpr const char* kPassword = "Pw4-s3cret";

    void SetUp() override {
        clock_.Set(EncodeDate(2024, 1, 15) + EncodeTime(10, 0, 0, 0));
        SetClock(&clock_);
        ProgramInfo = TProgramInfo{};
        ProgramInfo.InboxPath = dir_.Path() + "INBOX/";
        ProgramInfo.ErrorPath = dir_.Path() + "ERROR/";
        ProgramInfo.EmailContentType = "multipart/mixed";
        ProgramInfo.LogLevel = 2;
        ForceDirectories(ProgramInfo.InboxPath);
        ForceDirectories(ProgramInfo.ErrorPath);
        UpgradeDir = dir_.Path() + "UPGRADE/";
        UserIni = std::make_unique<TIniFile>(dir_.Path() + "USER.INI");
        CompanyInfo = {"company@x.y", "LOGIN1", kPassword};
        ConnectionInfo = TConnectionInfo{};
        ConnectionInfo.LeaseLine = true;
        ConnectionInfo.Timeout = 60;
        DebugMode = false;
        InboxLocations.Clear();
        ASSERT_TRUE(OpenLog(dir_.Path() + "LOG/", 2));
        SetMainWindowHandler([this](int message, int, long position) {
            if (message == WM_RECVPROGRESS) progress_.push_back(static_cast<int>(position));
        });
    }
    void TearDown() override {
        SetMainWindowHandler({});
        SetAtomicWriteFault({});
        CloseLog();
        UserIni.reset();
        InboxLocations.Clear();
        SetClock(nullptr);
    }

    // Points the URL formats at server.
    void UseServer(const TRecvTestServer& server) {
        ConnectionInfo.WebMailCounter = server.Base() + "/count?u=%s&l=%s&p=%s";
        ConnectionInfo.WebMailRetriever = server.Base() + "/get?u=%s&l=%s&p=%s&id=%s";
        ConnectionInfo.WebMailDelete = server.Base() + "/del?u=%s&l=%s&p=%s&id=%s";
    }
    // One receive run on this thread; posted progress messages are delivered after it.
    void Receive(IMainView* view = nullptr) {
        TTestRecvThread thread(view);
        thread.Run();
        PumpMessages(0);
    }

    std::vector<std::string> Log() const { return LogMessages(LogFileName()); }
    bool Logged(const std::string& line) const {
        const auto lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    long CountLogged(const std::string& line) const {
        const auto lines = Log();
        return std::count(lines.begin(), lines.end(), line);
    }
    static std::vector<std::string> Names(const std::string& folder) { return FolderNames(folder); }

    TTempDir dir_;
    TManualClock clock_;
    std::vector<int> progress_;
};

inline std::string Base64(const std::string& bytes) {
    static const char* const digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

// A multipart/mixed mail: text lines first, then each attachment base64-encoded.
inline std::string MakeMail(const std::string& subject, const std::vector<std::string>& text,
                            const std::vector<std::pair<std::string, std::string>>& files) {
    std::string mail = "From: Service <service@x.y>\r\nSubject: " + subject +
                       "\r\nMessage-ID: <m1@x.y>\r\n"
                       "Content-Type: multipart/mixed; boundary=\"BND\"\r\n\r\n"
                       "--BND\r\nContent-Type: text/plain\r\n\r\n";
    for (const std::string& line : text) mail += line + "\r\n";
    for (const auto& [name, bytes] : files)
        mail +=
            "--BND\r\nContent-Type: application/octet-stream\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"" +
            name + "\"\r\n\r\n" + Base64(bytes) + "\r\n";
    return mail + "--BND--\r\n";
}
