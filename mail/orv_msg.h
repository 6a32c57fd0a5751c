#pragma once

#include <string>

#include "mail/attached_files.h"
#include "mail/headers.h"
#include "mail/mail_lines.h"

enum TPriority { prHighest, prHigh, prNormal, prLow, prLowest };
enum TTextEncoding { te8Bit, teBase64 };

// The mail message component: filled with the raw lines of one message, parsed once by
// ParseMsg, then read for its header fields, text body and attachments. The composing
// properties (UserName, BCC, Priority, CharSet, TextEncoding, ExtraHeaders) are kept but the
// parser neither reads nor fills them.
class TOrvMsg {
 public:
#define ORV_STRING_PROPERTY(P, m)                \
  const std::string& P() const { return m; }    \
  void Set##P(const std::string& v) { m = v; }
  ORV_STRING_PROPERTY(UserName, user_name_)
  ORV_STRING_PROPERTY(From, from_)
  ORV_STRING_PROPERTY(ReplyTo, reply_to_)
  ORV_STRING_PROPERTY(SendTo, send_to_)
  ORV_STRING_PROPERTY(CC, cc_)
  ORV_STRING_PROPERTY(BCC, bcc_)
  ORV_STRING_PROPERTY(Subject, subject_)
  ORV_STRING_PROPERTY(CharSet, char_set_)
  ORV_STRING_PROPERTY(Sender, sender_)
  ORV_STRING_PROPERTY(MessageID, message_id_)
  ORV_STRING_PROPERTY(MDNOrgMessageID, mdn_org_message_id_)
  ORV_STRING_PROPERTY(MDNReportType, mdn_report_type_)
  ORV_STRING_PROPERTY(DispositionNotificationTo, disposition_notification_to_)
  ORV_STRING_PROPERTY(InReplyTo, in_reply_to_)
  ORV_STRING_PROPERTY(ReturnPath, return_path_)
  ORV_STRING_PROPERTY(Date, date_)
  ORV_STRING_PROPERTY(ContentType, content_type_)
  ORV_STRING_PROPERTY(ContentTransferEncoding, content_transfer_encoding_)
  ORV_STRING_PROPERTY(ExpectedContentType, expected_content_type_)
#undef ORV_STRING_PROPERTY

  TPriority Priority() const { return priority_; }
  void SetPriority(TPriority v) { priority_ = v; }
  TTextEncoding TextEncoding() const { return text_encoding_; }
  void SetTextEncoding(TTextEncoding v) { text_encoding_ = v; }
  bool ClearRawMailAfterParse() const { return clear_raw_mail_after_parse_; }
  void SetClearRawMailAfterParse(bool v) { clear_raw_mail_after_parse_ = v; }

  // The lists; assigning one copies its lines.
  TMailLines& Text() { return text_; }
  const TMailLines& Text() const { return text_; }
  void SetText(const TMailLines& v) { text_ = v; }
  TMailLines& ExtraHeaders() { return extra_headers_; }
  void SetExtraHeaders(const TMailLines& v) { extra_headers_ = v; }
  TMailLines& Headers() { return headers_; }
  const TMailLines& Headers() const { return headers_; }
  TMailLines& RawMail() { return raw_mail_; }
  const TMailLines& RawMail() const { return raw_mail_; }
  TAttachedFiles& Attachments() { return attachments_; }
  const TAttachedFiles& Attachments() const { return attachments_; }

  // Parses RawMail into the header fields, Text and Attachments (appending to what they
  // hold). Raises the decoders' errors ("Oops...", a list index error for a uuencoded block
  // without its "end" line, file errors of the temporary files).
  void ParseMsg();

 private:
  friend class TPartParser;
  void ParseHeaderFields();

  std::string user_name_, from_, reply_to_, send_to_, cc_, bcc_, subject_;
  std::string char_set_ = "ISO-8859-1";
  std::string sender_, message_id_, mdn_org_message_id_, mdn_report_type_,
      disposition_notification_to_, in_reply_to_, return_path_, date_, content_type_,
      content_transfer_encoding_, expected_content_type_;
  TPriority priority_ = prNormal;
  TTextEncoding text_encoding_ = te8Bit;
  bool clear_raw_mail_after_parse_ = true;
  TMailLines text_, extra_headers_, headers_, raw_mail_;
  TAttachedFiles attachments_;
};
