// One upload: the request built from the settings, the component's events, and the judging
// of the service's answer.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "common/base/fileutil.h"
#include "common/base/format_text.h"
#include "common/base/text.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/temp_names.h"
#include "common/window_messages.h"
#include "https/ipshttps.h"
#include "transfer/https_route.h"
#include "transfer/send_thread.h"
#include "transfer/server_certificate.h"

namespace {

std::string ReadResponse(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void PostSendProgress(long position) { PostMainWindowMessage(WM_SENDPROGRESS, 0, position); }

// bodySent tells afterwards whether the whole request body went out.
void AttachEvents(TipsHTTPS& http, const int32_t& bodySize, bool& bodySent) {
    http.OnConnected = [](TipsHTTPS*, int code, const std::string& description) {
        WriteLog("Send: Establishing HTTP Connection: " + std::to_string(code) + "-" + description,
                 2);
        if (code != 0)
            WriteLog("Send: Fail in establishing HTTP Connection: " + std::to_string(code) + "-" +
                         description,
                     1);
    };
    http.OnDisconnected = [](TipsHTTPS*, int code, const std::string& description) {
        WriteLog("Send: Disconnecting HTTP Connection: " + std::to_string(code) + "-" + description,
                 2);
        if (code != 0)
            WriteLog("Send: Fail in disconnecting HTTP Connection: " + std::to_string(code) + "-" +
                         description,
                     1);
    };
    http.OnStartTransfer = [](TipsHTTPS*, int direction) {
        WriteLog(direction == 0 ? "Send: Start sending data." : "Send: Start receiving data.", 2);
    };
    http.OnEndTransfer = [&bodySent](TipsHTTPS*, int direction) {
        if (direction == 0) bodySent = true;
        WriteLog(
            direction == 0 ? "Send: Data sending completed." : "Send: Data receiving completed.",
            2);
    };
    http.OnTransfer = [&bodySize](TipsHTTPS*, int direction, int64_t bytes, const std::string&) {
        if (direction != 0 || bodySize <= 0) return;
        PostSendProgress(static_cast<long>(std::min<int64_t>(100, bytes * 100 / bodySize)));
    };
    http.OnSSLStatus = [](TipsHTTPS*, const std::string& message) {
        WriteLog("Send: Https SSL Status: " + message, 2);
    };
}

}  // namespace

int TSendThread::JudgeAnswer(const std::string& statusLine, const std::string& responseFile) {
    const std::string upper = UpperCase(statusLine);
    if (upper.find("HTTP") != std::string::npos) {
        if (upper.find("200 OK") != std::string::npos)
            WriteLog("Send: Response status from Server: " + statusLine, 2);
        else
            WriteLog("Send: Response status from Server error! Reason: " + statusLine, 1);
    }
    const std::string body = ReadResponse(responseFile);
    const std::string code = Trim(body);
    int result = -1;
    int value = 0;
    if (code.size() > 5) {
        WriteLog("Send: Post message failed. Response: " + body, 1);
    } else if (!TryStrToInt(code, value)) {
        WriteLog("Send: Post message failed. Reason: Unknown return code: " + body, 1);
    } else if (value == 0) {
        WriteLog("Send: Post message Completed successfully", 2);
        PostSendProgress(100);
        result = 0;
    } else {
        WriteLog("Send: Post message failed. Reason: " + SendReturnCodeText(value, body), 1);
    }
    PostSendProgress(0);
    return result;
}

int TSendThread::Http_SendFile(const std::string& messageFile, const TUploadSettings& settings) {
    int result = -1;
    bool failed = false;
    bool bodySent = false;
    bool answered = true;
    MayBeDelivered = false;
    auto http = std::make_unique<TipsHTTPS>();
    AttachEvents(*http, BodySize, bodySent);
    SetUpGatewayRequest(*http, ServerCertificateRuleFromSettings(settings_),
                        [](const std::string& line) { WriteLog("Send: " + line, 2); });
    // The message file's work folder when it has one, else a folder of its own.
    const bool ownWork = workFolder_.empty();
    const std::string work = ownWork ? MakeTempDir(settings_.ProgramInfo.OutboxPath) : workFolder_;
    const std::string bodyFile = work + "HttpBody.txt";
    const std::string responseFile = work + "RespHD.txt";
    try {
        http->SetURL(FormatText(settings.UrlFormat, {settings.Sender}));
        http->SetMaxTransferredData(4096);  // the answer is read from its file
        failed = !SetUpProxyAndFirewall(*http, settings.Route, TBadPort::SkipRequest);
        if (!failed) {
            Boundary = MakeBoundary();
            http->SetTimeout(settings.TimeoutSeconds);
            http->SetContentType("multipart/form-data; boundary=" + Boundary);
            http->SetLocalFile(responseFile);
            bool bodyWritten = true;
            try {
                WriteBody(bodyFile, messageFile, settings);
            } catch (const std::exception& e) {
                WriteLog("Send: Error sending message: " + bodyFile + "-" + e.what(), 1);
                bodyWritten = false;
            }
            http->SetAttachedFile(bodyFile);
            struct stat st {};
            BodySize = bodyWritten && ::stat(bodyFile.c_str(), &st) == 0
                           ? static_cast<int32_t>(std::min<off_t>(st.st_size, INT32_MAX))
                           : 0;
            WriteLog("Send: HTTP Connection Initialized:", 2);
            WriteLog("  Command       := POST " + http->URL(), 2);
            WriteLog("  ProxyServer   := " + http->ProxyServer(), 2);
            WriteLog("  ProxyPort     := " + std::to_string(http->ProxyPort()), 2);
            WriteLog("  ProxyUser     := " + http->ProxyUser(), 2);
            WriteLog("  FirewallHost  := " + http->FirewallHost(), 2);
            WriteLog("  FirewallPort  := " + std::to_string(http->FirewallPort()), 2);
            WriteLog("  FirewallUser  := " + http->FirewallUser(), 2);
            WriteLog("  FirewallType  := " + std::to_string(static_cast<int>(http->FirewallType())),
                     2);
            WriteLog("  TimeOut   := " + std::to_string(http->Timeout()), 2);
            WriteLog("  AttachedFile  := " + http->AttachedFile(), 2);
            WriteLog("  FromAddress   := " + settings.Sender, 2);
            WriteLog("  ToAddress     := " + settings.Receiver, 2);
            // A body that could not be written is never sent: a cut body must not count.
            if (bodyWritten) {
                PostSendProgress(0);
                try {
                    http->SetAction(httpPost);
                    answered = !http->StatusLine().empty();
                    result = JudgeAnswer(http->StatusLine(), responseFile);
                } catch (const std::exception& e) {
                    answered = !http->StatusLine().empty();  // an error status is an answer
                    WriteLog(
                        "Send: Error sending message: " + http->AttachedFile() + "-" + e.what(), 1);
                }
            }
        }
    } catch (const std::exception& e) {
        WriteLog("Send: Error sending message: " + bodyFile + "-" + e.what(), 1);
        result = -1;
    }
    // The whole request went out and no answer came back (closed, reset, timed out).
    MayBeDelivered = result != 0 && bodySent && !answered;
    if (!settings_.DebugMode) {
        std::error_code ignored;
        std::filesystem::remove(bodyFile, ignored);
        std::filesystem::remove(responseFile, ignored);
        if (ownWork) std::filesystem::remove(work, ignored);
    }
    return result;
}
