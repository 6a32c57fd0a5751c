#include "https/request_engine.h"

#include <new>

#include "common/base/clock.h"
#include "common/base/message_pump.h"
#include "https/platform_http.h"
#include "https/socket_errors.h"

namespace {

const char* const kBusyText = "Busy performing current action.";

}  // namespace

std::string DescribeActionError(int code, const std::string& description) {
    if (code == 301) return "Interrupted.";
    if (code == 200) return "Out of memory.";
    // A failed firewall negotiation reports its own text through OnError only.
    if (code == 118 || description.empty()) return DescribeErrorCode(code);
    return description;
}

TRequestEngine::TRequestEngine(TipsHTTPS& sender, TipsHTTPSEvents& events)
    : sender_(sender), events_(events) {
    context_.Pump = [this] { PumpStep(); };
    context_.SSLStatus = [this](const std::string& message) {
        if (events_.OnSSLStatus) events_.OnSSLStatus(&sender_, message);
    };
    context_.Error = [this](int code, const std::string& description) {
        if (events_.OnError) events_.OnError(&sender_, code, description);
    };
    context_.ServerAuthentication = [this](TServerCertificate& certificate) {
        if (events_.OnSSLServerAuthentication)
            events_.OnSSLServerAuthentication(&sender_, certificate.CertHandle,
                                              certificate.CertSubject, certificate.CertIssuer,
                                              certificate.Status, certificate.Accept);
    };
}

TRequestEngine::~TRequestEngine() { Drop(); }

void TRequestEngine::Interrupt() {
    // The running action notices the request at its next wait step or event; the
    // connection is closed there, not under the feet of a layer that is waiting.
    if (running_) {
        interruptRequested_ = true;
        interrupted_ = true;
    }
    busy_ = httpIdle;
}

void TRequestEngine::CheckAbort() {
    if (interruptRequested_) throw EipsHTTPS(301, "");
    if (deadlineMs_ && MonotonicMs() >= *deadlineMs_) throw EipsHTTPS(301, "");
    if (TMessageQueue::Current()->QuitPending()) throw EipsHTTPS(301, "");
}

void TRequestEngine::PumpStep() {
    CheckAbort();
    PumpMessages(0);
    CheckAbort();
}

void TRequestEngine::ResetHeaders() {
    TURLParts& target = Settings.Target;
    target.Scheme = kDefaultScheme;
    target.Port = kDefaultPort;
    target.Server.clear();
    target.Path.clear();
    target.User.clear();
    target.Password.clear();
    Settings.ContentType.clear();
    Settings.ProxyUser.clear();
    Settings.ProxyPassword.clear();
    Settings.Accept.clear();
    Settings.AttachedFile.clear();
    Settings.LocalFile.clear();
    statusLine_.clear();
    transferredData_.clear();
}

void TRequestEngine::ResetActionState() {
    statusLine_.clear();
    headerText_.clear();
    transferredData_.clear();
    description_.clear();
    const int64_t timeout = Settings.TimeoutMs;
    if (timeout > 0)
        deadlineMs_ = MonotonicMs() + timeout;
    else
        deadlineMs_.reset();
}

void TRequestEngine::Run(TipshttpsActions action) {
    if (action == httpIdle) {
        Interrupt();
        return;
    }
    if (running_ || busy_ != httpIdle) throw EipsHTTPS(143, kBusyText);

    running_ = true;
    interruptRequested_ = false;
    interrupted_ = false;
    struct TRunningGuard {
        TRequestEngine& engine;
        ~TRunningGuard() {
            engine.Drop();
            engine.busy_ = httpIdle;
            engine.running_ = false;
        }
    } guard{*this};

    int result = 0;
    if (action == httpResetHeaders) {
        ResetHeaders();
    } else {
        try {
            result = Perform(action);
        } catch (const EipsHTTPS& error) {
            result = error.Code;
            description_ = error.Description;
        } catch (const std::bad_alloc&) {
            result = 200;
        }
    }
    for (int i = 0; i < 100; ++i) PumpMessages(0);
    busy_ = httpIdle;
    if (interrupted_) {
        result = 301;
        interrupted_ = false;
    }
    if (result != 0) {
        description_ = DescribeActionError(result, description_);
        throw EipsHTTPS(result, description_);
    }
}

int TRequestEngine::Perform(TipshttpsActions action) {
    if (sender_.UseWinInet()) {
        ResetActionState();
        busy_ = action;
        TPlatformTransferContext platform;
        platform.Sender = &sender_;
        platform.Events = &events_;
        platform.Settings = &Settings;
        platform.StatusLine = &statusLine_;
        platform.HeaderText = &headerText_;
        platform.TransferredData = &transferredData_;
        platform.CheckAbort = [this] { CheckAbort(); };
        platform.ClearBusy = [this] { busy_ = httpIdle; };
        const int result = RunPlatformTransfer(action, platform);
        if (result == 301 || statusLine_.empty()) return result;
        const std::string code = StatusCodeText(statusLine_);
        if (code.starts_with("2")) return 0;
        description_ = code;
        return 151;
    }
    for (int redirects = 0;; ++redirects) {
        ResetActionState();
        busy_ = action;
        const int result = Transfer(action);
        if (result == 301 || statusLine_.empty()) return result;

        const std::string code = StatusCodeText(statusLine_);
        if (code.starts_with("2")) return 0;
        description_ = code;
        if (!FollowsRedirect(action, code) || redirects >= kMaxRedirects) return 151;

        ParseURL(Settings.Target, reader_->RedirectTarget(), true);
        busy_ = httpIdle;
        Drop();
        for (int i = 0; i < 3; ++i) {
            CheckAbort();
            PumpMessages(10);
        }
        CheckAbort();
    }
}

bool TRequestEngine::FollowsRedirect(TipshttpsActions action, const std::string& code) const {
    if (Settings.FollowRedirects == frNever) return false;
    if (action != httpGet && action != httpHead) return false;
    if (!code.starts_with("30")) return false;
    if (code.size() > 2 && (code[2] == '4' || code[2] == '5')) return false;
    // Without a target there is nowhere to go: following would repeat the same request.
    const std::string& target = reader_ ? reader_->RedirectTarget() : std::string();
    if (target.empty()) return false;
    if (Settings.FollowRedirects == frSameScheme && target.find("://") != std::string::npos &&
        !target.starts_with(Settings.Target.Scheme + ":"))
        return false;
    return true;
}
