#include "https/platform_http.h"

#include <arpa/inet.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "common/base/clock.h"
#include "common/base/message_pump.h"
#include "common/base/text.h"
#include "https/curl_library.h"
#include "https/platform_http_errors.h"
#include "https/request_engine_file.h"
#include "https/tls_trust_store.h"

namespace {

const char* const kSchemeText = "Specified URLScheme is invalid.";
const char* const kServerText = "No server specified in URL";
const char* const kAttachedFileText = "Can't open attached file for reading.";
const char* const kLocalFileText = "Can't open local file for writing.";
const char* const kAppendText = "Error appending to TransferredData.";
const char* const kIntermediateText =
    "Received an intermediate (100 level) status code message from the server.";
constexpr int kWaitStepMs = 10;

// The progress of one request as OnSSLStatus reports it, in the order it is reached.
enum class TStage {
    None,
    LookingUp,
    Resolved,
    Connecting,
    Connected,
    Sending,
    Sent,
    Waiting,
    Received,
};
constexpr const char* kStageTexts[] = {
    "",
    "Looking up the IP address",
    "Successfully found the IP address",
    "Connecting to the socket address",
    "Successfully connected to",
    "Sending the information request to the server.",
    "Successfully sent the information request to the server.",
    "Waiting for the server to respond to the request.",
    "Successfully received a response from the server.",
};
const char* const kClosingText = "Closing the connection to the server.";
const char* const kClosedText = "Successfully closed the connection to the server.";

// The hand-over from the worker to the calling thread: the worker offers one call at a time
// and waits until the calling thread has run it; once the transfer is being ended no call
// is taken any more and the worker's callbacks tell libcurl to stop.
class TEventChannel {
  public:
    // Worker: false when the transfer is being ended (the call did not run).
    bool Raise(std::function<void()> call) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (aborted_) return false;
        pending_ = std::move(call);
        const uint64_t ticket = ++raised_;
        changed_.notify_all();
        while (done_ < ticket && !aborted_)
            Clock().WaitFor(changed_, lock, kWaitStepMs,
                            [&] { return done_ >= ticket || aborted_; });
        return !aborted_;
    }
    // Worker: the transfer is over.
    void Finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    // Calling thread: one wait step for a call or the end.
    std::function<void()> Take(int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        Clock().WaitFor(changed_, lock, ms, [this] { return pending_ || finished_; });
        return std::exchange(pending_, {});
    }
    // Calling thread: the taken call has run.
    void Done() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++done_;
        changed_.notify_all();
    }
    bool Finished() {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_ && !pending_;
    }
    void Abort() {
        std::lock_guard<std::mutex> lock(mutex_);
        aborted_ = true;
        pending_ = {};
        changed_.notify_all();
    }
    bool Aborted() const { return aborted_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> pending_;
    uint64_t raised_ = 0;
    uint64_t done_ = 0;
    bool finished_ = false;
    std::atomic<bool> aborted_{false};
};

struct TCurlHandle {
    CURL* Handle = nullptr;
    curl_slist* Headers = nullptr;
    ~TCurlHandle() {
        if (Headers) Curl().SlistFreeAll(Headers);
        if (Handle) Curl().EasyCleanup(Handle);
    }
};

// The response head as the worker collects it: the last status line and its header lines
// (an intermediate or an authentication answer is replaced by the one that follows).
struct TResponseHead {
    std::string StatusLine;
    std::vector<std::string> Lines;
};

std::string TargetURL(const TURLParts& target) {
    std::string server = target.Server;
    if (server.find(':') != std::string::npos && !server.starts_with("["))
        server = "[" + server + "]";
    std::string path = target.Path.empty() ? "/" : target.Path;
    if (!path.starts_with("/")) path = "/" + path;
    return LowerCase(target.Scheme) + "://" + server + ":" + std::to_string(target.Port) + path;
}

// One action on the platform path: set up on the calling thread, performed by the worker,
// its events raised on the calling thread.
class TPlatformTransfer {
  public:
    TPlatformTransfer(TipshttpsActions action, const TPlatformTransferContext& context)
        : action_(action), context_(context), settings_(*context.Settings) {}

    int Run();

  private:
    // Calling thread.
    void ReadBody();
    void Configure();
    void RaiseHead(const TResponseHead& head);
    void TakePiece(const std::string& piece);
    [[noreturn]] void FailLocalFile();
    void Status(const char* text);
    template <typename Event, typename... Args>
    void Fire(const Event& event, Args&&... args) {
        if (event) event(context_.Sender, std::forward<Args>(args)...);
        context_.CheckAbort();
    }

    // Worker thread.
    void Perform();
    bool Reach(TStage stage);
    bool FlushHead();
    static size_t OnCurlHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnCurlWrite(char* data, size_t size, size_t count, void* self);
    static int OnCurlProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int OnCurlDebug(CURL*, curl_infotype type, char*, size_t, void* self);
    static curl_socket_t OnCurlOpenSocket(void* self, curlsocktype, curl_sockaddr* address);
    static CURLcode OnCurlSSLContext(CURL*, void* sslContext, void*);

    TipshttpsActions action_;
    const TPlatformTransferContext& context_;
    const TRequestSettings& settings_;
    TEventChannel channel_;
    TCurlHandle curl_;
    std::string body_;
    std::unique_ptr<TLocalFileWriter> localFile_;
    int64_t bodyBytes_ = 0;

    // Worker's own state.
    TStage stage_ = TStage::None;
    TResponseHead head_;
    bool headRaised_ = false;
    CURLcode result_ = CURLE_OK;
    long verifyResult_ = 0;
    std::exception_ptr workerFailure_;
};

int TPlatformTransfer::Run() {
    const TURLParts& target = settings_.Target;
    if (!SameText(target.Scheme, "http") && !SameText(target.Scheme, "https"))
        throw EipsHTTPS(153, kSchemeText);
    if (target.Server.empty()) throw EipsHTTPS(152, kServerText);
    curl_.Handle = Curl().EasyInit();
    if (!curl_.Handle) throw EipsHTTPS(12001, DescribePlatformError(12001));
    if (action_ == httpPost || action_ == httpPut) ReadBody();
    Configure();
    if (!settings_.LocalFile.empty())
        localFile_ = std::make_unique<TLocalFileWriter>(settings_.LocalFile);

    std::thread worker([this] { Perform(); });
    std::exception_ptr failure;
    bool waitFailed = false;
    for (;;) {
        if (std::function<void()> call = channel_.Take(kWaitStepMs)) {
            try {
                call();
            } catch (...) {
                if (!failure) failure = std::current_exception();
                channel_.Abort();
            }
            channel_.Done();
        }
        if (channel_.Finished()) break;
        if (channel_.Aborted()) continue;
        try {
            PumpMessages(0);
            context_.CheckAbort();
        } catch (...) {
            // The worker is never killed: its next libcurl callback ends the transfer.
            context_.ClearBusy();
            waitFailed = true;
            channel_.Abort();
        }
    }
    worker.join();

    if (failure) std::rethrow_exception(failure);
    if (waitFailed) return 301;
    if (workerFailure_) std::rethrow_exception(workerFailure_);
    if (result_ != CURLE_OK) {
        const int code = PlatformCodeFromCurl(result_, verifyResult_);
        throw EipsHTTPS(code, DescribePlatformError(code));
    }
    if (!headRaised_) RaiseHead(head_);
    Status(kClosingText);
    Status(kClosedText);
    Fire(context_.Events->OnEndTransfer, 1);
    if (localFile_ && localFile_->IsOpen() && !localFile_->Close()) FailLocalFile();
    Fire(context_.Events->OnDisconnected, 0, std::string("OK"));
    return 0;
}

// The in-memory post data (none on this component) followed by the whole attached file.
void TPlatformTransfer::ReadBody() {
    if (settings_.AttachedFile.empty()) return;
    struct stat info {};
    std::ifstream file(settings_.AttachedFile, std::ios::binary);
    if (!file || ::stat(settings_.AttachedFile.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        throw EipsHTTPS(302, kAttachedFileText);
    body_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) throw EipsHTTPS(302, kAttachedFileText);
}

void TPlatformTransfer::Configure() {
    const TCurlLibrary& curl = Curl();
    CURL* h = curl_.Handle;
    const std::string url = TargetURL(settings_.Target);
    curl.EasySetopt(h, CURLOPT_URL, url.c_str());
    curl.EasySetopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.EasySetopt(h, CURLOPT_NOSIGNAL, 1L);
    curl.EasySetopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    // libcurl keeps no cache, so the reload and no-cache flags need nothing; the cookie
    // engine is on (in memory, for this action only).
    curl.EasySetopt(h, CURLOPT_COOKIEFILE, "");
    if (!settings_.UserAgent.empty())
        curl.EasySetopt(h, CURLOPT_USERAGENT, settings_.UserAgent.c_str());
    if (!settings_.LocalHost.empty())
        curl.EasySetopt(h, CURLOPT_INTERFACE, settings_.LocalHost.c_str());
    if (!settings_.Target.User.empty()) {
        curl.EasySetopt(h, CURLOPT_USERNAME, settings_.Target.User.c_str());
        curl.EasySetopt(h, CURLOPT_PASSWORD, settings_.Target.Password.c_str());
    }

    switch (action_) {
        case httpHead:
            curl.EasySetopt(h, CURLOPT_NOBODY, 1L);
            break;
        case httpPost:
        case httpPut:
            curl.EasySetopt(h, CURLOPT_POST, 1L);
            curl.EasySetopt(h, CURLOPT_POSTFIELDS, body_.data());
            curl.EasySetopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
            if (action_ == httpPut) curl.EasySetopt(h, CURLOPT_CUSTOMREQUEST, "PUT");
            break;
        default:
            curl.EasySetopt(h, CURLOPT_HTTPGET, 1L);
    }

    // The headers in their order, each only when set; an empty one removes libcurl's own.
    auto add = [this, &curl](const std::string& line) {
        curl_slist* list = curl.SlistAppend(curl_.Headers, line.c_str());
        if (!list) throw EipsHTTPS(12001, DescribePlatformError(12001));
        curl_.Headers = list;
    };
    add(settings_.Accept.empty() ? "Accept:" : "Accept: " + settings_.Accept);
    add(settings_.ContentType.empty() ? "Content-Type:" : "Content-Type: " + settings_.ContentType);
    add("Expect:");
    curl.EasySetopt(h, CURLOPT_HTTPHEADER, curl_.Headers);

    // Proxy: none (the environment's settings are ignored too), the system's settings
    // ("*", optionally "*user*password"), or the named one.
    const std::string& proxy = settings_.ProxyServer;
    std::string proxyUser = settings_.ProxyUser;
    std::string proxyPassword = settings_.ProxyPassword;
    if (proxy.empty()) {
        curl.EasySetopt(h, CURLOPT_PROXY, "");
    } else if (proxy.starts_with("*")) {
        const size_t star = proxy.find('*', 1);
        if (star != std::string::npos) {
            proxyUser = proxy.substr(1, star - 1);
            proxyPassword = proxy.substr(star + 1);
        }
    } else {
        const std::string named = proxy + ":" + std::to_string(settings_.ProxyPort);
        curl.EasySetopt(h, CURLOPT_PROXY, named.c_str());
    }
    if (!proxyUser.empty()) {
        curl.EasySetopt(h, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
        curl.EasySetopt(h, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
    }
    curl.EasySetopt(h, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    curl.EasySetopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    // The process's trust store (SSL_CERT_FILE / SSL_CERT_DIR honoured) instead of the
    // bundle libcurl was built with.
    curl.EasySetopt(h, CURLOPT_CAINFO, nullptr);
    curl.EasySetopt(h, CURLOPT_CAPATH, nullptr);
    curl.EasySetopt(h, CURLOPT_SSL_CTX_FUNCTION, OnCurlSSLContext);
    curl.EasySetopt(h, CURLOPT_SSL_CTX_DATA, this);

    curl.EasySetopt(h, CURLOPT_HEADERFUNCTION, OnCurlHeader);
    curl.EasySetopt(h, CURLOPT_HEADERDATA, this);
    curl.EasySetopt(h, CURLOPT_WRITEFUNCTION, OnCurlWrite);
    curl.EasySetopt(h, CURLOPT_WRITEDATA, this);
    curl.EasySetopt(h, CURLOPT_NOPROGRESS, 0L);
    curl.EasySetopt(h, CURLOPT_XFERINFOFUNCTION, OnCurlProgress);
    curl.EasySetopt(h, CURLOPT_XFERINFODATA, this);
    curl.EasySetopt(h, CURLOPT_VERBOSE, 1L);
    curl.EasySetopt(h, CURLOPT_DEBUGFUNCTION, OnCurlDebug);
    curl.EasySetopt(h, CURLOPT_DEBUGDATA, this);
    curl.EasySetopt(h, CURLOPT_OPENSOCKETFUNCTION, OnCurlOpenSocket);
    curl.EasySetopt(h, CURLOPT_OPENSOCKETDATA, this);
}

void TPlatformTransfer::Status(const char* text) {
    Fire(context_.Events->OnSSLStatus, std::string(text));
}

void TPlatformTransfer::RaiseHead(const TResponseHead& head) {
    const TipsHTTPSEvents& events = *context_.Events;
    Fire(events.OnConnected, 0, std::string("OK"));
    Fire(events.OnStartTransfer, 0);
    Fire(events.OnEndTransfer, 0);
    *context_.StatusLine = head.StatusLine;
    for (const std::string& line : head.Lines) {
        context_.HeaderText->append(line + "\r\n");
        std::string field, value;
        SplitHeaderLine(line, field, value);
        Fire(events.OnHeader, field, value);
    }
    Fire(events.OnStartTransfer, 1);
}

void TPlatformTransfer::TakePiece(const std::string& piece) {
    bodyBytes_ += static_cast<int64_t>(piece.size());
    const TipsHTTPSEvents& events = *context_.Events;
    if (localFile_) {
        if (!localFile_->IsOpen() && !localFile_->Open()) {
            if (events.OnError) events.OnError(context_.Sender, 0, kLocalFileText);
            throw EipsHTTPS(302, kLocalFileText);
        }
        if (!localFile_->Write(piece)) FailLocalFile();
    }
    std::string& data = *context_.TransferredData;
    const size_t cap = settings_.MaxTransferredData > 0
                           ? static_cast<size_t>(settings_.MaxTransferredData)
                           : std::string::npos;
    const size_t room = cap > data.size() ? cap - data.size() : 0;
    try {
        data.append(piece, 0, std::min(room, piece.size()));
    } catch (const std::bad_alloc&) {
        if (events.OnError) events.OnError(context_.Sender, 200, kAppendText);
    }
    Fire(events.OnTransfer, 1, bodyBytes_, piece);
}

void TPlatformTransfer::FailLocalFile() {
    const std::string text =
        std::string("Error writing to LocalFile: ") + std::strerror(localFile_->Error()) + ".";
    if (context_.Events->OnError) context_.Events->OnError(context_.Sender, 302, text);
    throw EipsHTTPS(302, text);
}

void TPlatformTransfer::Perform() {
    try {
        if (Reach(TStage::LookingUp)) {
            result_ = Curl().EasyPerform(curl_.Handle);
            Curl().EasyGetinfo(curl_.Handle, CURLINFO_SSL_VERIFYRESULT, &verifyResult_);
        }
    } catch (...) {
        workerFailure_ = std::current_exception();
    }
    channel_.Finish();
}

// Raises the status texts up to stage that were not raised yet; false when the transfer
// is being ended.
bool TPlatformTransfer::Reach(TStage stage) {
    std::vector<const char*> texts;
    while (stage_ < stage) {
        stage_ = static_cast<TStage>(static_cast<int>(stage_) + 1);
        texts.push_back(kStageTexts[static_cast<int>(stage_)]);
    }
    if (texts.empty()) return !channel_.Aborted();
    return channel_.Raise([this, texts] {
        for (const char* text : texts) Status(text);
    });
}

bool TPlatformTransfer::FlushHead() {
    if (headRaised_) return !channel_.Aborted();
    headRaised_ = true;
    return channel_.Raise([this, head = head_] { RaiseHead(head); });
}

size_t TPlatformTransfer::OnCurlHeader(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<TPlatformTransfer*>(self);
    const size_t length = size * count;
    try {
        std::string line(data, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        TResponseHead& head = transfer.head_;
        if (line.starts_with("HTTP/")) {
            if (!transfer.Reach(TStage::Received)) return 0;
            head.StatusLine = line;
            head.Lines.clear();
        } else if (line.empty()) {
            if (StatusCodeText(head.StatusLine).starts_with("1") &&
                !transfer.channel_.Raise([&transfer] { transfer.Status(kIntermediateText); }))
                return 0;
        } else {
            head.Lines.push_back(line);
        }
        return length;
    } catch (...) {
        return 0;
    }
}

size_t TPlatformTransfer::OnCurlWrite(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<TPlatformTransfer*>(self);
    const size_t length = size * count;
    try {
        if (!transfer.FlushHead()) return 0;
        for (size_t at = 0; at < length; at += kPlatformBodyPiece) {
            std::string piece(data + at, std::min(kPlatformBodyPiece, length - at));
            if (!transfer.channel_.Raise(
                    [&transfer, piece = std::move(piece)] { transfer.TakePiece(piece); }))
                return 0;
        }
        return length;
    } catch (...) {
        return 0;
    }
}

// Also the place where a transfer that is being ended stops: libcurl calls it often while
// data flows and about once a second while a peer is silent.
int TPlatformTransfer::OnCurlProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<TPlatformTransfer*>(self);
    if (transfer.channel_.Aborted()) return 1;
    try {
        curl_off_t connected = 0;
        Curl().EasyGetinfo(transfer.curl_.Handle, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected > 0 && !transfer.Reach(TStage::Connected)) return 1;
    } catch (...) {
        return 1;
    }
    return 0;
}

int TPlatformTransfer::OnCurlDebug(CURL*, curl_infotype type, char*, size_t, void* self) {
    auto& transfer = *static_cast<TPlatformTransfer*>(self);
    try {
        if (type == CURLINFO_HEADER_OUT) transfer.Reach(TStage::Waiting);
    } catch (...) {
    }
    return 0;
}

curl_socket_t TPlatformTransfer::OnCurlOpenSocket(void* self, curlsocktype,
                                                  curl_sockaddr* address) {
    auto& transfer = *static_cast<TPlatformTransfer*>(self);
    try {
        if (!transfer.Reach(TStage::Connecting)) return CURL_SOCKET_BAD;
    } catch (...) {
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// The chain verification also checks the host name, so a certificate for another host
// ends the handshake with its own verdict (libcurl's later check reports no reason).
CURLcode TPlatformTransfer::OnCurlSSLContext(CURL*, void* sslContext, void* self) {
    auto& transfer = *static_cast<TPlatformTransfer*>(self);
    auto* context = static_cast<SSL_CTX*>(sslContext);
    const auto& tls = Curl().Tls;
    X509_STORE* store = SharedTrustStore({tls.StoreNew, tls.StoreSetDefaultPaths, tls.StoreFree});
    if (!store) return CURLE_SSL_CACERT_BADFILE;
    tls.SetCertStore(context, store);
    const std::string& host = transfer.settings_.Target.Server;
    X509_VERIFY_PARAM* check = tls.Param(context);
    in6_addr address{};
    const bool literal = ::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
                         ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
    const int set = literal ? tls.ParamSetIp(check, host.c_str())
                            : tls.ParamSetHost(check, host.c_str(), host.size());
    return set == 1 ? CURLE_OK : CURLE_SSL_CONNECT_ERROR;
}

}  // namespace

int RunPlatformTransfer(TipshttpsActions action, const TPlatformTransferContext& context) {
    TPlatformTransfer transfer(action, context);
    return transfer.Run();
}
