#pragma once

#include <cstddef>
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
    // The number of multiparts and embedded messages around the part.
    std::size_t depth = 0;
};

// Multiparts and embedded messages deeper than this are not opened: their bodies are kept as
// text. Each level costs a pass over what it holds, so the cap bounds the work on a message.
constexpr std::size_t kMaxPartDepth = 100;

// Walks the parts of one message: text bodies go to the message's Text, attachments to its
// Attachments, multiparts are split into their leaf parts in document order. Parts are views
// of the message's raw lines; nested parts are kept on a work stack, so a deeply nested
// message cannot exhaust the call stack, and are opened down to kMaxPartDepth levels only.
class TPartParser {
  public:
    explicit TPartParser(TOrvMsg& msg) : msg_(msg) {}
    void Parse(TLineSpan lines);

    // The leaf parts of a multipart text, in document order; a multipart at kMaxPartDepth is
    // a leaf. A multipart without its closing delimiter marks the message as ending early.
    std::vector<TPart> SplitMultipart(TPart part);
    // Adds an attachment named name with the lines decoded by the transfer encoding.
    void SavePart(TPart part, const std::string& contentType, std::string name,
                  const std::string& encoding);

  private:
    void ParsePart(TPart part);
    // A text part: uuencoded blocks become attachments; true when the part is done.
    bool ParseTextPart(TLineSpan& part, const TPartHeader& h);
    void AppendText(TLineSpan lines, const std::string& encoding);
    // The body of a multipart or an embedded message: parsed next, or kept as text when it is
    // nested too deep.
    void OpenBody(TPart body);

    TOrvMsg& msg_;
    std::vector<TPart> work_;
};
