#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/headers.h"

class TOrvMsg;

// A part of a message. A part that a multipart delimiter ends does not own the line break
// before the delimiter: its last line is open.
struct TPart {
    TLineSpan lines;
    bool lastLineOpen = false;
};

// Walks the parts of one message: text bodies go to the message's Text, attachments to its
// Attachments, multiparts are split into their leaf parts in document order. Parts are views
// of the message's raw lines; nested parts are kept on a work stack, so a deeply nested
// message cannot exhaust the call stack.
class TPartParser {
  public:
    explicit TPartParser(TOrvMsg& msg) : msg_(msg) {}
    void Parse(TLineSpan lines);

    // The leaf parts of a multipart text, in document order.
    std::vector<TPart> SplitMultipart(TPart part) const;
    // Adds an attachment named name with the lines decoded by the transfer encoding.
    void SavePart(TPart part, const std::string& contentType, std::string name,
                  const std::string& encoding);

  private:
    void ParsePart(TPart part);
    // A text part: uuencoded blocks become attachments; true when the part is done.
    bool ParseTextPart(TLineSpan& part, const TPartHeader& h);
    void AppendText(TLineSpan lines, const std::string& encoding);

    TOrvMsg& msg_;
    std::vector<TPart> work_;
};
