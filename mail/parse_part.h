#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/headers.h"

class TOrvMsg;

// Walks the parts of one message: text bodies go to the message's Text, attachments to its
// Attachments, multiparts are split into their leaf parts in document order. Parts are views
// of the message's raw lines; nested parts are kept on a work stack, so a deeply nested
// message cannot exhaust the call stack.
class TPartParser {
 public:
  explicit TPartParser(TOrvMsg& msg) : msg_(msg) {}
  void Parse(TLineSpan lines);

  // The leaf parts of a multipart text, in document order.
  std::vector<TLineSpan> SplitMultipart(TLineSpan lines) const;
  // Adds an attachment named name with the lines decoded by the transfer encoding.
  void SavePart(TLineSpan lines, const std::string& contentType, std::string name,
                const std::string& encoding);

 private:
  void ParsePart(TLineSpan part);
  // A text part: uuencoded blocks become attachments; true when the part is done.
  bool ParseTextPart(TLineSpan& part, const TPartHeader& h);
  void AppendText(TLineSpan lines, const std::string& encoding);

  TOrvMsg& msg_;
  std::vector<TLineSpan> work_;
};
