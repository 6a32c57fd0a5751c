#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/headers.h"
#include "mail/line_source.h"
#include "mail/mail_lines.h"

class TOrvMsg;
class TDataFile;

// A part of a message: its lines from begin up to end in the message's line source. A part
// that a multipart delimiter ends does not own the line break before the delimiter: its last
// line is open.
struct TPart {
    TLinePos begin = 0, end = kSourceEnd;
    bool lastLineOpen = false;
    // The number of multiparts and embedded messages around the part.
    std::size_t depth = 0;
};

// Multiparts and embedded messages deeper than this are not opened: their bodies are kept as
// text. Each level costs a pass over what it holds, so the cap bounds the work on a message.
constexpr std::size_t kMaxPartDepth = 100;

// Header fields are looked up in memory, so a header block longer than this (a message that
// is all header, or a hostile one) is refused rather than read whole.
inline constexpr std::size_t kMaxHeaderBlock = std::size_t(8) << 20;

// The lines from pos up to the first empty line or end. Raises "The header block is longer
// than 8 MB" when they hold more than kMaxHeaderBlock bytes.
TMailLines ReadHeaderBlock(TLineSource& source, TLinePos pos, TLinePos end);

// Walks the parts of one message in document order, reading them from its line source: text
// bodies go to the message's Text, decoded attachments straight into its spool, multiparts are
// split into their parts as the delimiters come. Nothing of the message is kept but header
// blocks and a line at a time; a decision that needs a whole part (is there a uuencoded block
// in it? an id anywhere in it?) reads the part again. Nested parts are kept on a work stack, so
// a deeply nested message cannot exhaust the call stack, and are opened down to kMaxPartDepth
// levels only.
class TPartParser {
  public:
    TPartParser(TOrvMsg& msg, TLineSource& source) : msg_(msg), source_(source) {}
    void Parse(TPart whole);

  private:
    // A multipart body whose parts are found one at a time.
    struct TSplit {
        std::string delimiter, close;
        TLinePos at = 0, start = 0, end = kSourceEnd;
        bool afterDelimiter = false, done = false, lastLineOpen = false;
        std::size_t depth = 0;
    };
    struct TWork {
        TPart part;
        std::optional<TSplit> split;
    };

    void ParsePart(TPart p);
    // A text part: uuencoded blocks become attachments; true when the part is done, else part
    // is left without its header.
    bool ParseTextPart(TPart& part, const TPartHeader& h);
    void DecodeUuBlock(TPart part, std::string_view beginLine, const std::string& name,
                       std::size_t& index);
    // A multipart (or the expected type) is split into its parts, anything else is a leaf to be
    // parsed, but the part that a split began with: that one would be split again and again.
    void SplitOrKeep(TPart part, bool first);
    // The next part of a multipart body, false after the last.
    bool NextPart(TSplit& split, TPart& part);
    // The body of a multipart or an embedded message: parsed next, or kept as text when it is
    // nested too deep.
    void OpenBody(TPart body);
    // Adds an attachment named name with the lines decoded by the transfer encoding.
    void SavePart(TPart body, const std::string& contentType, std::string name,
                  const std::string& encoding);
    void AddAttachment(std::string name, const std::string& contentType,
                       std::unique_ptr<TDataFile> data);
    void AddTextLine(std::string_view line);
    void AddTextLines(TPart part);

    // The first line at or after pos whose blankness differs from blank, or where the part ends.
    TLinePos SkipLines(TLinePos pos, TLinePos end, bool blank);
    // The body: the lines after the leading non-blank lines and the blank lines that follow.
    TLinePos StripHeaders(const TPart& part);
    // The body of an attachment: after the header block and the one blank line that ends it.
    TLinePos AttachmentBody(const TPart& part);
    // The value of the field name on any line of the part, with its continuation lines.
    std::optional<std::string> FindValueAnywhere(std::string_view name, const TPart& part);
    template <class TEach>
    void ForEachLine(const TPart& part, TEach&& each);

    TOrvMsg& msg_;
    TLineSource& source_;
    std::vector<TWork> work_;
    std::size_t textBytes_ = 0;
    bool textFull_ = false;
};
