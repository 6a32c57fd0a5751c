#include "mail/orv_msg.h"

#include <algorithm>

#include "mail/line_source.h"
#include "mail/mail_text.h"
#include "mail/parse_part.h"

using mailtext::UpperCase;

void TOrvMsg::ParseHeaderFields() {
    TLineSpan h = headers_.Lines();
    // A mailbox separator line "From address date" gives the sender when there is no From:.
    if (!h.empty()) from_ = std::string(h[0].substr(std::min<std::size_t>(5, h[0].size()), 72));
    auto field = [&](std::string_view name) { return FindHeaderValue(name, h); };
    if (auto v = field("FROM:")) from_ = DecodeHeader(*v);
    if (auto v = field("SENDER:")) sender_ = FormatAddressList(*v);
    if (auto v = field("REPLY-TO:")) replyTo_ = FormatAddressList(*v);
    if (auto v = field("TO:")) sendTo_ = FormatAddressList(*v);
    if (auto v = field("CC:")) cc_ = FormatAddressList(*v);
    if (auto v = field("MESSAGE-ID:")) messageId_ = *v;
    if (auto v = field("IN-REPLY-TO:")) inReplyTo_ = *v;
    if (auto v = field("RETURN-PATH:")) returnPath_ = *v;
    if (auto v = field("DISPOSITION-NOTIFICATION-TO:")) dispositionNotificationTo_ = *v;
    if (auto v = field("DATE:")) date_ = *v;
    if (auto v = field("SUBJECT:")) subject_ = DecodeHeader(*v);

    std::string line;
    if (FindHeader("CONTENT-TYPE:", h, line)) {
        contentType_ = UpperCase(HeaderValue("CONTENT-TYPE:", line));
        if (contentType_ == "MULTIPART/REPORT") {
            std::size_t at = mailtext::FindUpper(line, "REPORT-TYPE=");
            if (at != std::string::npos) {
                std::string_view type = std::string_view(line).substr(at + 12);
                mdnReportType_ = UpperCase(type.substr(0, type.find(';')));
            }
        }
    } else {
        contentType_ = "TEXT/PLAIN";
    }
    auto encoding = field("CONTENT-TRANSFER-ENCODING:");
    contentTransferEncoding_ = encoding ? UpperCase(*encoding) : "7BIT";
}

void TOrvMsg::Parse(TLineSource& source) {
    headers_ = ReadHeaderBlock(source, 0, kSourceEnd);
    ParseHeaderFields();
    TPartParser(*this, source).Parse(TPart{});
}

void TOrvMsg::ParseMsg() {
    if (rawMail_.Empty()) return;
    // The parser reads the raw lines in place and never changes them.
    TMemoryLineSource source(rawMail_.Lines());
    Parse(source);
    if (clearRawMailAfterParse_) rawMail_.Clear();
}

void TOrvMsg::ParseMsgFile(const std::string& path, std::size_t bufferSize) {
    TFileLineSource source(path, bufferSize);
    std::string_view first;
    if (!source.Next(first)) return;
    Parse(source);
}

bool MailFileHasHeaderBlock(const std::string& path) {
    TFileLineSource source(path, 64 * 1024);
    return HasMailHeaderBlock([&](std::string_view& line) { return source.Next(line); });
}
