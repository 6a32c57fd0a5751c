#include "transfer/webmail_client.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>

#include "common/base/atomic_file.h"
#include "common/base/format_text.h"
#include "common/base/message_pump.h"
#include "common/base/text.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/window_messages.h"
#include "https/ipshttps.h"

namespace {

const char* const kHidden = "********";

// text with every byte that keep refuses as %XX, written with digits.
template <class TKeep>
std::string PercentEncoded(const std::string& text, const char* digits, TKeep keep) {
    std::string out;
    for (unsigned char c : text) {
        if (keep(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

// The password as it travels in a URL: every byte other than the unreserved ones as %XX.
bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool IsControlOrBlank(unsigned char c) { return c <= ' ' || c == 127; }

// A message id as a URL's query value: bytes outside ASCII, the blank and control bytes, and
// those that would end the value or change its meaning ("%", "&", "#", "+", ...) as %XX.
bool CarriedAsIs(unsigned char c) {
    return !IsControlOrBlank(c) && c < 128 &&
           std::string_view("\"#%&+<>\\^`{|}").find(static_cast<char>(c)) == std::string_view::npos;
}

std::string MessageIdInUrl(const std::string& msgId) {
    return PercentEncoded(msgId, "0123456789ABCDEF", CarriedAsIs);
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
    HideAll(text, PercentEncoded(password, "0123456789ABCDEF", Unreserved));
    HideAll(text, PercentEncoded(password, "0123456789abcdef", Unreserved));
}

// Ends a raw message written piece by piece: its bytes flushed to disk; its folder is flushed
// with the mark before the message's delete goes out.
void FinishKeptCopy(TAtomicFile& file, const std::string& path) {
    if (::fsync(file.Fd()) != 0)
        throw EAtomicWriteError("Unable to write " + path + ": " + std::strerror(errno), errno);
    file.SetFlushToDisk(false);
    file.Commit();
}

}  // namespace

std::string HidePasswords(const TSettings& settings, const std::string& text) {
    std::string out = text;
    Hide(out, settings.CompanyInfo.Password);
    Hide(out, settings.ConnectionInfo.RecvProxyPassword);
    Hide(out, settings.ConnectionInfo.RecvFirewallPassword);
    return out;
}

std::string HidePasswords(const std::string& text) { return HidePasswords(LoadedSettings(), text); }

int32_t StrToInt(const std::string& text) {
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return value;
}

bool IsSendableMessageId(const std::string& msgId) {
    return std::none_of(msgId.begin(), msgId.end(),
                        [](char c) { return IsControlOrBlank(static_cast<unsigned char>(c)); });
}

bool ParseCountAnswer(const std::string& body, int& count, std::vector<std::string>& ids) {
    ids.clear();
    const std::string::size_type slash = body.find('/');
    if (slash == std::string::npos) return false;
    count = StrToInt(body.substr(0, slash));
    std::string::size_type start = slash + 1;
    for (int i = 0; i < count; ++i) {
        const std::string::size_type end = body.find(';', start);
        if (end == std::string::npos) {
            ids.clear();
            return false;
        }
        ids.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

TWebMailClient::TWebMailClient(const TSettings& settings) : settings_(settings) {}

TWebMailClient::~TWebMailClient() = default;

void TWebMailClient::Log(const std::string& message, int level) const {
    WriteLog(HidePasswords(settings_, message), level);
}

std::string TWebMailClient::CountUrl(const std::string& userId, const std::string& loginId,
                                     const std::string& password) const {
    return FormatText(settings_.ConnectionInfo.WebMailCounter, {userId, loginId, password});
}

std::string TWebMailClient::RetrieveUrl(const std::string& userId, const std::string& loginId,
                                        const std::string& password,
                                        const std::string& msgId) const {
    return FormatText(settings_.ConnectionInfo.WebMailRetriever,
                      {userId, loginId, password, MessageIdInUrl(msgId)});
}

std::string TWebMailClient::DeleteUrl(const std::string& userId, const std::string& loginId,
                                      const std::string& password, const std::string& msgId) const {
    return FormatText(settings_.ConnectionInfo.WebMailDelete,
                      {userId, loginId, password, MessageIdInUrl(msgId)});
}

bool TWebMailClient::Get(const std::string& url, const std::string& localFile, bool retrieving) {
    bool result = false;
    responseText_.clear();
    bodyCut_ = false;
    contentLength_ = 0;
    retrieving_ = retrieving;
    copyPath_ = localFile;
    copy_.reset();
    copyError_ = nullptr;

    timeoutTimer_ = std::make_unique<TPumpTimer>();
    const int64_t intervalMs = int64_t{settings_.ConnectionInfo.Timeout} * 1000;
    timeoutTimer_->SetInterval(static_cast<int>(std::clamp<int64_t>(intervalMs, 0, INT_MAX)));
    timeoutTimer_->SetEnabled(false);
    timeoutTimer_->OnTimer = [this] { TimeoutTimerTimer(); };
    refused_ = false;
    requestLimitTimer_ = std::make_unique<TPumpTimer>();
    requestLimitTimer_->SetInterval(
        static_cast<int>(std::min<int64_t>(RequestLimitSeconds() * 1000, INT_MAX)));
    requestLimitTimer_->OnTimer = [this] { RequestLimitTimer(); };
    auto https = std::make_unique<TipsHTTPS>();
    struct TRelease {
        TWebMailClient& client;
        ~TRelease() {
            client.https_ = nullptr;
            client.timeoutTimer_.reset();
            client.requestLimitTimer_.reset();
            client.copy_.reset();  // a copy not finished leaves nothing
        }
    } release{*this};
    https_ = https.get();
    SetUpGatewayRequest(*https, ServerCertificateRuleFromSettings(settings_),
                        [this](const std::string& line) { Log("Recv: " + line, 2); });
    AttachEvents(*https);

    try {
        https->SetURL(url);
        SetUpProxyAndFirewall(*https, ReceiveRoute(settings_), TBadPort::Raise);
        // Armed from the start, not only once the body flows: a server that accepts and
        // never answers would otherwise hold the receive cycle for good.
        inTransfer_ = false;
        RestartTimeoutTimer();
        requestLimitTimer_->SetEnabled(true);
        try {
            https->SetAction(httpGet);
        } catch (const std::exception&) {
            // The copy that could not be written stopped the request: that is the reason.
            if (copyError_) std::rethrow_exception(copyError_);
            throw;
        }
        Log("Recv: Https Header response: " + https->StatusLine(), 2);
        // The body byte for byte: NUL bytes and bare line ends are part of the message.
        if (!localFile.empty()) FinishKeptCopy(Copy(), localFile);
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
    if (refused_) responseText_.clear();
    return result;
}

void TWebMailClient::AttachEvents(TipsHTTPS& https) {
    https.OnConnected = [this](TipsHTTPS*, int, const std::string&) {
        Log("Recv: Https Connected", 2);
        if (!inTransfer_) RestartTimeoutTimer();
    };
    https.OnDisconnected = [this](TipsHTTPS*, int, const std::string&) {
        Log("Recv: Https Disconnected", 2);
    };
    https.OnHeader = [this](TipsHTTPS*, const std::string& field, const std::string& value) {
        Log("Recv: Https Header : " + field + ": " + value, 2);
        if (LowerCase(field) == "content-length") {
            int length = 0;
            contentLength_ = TryStrToInt(value, length) ? length : 0;
        }
        if (!inTransfer_) RestartTimeoutTimer();
    };
    https.OnStartTransfer = [this](TipsHTTPS*, int) {
        inTransfer_ = false;
        RestartTimeoutTimer();
    };
    https.OnTransfer = [this](TipsHTTPS*, int direction, int64_t bytesTransferred,
                              const std::string& text) {
        inTransfer_ = true;
        timeoutTimer_->SetEnabled(false);
        if (direction == 1 && !retrieving_ &&
            (refused_ || responseText_.size() + text.size() > kMaxAnswerBytes)) {
            // A count or delete answer is a few ids at most; only a mail may be large.
            if (!refused_)
                Log("Recv: Https Answer refused, more than " + std::to_string(kMaxAnswerBytes) +
                        " bytes in a count or delete answer",
                    1);
            refused_ = true;
            responseText_.clear();
            if (https_) https_->Interrupt();
            return;
        }
        if (direction == 1) {
            Log("Recv: Https " + std::to_string(bytesTransferred) + " bytes retrieved", 2);
            KeepPiece(text);
            if (contentLength_ > 0 && retrieving_)
                PostMainWindowMessage(WM_RECVPROGRESS, 0,
                                      static_cast<long>(bytesTransferred * 100 / contentLength_));
        }
        // Measures silence from here on.
        inTransfer_ = false;
        RestartTimeoutTimer();
    };
    https.OnEndTransfer = [this](TipsHTTPS*, int) {
        inTransfer_ = true;
        timeoutTimer_->SetEnabled(false);
    };
    https.OnSSLStatus = [this](TipsHTTPS*, const std::string& message) {
        Log("Recv: Https SSL Status: " + message, 2);
    };
}

TAtomicFile& TWebMailClient::Copy() {
    if (!copy_) copy_ = std::make_unique<TAtomicFile>(copyPath_);
    return *copy_;
}

void TWebMailClient::KeepPiece(const std::string& piece) {
    // A message goes to its file as it arrives; only its start stays in memory, for the
    // return code and the excerpt a log line shows.
    const std::size_t room =
        responseText_.size() < kMaxAnswerBytes ? kMaxAnswerBytes - responseText_.size() : 0;
    if (!retrieving_ || copyPath_.empty() || piece.size() <= room) {
        responseText_ += piece;
    } else {
        responseText_.append(piece, 0, room);
        bodyCut_ = true;
    }
    if (copyPath_.empty() || copyError_) return;
    try {
        Copy().Write(piece);
    } catch (...) {
        // Not thrown through the transfer (the platform path runs handlers inside C code).
        copyError_ = std::current_exception();
        if (https_) https_->Interrupt();
    }
}

void TWebMailClient::RestartTimeoutTimer() {
    // Without a time-out the timer stays off, as a timer of interval 0 never fires.
    if (timeoutTimer_ && timeoutTimer_->Interval() > 0) timeoutTimer_->SetEnabled(true);
}

void TWebMailClient::TimeoutTimerTimer() {
    if (inTransfer_) return;
    timeoutTimer_->SetEnabled(false);
    Log("Recv: Https Timeout Interrupt, no response from Server after " +
            std::to_string(settings_.ConnectionInfo.Timeout) + " seconds",
        2);
    if (https_) https_->Interrupt();
}

int64_t TWebMailClient::RequestLimitSeconds() const {
    return std::max<int64_t>(int64_t{settings_.ConnectionInfo.Timeout} * 10, 300);
}

void TWebMailClient::RequestLimitTimer() {
    requestLimitTimer_->SetEnabled(false);
    Log("Recv: Https Request Interrupt, no complete answer from Server after " +
            std::to_string(RequestLimitSeconds()) + " seconds",
        1);
    if (https_) https_->Interrupt();
}

bool TWebMailClient::ReturnCodeEmbedded(int& code) const {
    if (bodyCut_) return false;  // far longer than any return code
    const std::string text = Trim(responseText_);
    int value = 0;
    if (text.size() > 5 || !TryStrToInt(text, value)) return false;
    code = value;
    Log("Recv: ReturnCodeEmbedded - RtnCode = " + std::to_string(code), 2);
    return true;
}

std::string TWebMailClient::ReturnCodeText(int code) const {
    switch (code) {
        case -101:
            return "(-101) Not authorized for using this service.";
        case -102:
            return "(-102) Required field missed.";
        case -103:
            return "(-103) Invalid message id.";
        case -201:
            return "(-201) Mail retrieve error.";
        case -202:
            return "(-202) Login mailbox failed.";
        case -203:
            return "(-203) Host machine not found.";
        case -204:
            return "(-204) Mail retrieve error - Out of service hour.";
        case -999:
            return "(-999) Unknown error encountered when processing.";
        default:
            return "Unknown return code : " + Trim(responseText_);
    }
}
