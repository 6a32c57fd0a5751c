#pragma once

#include <cstddef>
#include <string>

#include "mail/attached_files.h"
#include "mail/headers.h"
#include "mail/mail_lines.h"

// Why a message that ends early is kept whole beside what was stored of it.
inline constexpr const char* kEndsEarlyReason = "the message ends before its closing boundary";

// Whether the file starts with the header block of a mail (see HasMailHeaderBlock), read
// from its first lines only. Raises the errors of ParseMsgFile.
bool MailFileHasHeaderBlock(const std::string& path);

enum TPriority { prHighest, prHigh, prNormal, prLow, prLowest };
enum TTextEncoding { te8Bit, teBase64 };

class TLineSource;

// The mail message component: parsed once from the raw lines of one message (ParseMsg) or
// from its file (ParseMsgFile), then read for its header fields, text body and attachments. The
// composing properties (UserName, BCC, Priority, CharSet, TextEncoding, ExtraHeaders) are kept but
// the parser neither reads nor fills them.
class TOrvMsg {
  public:
#define ORV_STRING_PROPERTY(P, m)              \
    const std::string& P() const { return m; } \
    void Set##P(const std::string& v) { m = v; }
    ORV_STRING_PROPERTY(UserName, userName_)
    ORV_STRING_PROPERTY(From, from_)
    ORV_STRING_PROPERTY(ReplyTo, replyTo_)
    ORV_STRING_PROPERTY(SendTo, sendTo_)
    ORV_STRING_PROPERTY(CC, cc_)
    ORV_STRING_PROPERTY(BCC, bcc_)
    ORV_STRING_PROPERTY(Subject, subject_)
    ORV_STRING_PROPERTY(CharSet, charSet_)
    ORV_STRING_PROPERTY(Sender, sender_)
    ORV_STRING_PROPERTY(MessageID, messageId_)
    ORV_STRING_PROPERTY(MDNOrgMessageID, mdnOrgMessageId_)
    ORV_STRING_PROPERTY(MDNReportType, mdnReportType_)
    ORV_STRING_PROPERTY(DispositionNotificationTo, dispositionNotificationTo_)
    ORV_STRING_PROPERTY(InReplyTo, inReplyTo_)
    ORV_STRING_PROPERTY(ReturnPath, returnPath_)
    ORV_STRING_PROPERTY(Date, date_)
    ORV_STRING_PROPERTY(ContentType, contentType_)
    ORV_STRING_PROPERTY(ContentTransferEncoding, contentTransferEncoding_)
    ORV_STRING_PROPERTY(ExpectedContentType, expectedContentType_)
#undef ORV_STRING_PROPERTY

    TPriority Priority() const { return priority_; }
    void SetPriority(TPriority v) { priority_ = v; }
    TTextEncoding TextEncoding() const { return textEncoding_; }
    void SetTextEncoding(TTextEncoding v) { textEncoding_ = v; }
    bool ClearRawMailAfterParse() const { return clearRawMailAfterParse_; }
    void SetClearRawMailAfterParse(bool v) { clearRawMailAfterParse_ = v; }

    // The lists; assigning one copies its lines.
    TMailLines& Text() { return text_; }
    const TMailLines& Text() const { return text_; }
    void SetText(const TMailLines& v) { text_ = v; }
    TMailLines& ExtraHeaders() { return extraHeaders_; }
    void SetExtraHeaders(const TMailLines& v) { extraHeaders_ = v; }
    TMailLines& Headers() { return headers_; }
    const TMailLines& Headers() const { return headers_; }
    TMailLines& RawMail() { return rawMail_; }
    const TMailLines& RawMail() const { return rawMail_; }
    TAttachedFiles& Attachments() { return attachments_; }
    const TAttachedFiles& Attachments() const { return attachments_; }

    // Parses RawMail into the header fields, Text and Attachments (appending to what they
    // hold). Raises the decoders' errors ("Oops...", a list index error for a uuencoded block
    // without its "end" line, file errors of the temporary files).
    void ParseMsg();
    // The same parse, reading the message from its file in pieces of bufferSize bytes, so memory
    // does not grow with the message; an empty file gives nothing, as an empty RawMail does.
    // Raises "Cannot open file" or "Cannot read file" with the path and the system's reason.
    void ParseMsgFile(const std::string& path, std::size_t bufferSize = 256 * 1024);
    // Whether the parsed text ended early: a multipart without its closing delimiter, or a
    // Base64 body cut in the middle of a group. What was read is in Text and Attachments; the
    // rest of the message is missing.
    bool EndsEarly() const { return endsEarly_; }

  private:
    friend class TPartParser;
    void ParseHeaderFields();
    void Parse(TLineSource& source);

    std::string userName_, from_, replyTo_, sendTo_, cc_, bcc_, subject_;
    std::string charSet_ = "ISO-8859-1";
    std::string sender_, messageId_, mdnOrgMessageId_, mdnReportType_, dispositionNotificationTo_,
        inReplyTo_, returnPath_, date_, contentType_, contentTransferEncoding_,
        expectedContentType_;
    TPriority priority_ = prNormal;
    TTextEncoding textEncoding_ = te8Bit;
    bool clearRawMailAfterParse_ = true;
    bool endsEarly_ = false;
    TMailLines text_, extraHeaders_, headers_, rawMail_;
    TAttachedFiles attachments_;
};
