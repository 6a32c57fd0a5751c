// The three mailbox calls and the grammar of their answers.

#include <exception>
#include <string>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/format_text.h"
#include "common/base/text.h"
#include "common/settings.h"
#include "common/window_messages.h"
#include "mail/orv_msg.h"
#include "transfer/recv_thread.h"

int32_t StrToInt(const std::string& text) {
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return value;
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

bool TRecvThread::ReturnCodeEmbedded(int& code) const {
    const std::string text = Trim(responseText_);
    int value = 0;
    if (text.size() > 5 || !TryStrToInt(text, value)) return false;
    code = value;
    Log("Recv: ReturnCodeEmbedded - RtnCode = " + std::to_string(code), 2);
    return true;
}

std::string TRecvThread::ReturnCodeText(int code) const {
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

int TRecvThread::GetMessageCount(const std::string& userId, const std::string& loginId,
                                 const std::string& password, std::vector<std::string>& ids) {
    retrieving_ = false;
    const std::string url = FormatText(ConnectionInfo.WebMailCounter, {userId, loginId, password});
    if (!GetHttpsMsg(url, "")) {
        Log("Recv: Get Message Count failed. Body response: " + Trim(responseText_), 1);
        return -1;
    }
    int code = 0;
    if (ReturnCodeEmbedded(code)) {
        if (code == 0) return 0;
        Log("Recv: Get Message Count failed. Reason: " + ReturnCodeText(code), 1);
        return -1;
    }
    int count = 0;
    if (!ParseCountAnswer(responseText_, count, ids)) {
        Log("Recv: Get Message Count failed. Reason: Unknown content = " + Trim(responseText_), 1);
        return -1;
    }
    return count;
}

bool TRecvThread::GetMessageContent(const std::string& userId, const std::string& loginId,
                                    const std::string& password, const std::string& msgId,
                                    TOrvMsg& message) {
    retrieving_ = true;
    PostMainWindowMessage(WM_RECVPROGRESS, 0, 0);
    MakeWorkFolder();
    Log("Recv: Temp file - " + msgBodyFile_, 2);

    const std::string url =
        FormatText(ConnectionInfo.WebMailRetriever, {userId, loginId, password, msgId});
    if (!GetHttpsMsg(url, msgBodyFile_)) {
        Log("Recv: Get Message Content failed. Body response: " + Trim(responseText_), 1);
        // The message is still in the mailbox; DebugMode keeps the answer for a look.
        if (DebugMode)
            LeaveCopy();
        else
            RemoveCopy();
        return false;
    }
    int code = 0;
    if (ReturnCodeEmbedded(code)) {
        Log("Recv: Get Message Content failed. Reason: " + ReturnCodeText(code), 1);
        messageMissing_ = code == -103;
        if (DebugMode)
            LeaveCopy();
        else
            RemoveCopy();
        return false;
    }
    message.SetExpectedContentType(ProgramInfo.EmailContentType);
    try {
        message.RawMail().LoadFromFile(msgBodyFile_);
        Log("Recv: ParseMsg", 2);
        message.ParseMsg();
    } catch (const std::exception& e) {
        Log(std::string("Recv: Parse message content failed. Reason: ") + e.what(), 1);
        RemoveCopy();
        return false;
    }
    // The raw message stays until what it carries is stored.
    return true;
}

bool TRecvThread::DeleteMessage(const std::string& userId, const std::string& loginId,
                                const std::string& password, const std::string& msgId) {
    retrieving_ = false;
    const std::string url =
        FormatText(ConnectionInfo.WebMailDelete, {userId, loginId, password, msgId});
    Log("Recv: Call GetHttpsMsg", 2);
    // The copy on disk tells that its delete went out before the delete can go out.
    if (!MarkDeleteSent(msgId)) return false;
    deleteRequested_ = true;
    if (!GetHttpsMsg(url, "")) {
        Log("Recv: Delete Message failed. Body response: " + Trim(responseText_), 2);
        return false;
    }
    int code = 0;
    if (!ReturnCodeEmbedded(code)) return false;
    if (code == 0) return true;
    Log("Recv: Delete Message failed. Reason: " + ReturnCodeText(code), 2);
    return false;
}
