// One GET of the receive side with its events, its inactivity time-out, and the log lines
// that report it without ever showing a password.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>

#include "common/base/atomic_file.h"
#include "common/base/message_pump.h"
#include "common/base/text.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/window_messages.h"
#include "https/ipshttps.h"
#include "transfer/https_route.h"
#include "transfer/recv_thread.h"
#include "transfer/server_certificate.h"

namespace {

const char* const kHidden = "********";

// The password as it travels in a URL: every byte other than the unreserved ones as %XX.
std::string PercentEncoded(const std::string& text, const char* digits) {
    std::string out;
    for (unsigned char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

void HideAll(std::string& text, const std::string& secret) {
    if (secret.empty()) return;
    for (std::string::size_type at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + 1))
        text.replace(at, secret.size(), kHidden);
}

void Hide(std::string& text, const std::string& password) {
    if (password.empty()) return;
    HideAll(text, password);
    HideAll(text, PercentEncoded(password, "0123456789ABCDEF"));
    HideAll(text, PercentEncoded(password, "0123456789abcdef"));
}

// Writes a raw message whole, its bytes flushed to disk; its folder is flushed with the mark
// before the message's delete goes out.
void WriteKeptCopy(const std::string& path, const std::string& data) {
    TAtomicFile file(path);
    file.Write(data);
    if (::fsync(file.Fd()) != 0)
        throw EAtomicWriteError("Unable to write " + path + ": " + std::strerror(errno), errno);
    file.SetFlushToDisk(false);
    file.Commit();
}

}  // namespace

std::string HidePasswords(const std::string& text) {
    std::string out = text;
    Hide(out, CompanyInfo.Password);
    Hide(out, ConnectionInfo.RecvProxyPassword);
    Hide(out, ConnectionInfo.RecvFirewallPassword);
    return out;
}

void TRecvThread::Log(const std::string& message, int level) const {
    WriteLog(HidePasswords(message), level);
}

bool TRecvThread::GetHttpsMsg(const std::string& url, const std::string& localFile) {
    bool result = false;
    responseText_.clear();
    contentLength_ = 0;

    timeoutTimer_ = std::make_unique<TPumpTimer>();
    const int64_t intervalMs = int64_t{ConnectionInfo.Timeout} * 1000;
    timeoutTimer_->SetInterval(static_cast<int>(std::clamp<int64_t>(intervalMs, 0, INT_MAX)));
    timeoutTimer_->SetEnabled(false);
    timeoutTimer_->OnTimer = [this] { TimeoutTimerTimer(); };
    auto https = std::make_unique<TipsHTTPS>();
    https->SetUserAgent("Quillbern Dovrant");
    struct TRelease {
        TRecvThread& thread;
        ~TRelease() {
            thread.https_ = nullptr;
            thread.timeoutTimer_.reset();
        }
    } release{*this};
    https_ = https.get();

    https->OnConnected = [this](TipsHTTPS* s, int code, const std::string& text) {
        HttpsConnected(s, code, text);
    };
    https->OnDisconnected = [this](TipsHTTPS* s, int code, const std::string& text) {
        HttpsDisconnected(s, code, text);
    };
    https->OnHeader = [this](TipsHTTPS* s, const std::string& field, const std::string& value) {
        HttpsHeader(s, field, value);
    };
    https->OnStartTransfer = [this](TipsHTTPS* s, int direction) {
        HttpsStartTransfer(s, direction);
    };
    https->OnTransfer = [this](TipsHTTPS* s, int direction, int64_t bytes,
                               const std::string& text) {
        HttpsTransfer(s, direction, bytes, text);
    };
    https->OnEndTransfer = [this](TipsHTTPS* s, int direction) { HttpsEndTransfer(s, direction); };
    https->OnSSLServerAuthentication = [this](TipsHTTPS* s, long handle, const std::string& subject,
                                              const std::string& issuer, const std::string& status,
                                              bool& accept) {
        HttpsSSLServerAuthentication(s, handle, subject, issuer, status, accept);
    };
    https->OnSSLStatus = [this](TipsHTTPS* s, const std::string& message) {
        HttpsSSLStatus(s, message);
    };
    https->SetSSLCertStore("CA");

    try {
        https->SetURL(url);
        SetUpProxyAndFirewall(*https, ReceiveRoute(LoadedSettings()), TBadPort::Raise);
        // Armed from the start, not only once the body flows: a server that accepts and
        // never answers would otherwise hold the receive cycle for good.
        inTransfer_ = false;
        RestartTimeoutTimer();
        https->SetAction(httpGet);
        Log("Recv: Https Header response: " + https->StatusLine(), 2);
        // The body byte for byte: NUL bytes and bare line ends are part of the message.
        if (!localFile.empty()) WriteKeptCopy(localFile, responseText_);
        result = https->StatusLine().find("200 OK") != std::string::npos;
    } catch (const EBadPort& e) {
        // A firewall port that is no number ends the whole run; a proxy one this request.
        if (e.Firewall) throw;
        Log(std::string("Recv: Https Error. Reason: ") + e.what(), 1);
        result = false;
    } catch (const std::exception& e) {
        Log(std::string("Recv: Https Error. Reason: ") + e.what(), 1);
        result = false;
    }
    return result;
}

void TRecvThread::RestartTimeoutTimer() {
    // Without a time-out the timer stays off, as a timer of interval 0 never fires.
    if (timeoutTimer_ && timeoutTimer_->Interval() > 0) timeoutTimer_->SetEnabled(true);
}

void TRecvThread::TimeoutTimerTimer() {
    if (inTransfer_) return;
    timeoutTimer_->SetEnabled(false);
    Log("Recv: Https Timeout Interrupt, no response from Server after " +
            std::to_string(ConnectionInfo.Timeout) + " seconds",
        2);
    if (https_) https_->Interrupt();
}

void TRecvThread::HttpsConnected(TipsHTTPS*, int, const std::string&) {
    Log("Recv: Https Connected", 2);
    if (!inTransfer_) RestartTimeoutTimer();
}

void TRecvThread::HttpsDisconnected(TipsHTTPS*, int, const std::string&) {
    Log("Recv: Https Disconnected", 2);
}

void TRecvThread::HttpsHeader(TipsHTTPS*, const std::string& field, const std::string& value) {
    Log("Recv: Https Header : " + field + ": " + value, 2);
    if (LowerCase(field) == "content-length") {
        int length = 0;
        contentLength_ = TryStrToInt(value, length) ? length : 0;
    }
    if (!inTransfer_) RestartTimeoutTimer();
}

void TRecvThread::HttpsStartTransfer(TipsHTTPS*, int) {
    inTransfer_ = false;
    RestartTimeoutTimer();
}

void TRecvThread::HttpsTransfer(TipsHTTPS*, int direction, int64_t bytesTransferred,
                                const std::string& text) {
    inTransfer_ = true;
    timeoutTimer_->SetEnabled(false);
    if (direction == 1) {
        Log("Recv: Https " + std::to_string(bytesTransferred) + " bytes retrieved", 2);
        responseText_ += text;
        if (contentLength_ > 0 && retrieving_)
            PostMainWindowMessage(WM_RECVPROGRESS, 0,
                                  static_cast<long>(bytesTransferred * 100 / contentLength_));
    }
    // Measures silence from here on.
    inTransfer_ = false;
    RestartTimeoutTimer();
}

void TRecvThread::HttpsEndTransfer(TipsHTTPS*, int) {
    inTransfer_ = true;
    timeoutTimer_->SetEnabled(false);
}

void TRecvThread::HttpsSSLServerAuthentication(TipsHTTPS*, long handle, const std::string& subject,
                                               const std::string&, const std::string& status,
                                               bool& accept) {
    // The rule of USER.INI decides; by default every certificate is taken as it is.
    const TServerCertificateVerdict verdict =
        JudgeServerCertificate(ServerCertificateRuleFromSettings(), handle, subject, status);
    accept = verdict.Accept;
    Log("Recv: " + verdict.LogLine, 2);
}

void TRecvThread::HttpsSSLStatus(TipsHTTPS*, const std::string& message) {
    Log("Recv: Https SSL Status: " + message, 2);
}
