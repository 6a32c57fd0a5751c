// One request and its response over a connection stack: connect, send the head and the
// attached file, read the answer, close.

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "https/request_engine.h"
#include "https/request_head.h"
#include "https/socket_errors.h"

namespace {

const char* const kAttachedFileText = "Can't open attached file for reading.";
const char* const kFileReadText = "Can't open file for reading.";
const char* const kLocalFileText = "Can't open local file for writing.";
const char* const kHeadTooLargeText = "The response headers are larger than 256 KB.";
const char* const kUnsafeURLText =
    "The URL contains a control character, or a blank in its host name.";
constexpr size_t kReceiveBuffer = 256 * 1024;

bool IsSocketError(int code) { return code >= 10000 && code < 12000; }

bool HasControl(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// A URL chosen by a server (a redirect, a message id in a path) must not be able to end the
// request line and add header lines of its own.
bool UnsafeURL(const TURLParts& target) {
    return HasControl(target.URL) || HasControl(target.Scheme) || HasControl(target.Server) ||
           HasControl(target.Path) || target.Server.find(' ') != std::string::npos;
}

const char* MethodOf(TipshttpsActions action) {
    switch (action) {
        case httpPost:
            return "POST";
        case httpHead:
            return "HEAD";
        case httpPut:
            return "PUT";
        default:
            return "GET";
    }
}

}  // namespace

int TRequestEngine::Transfer(TipshttpsActions action) {
    const TURLParts& target = Settings.Target;
    if (UnsafeURL(target)) throw EipsHTTPS(153, kUnsafeURLText);
    if (target.Server.empty()) throw EipsHTTPS(152, "No server specified in URL");
    const bool proxy = !Settings.ProxyServer.empty();
    const bool tunnel = proxy && Settings.ProxySSL == psTunnel;
    const bool throughProxy = proxy && !tunnel;
    if (!throughProxy && !SameText(target.Scheme, kDefaultScheme) &&
        !SameText(target.Scheme, "http"))
        throw EipsHTTPS(153, "Specified URLScheme is invalid.");

    TConnectionSettings settings;
    settings.FirewallType = static_cast<TFirewallKind>(Settings.FirewallType);
    settings.FirewallHost = Settings.FirewallHost;
    settings.FirewallPort = Settings.FirewallPort;
    settings.FirewallUser = Settings.FirewallUser;
    settings.FirewallPassword = Settings.FirewallPassword;
    settings.UseTLS = SameText(target.Scheme, "https");
    if (proxy && Settings.ProxySSL == psAlways) settings.UseTLS = true;
    if (proxy && Settings.ProxySSL == psNever) settings.UseTLS = false;
    if (tunnel) {
        settings.FirewallType = TFirewallKind::Tunnel;
        settings.FirewallHost = Settings.ProxyServer;
        settings.FirewallPort = Settings.ProxyPort;
    }
    settings.SSLCertStore = Settings.SSLCertStore;
    settings.SSLCertSubject = Settings.SSLCertSubject;
    settings.LocalHost = Settings.LocalHost;
    if (!Settings.SocketsLoaded) throw EipsHTTPS(10093, "");

    if (throughProxy)
        Connect(Settings.ProxyServer, Settings.ProxyPort, settings);
    else
        Connect(target.Server, target.Port, settings);

    reader_ = std::make_unique<TResponseReader>(Settings.FollowRedirects != frNever);
    TResponseEvents& events = reader_->Events;
    events.Header = [this](const std::string& field, const std::string& value) {
        if (events_.OnHeader) events_.OnHeader(&sender_, field, value);
        CheckAbort();
    };
    events.SetCookie = [this](const TSetCookie& c) {
        if (events_.OnSetCookie)
            events_.OnSetCookie(&sender_, c.Name, c.Value, c.Expires, c.Domain, c.Path, c.Secure);
        CheckAbort();
    };
    events.StartTransfer = [this] {
        if (events_.OnStartTransfer) events_.OnStartTransfer(&sender_, 1);
        CheckAbort();
    };
    events.Body = [this](std::string_view piece) { TakeBodyPiece(piece); };
    localFile_.reset();
    if (!Settings.LocalFile.empty())
        localFile_ = std::make_unique<TLocalFileWriter>(Settings.LocalFile);

    // StatusLine and the headers survive a failure, so keep them whatever happens.
    auto keepResponse = [this] {
        statusLine_ = reader_->StatusLine();
        headerText_ = reader_->HeaderText();
    };
    int result = 0;
    try {
        // An answer that comes while the request is going out is judged by its status line
        // only; its events wait until the request's own have fired.
        reader_->Hold();
        try {
            result = SendRequest(action, throughProxy);
        } catch (const EipsHTTPS& error) {
            if (!IsSocketError(error.Code) || !RefusalAfterFailedSend()) throw;
            result = 151;
        }
        TakeResponseBytes(reader_->Release());
        keepResponse();
        if (result == 0)
            ReadResponse(action);
        else
            CloseConnection(0);
    } catch (const EipsHTTPS& error) {
        keepResponse();
        CloseConnection(IsSocketError(error.Code) ? error.Code : 0);
        throw;
    }
    keepResponse();
    return result;
}

void TRequestEngine::Connect(const std::string& host, uint16_t port,
                             const TConnectionSettings& settings) {
    try {
        connection_ = BuildConnectionStack(settings, context_);
        connection_->Connect(host, port);
    } catch (const EipsHTTPS& error) {
        Drop();
        if (error.Code != 301 && events_.OnConnected)
            events_.OnConnected(&sender_, error.Code, DescribeErrorCode(error.Code));
        throw;
    }
    connected_ = true;
    // The head and the first body piece are separate writes; do not let the second one
    // wait for the acknowledgement of the first.
    const int fd = connection_->Socket();
    const int one = 1;
    if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (events_.OnConnected) events_.OnConnected(&sender_, 0, "OK");
    CheckAbort();
}

int TRequestEngine::SendRequest(TipshttpsActions action, bool throughProxy) {
    TRequestHead head;
    head.Method = MethodOf(action);
    head.Target = &Settings.Target;
    head.ThroughProxy = throughProxy;
    head.ProxyUser = Settings.ProxyUser;
    head.ProxyPassword = Settings.ProxyPassword;
    head.Accept = Settings.Accept;
    head.UserAgent = Settings.UserAgent;
    std::string bytes = BuildRequestHead(head);
    if (action == httpGet || action == httpHead) {
        connection_->Send(bytes + BuildRequestEnd({}, std::nullopt));
        return 0;
    }

    TUniqueFd file;
    uint64_t length = 0;
    if (!Settings.AttachedFile.empty()) {
        struct stat info {};
        file.Reset(::open(Settings.AttachedFile.c_str(), O_RDONLY | O_CLOEXEC));
        if (!file || ::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
            connection_->Send(bytes);
            throw EipsHTTPS(302, kAttachedFileText);
        }
        length = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    }
    connection_->Send(bytes + BuildRequestEnd(Settings.ContentType, length));
    if (length == 0) return 0;
    return SendAttachedFile(file.Get(), length);
}

int TRequestEngine::SendAttachedFile(int fd, uint64_t length) {
    if (events_.OnStartTransfer) events_.OnStartTransfer(&sender_, 0);
    CheckAbort();
    std::string piece(kFilePiece, '\0');
    uint64_t sent = 0;
    while (sent < length) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kFilePiece, length - sent));
        ssize_t got;
        do {
            got = ::read(fd, piece.data(), want);
        } while (got < 0 && errno == EINTR);
        // The file shrank or cannot be read: the promised length can no longer be kept.
        if (got <= 0) throw EipsHTTPS(302, kFileReadText);
        connection_->Send(std::string_view(piece.data(), static_cast<size_t>(got)));
        sent += static_cast<uint64_t>(got);
        if (events_.OnTransfer) events_.OnTransfer(&sender_, 0, static_cast<int64_t>(sent), {});
        CheckAbort();
        if (EarlyFailureStatus()) return 151;
    }
    if (events_.OnEndTransfer) events_.OnEndTransfer(&sender_, 0);
    CheckAbort();
    return 0;
}

// A server may answer (and refuse) before the whole body is sent. Only bytes already at hand
// are taken, so TLS records that carry no answer (session tickets) never hold the upload up.
bool TRequestEngine::EarlyFailureStatus() {
    // Once the status line is known there is nothing more to learn before the request ends.
    if (reader_->State() != TReaderState::StatusLine) return Refused();
    char buffer[4096];
    const std::optional<size_t> received = connection_->ReceiveReady(buffer, sizeof buffer);
    if (!received) return false;
    if (*received == 0)
        reader_->Finish();
    else
        TakeResponseBytes(std::string_view(buffer, *received));
    return Refused();
}

bool TRequestEngine::Refused() const {
    const std::string& status = reader_->StatusLine();
    return reader_->State() != TReaderState::StatusLine && !status.empty() &&
           !StatusCodeText(status).starts_with("2");
}

// A server that refuses an upload may close at once, and the unread body makes its side
// reset the connection: the next send fails, but the answer sent before the reset is still
// waiting to be read.
bool TRequestEngine::RefusalAfterFailedSend() {
    char buffer[4096];
    try {
        while (reader_->State() == TReaderState::StatusLine) {
            const std::optional<size_t> received = connection_->ReceiveReady(buffer, sizeof buffer);
            if (!received || *received == 0) break;
            TakeResponseBytes(std::string_view(buffer, *received));
            PumpStep();
        }
    } catch (const EipsHTTPS& error) {
        if (!IsSocketError(error.Code)) throw;  // a TLS alert, say, tells more than the reset
    }
    return Refused();
}

void TRequestEngine::ReadResponse(TipshttpsActions action) {
    // Left unset: a short answer never touches (and so never maps) most of it.
    const auto buffer = std::make_unique_for_overwrite<char[]>(kReceiveBuffer);
    for (;;) {
        size_t received = 0;
        try {
            received = connection_->Receive(buffer.get(), kReceiveBuffer);
        } catch (const EipsHTTPS& error) {
            // A refusal stands when the server resets the connection after it.
            if (!IsSocketError(error.Code) || !Refused()) throw;
        }
        if (received == 0) break;
        TakeResponseBytes(std::string_view(buffer.get(), received));
        PumpStep();
    }
    reader_->Finish();
    if (BodyCutShort(action)) {
        const std::string received = std::to_string(reader_->BodyBytes());
        const std::string text =
            std::string(connection_->EndedWithoutCloseNotify()
                            ? "The server closed the secure connection without close notify"
                            : "The server closed the connection") +
            (reader_->Chunked()
                 ? " before the last chunk of the body, after " + received + " body bytes."
                 : " after " + received + " of " + std::to_string(*reader_->ContentLength()) +
                       " body bytes.");
        if (events_.OnError) events_.OnError(&sender_, 284, text);
        throw EipsHTTPS(284, text);
    }
    // A full disk may show only when the file is closed; the body is not whole then.
    if (localFile_ && !localFile_->Close()) FailLocalFile();
    CloseConnection(0);
}

bool TRequestEngine::BodyCutShort(TipshttpsActions action) const {
    // A close, even a TLS close notify, ends the answer but does not complete it: a server
    // that fails halfway may still close cleanly. Without a length or chunks the close is all
    // there is to go by.
    if (action == httpHead) return false;
    const TReaderState state = reader_->State();
    if (state != TReaderState::Headers && state != TReaderState::Body) return false;
    // Answers that never carry a body, whatever length they announce.
    const std::string code = StatusCodeText(reader_->StatusLine());
    if (code.starts_with("1") || code.starts_with("204") || code.starts_with("304")) return false;
    // Chunks carry their own end; a length beside them counts the framing too.
    if (reader_->Chunked()) return !reader_->LastChunkArrived();
    const std::optional<uint64_t> length = reader_->ContentLength();
    return length && reader_->BodyBytes() < *length;
}

void TRequestEngine::FailLocalFile() {
    const std::string text =
        std::string("Error writing to LocalFile: ") + std::strerror(localFile_->Error()) + ".";
    if (events_.OnError) events_.OnError(&sender_, 302, text);
    throw EipsHTTPS(302, text);
}

void TRequestEngine::TakeResponseBytes(std::string_view bytes) {
    reader_->Feed(bytes);
    if (reader_->State() == TReaderState::TooLarge) throw EipsHTTPS(151, kHeadTooLargeText);
}

void TRequestEngine::TakeBodyPiece(std::string_view piece) {
    if (localFile_) {
        if (!localFile_->IsOpen() && !localFile_->Open()) {
            if (events_.OnError) events_.OnError(&sender_, 0, kLocalFileText);
            throw EipsHTTPS(302, kLocalFileText);
        }
        if (!localFile_->Write(piece)) FailLocalFile();
    }
    const size_t cap = Settings.MaxTransferredData > 0
                           ? static_cast<size_t>(Settings.MaxTransferredData)
                           : std::string::npos;
    const size_t room = cap > transferredData_.size() ? cap - transferredData_.size() : 0;
    try {
        transferredData_.append(piece.substr(0, std::min(room, piece.size())));
    } catch (const std::bad_alloc&) {
        if (events_.OnError) events_.OnError(&sender_, 200, "Error appending to TransferredData.");
    }
    if (events_.OnTransfer)
        events_.OnTransfer(&sender_, 1, static_cast<int64_t>(reader_->BodyBytes()),
                           std::string(piece));
    CheckAbort();
}

void TRequestEngine::CloseConnection(int code) {
    if (!connected_) {
        Drop();
        return;
    }
    connected_ = false;
    connection_->Close();
    if (events_.OnEndTransfer) events_.OnEndTransfer(&sender_, 1);
    if (localFile_) localFile_->Close();
    if (events_.OnDisconnected)
        events_.OnDisconnected(&sender_, code, code ? DescribeErrorCode(code) : "OK");
}

void TRequestEngine::Drop() {
    if (connection_) connection_->Close();
    connection_.reset();
    connected_ = false;
    if (localFile_) localFile_->Close();
}
