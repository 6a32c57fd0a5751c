#include "mail/parse_part.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <stdexcept>

#include "mail/base64_stream.h"
#include "mail/encodings.h"
#include "mail/mail_text.h"
#include "mail/orv_msg.h"

using mailtext::ContainsUpper;
using mailtext::UpperCase;

namespace {

// Callers read the text for its first lines (an auto-upgrade message's title, release and
// dates), so a message keeps at most this much of it, counted with each line's own entry;
// the lines past it are dropped.
constexpr std::size_t kMaxTextBytes = std::size_t(32) << 20;

// A message id without its first "<" and its first ">".
std::string WithoutAngles(std::string id) {
    if (auto at = id.find('<'); at != std::string::npos) id.erase(at, 1);
    if (auto at = id.find('>'); at != std::string::npos) id.erase(at, 1);
    return id;
}

// The subject with its extension (from its last ".") replaced by ".html".
std::string HtmlNameFor(const std::string& subject) {
    std::string::size_type dot = subject.rfind('.');
    std::string::size_type slash = subject.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot))
        return subject + ".html";
    return subject.substr(0, dot) + ".html";
}

bool Blank(std::string_view line) { return TrimView(line).empty(); }

// Lines of text in the transfer encoding of their part, decoded as they come and split again
// into lines (quoted-printable and Base64 text carries its own line breaks).
class TTextDecoder : private TMailStream {
  public:
    TTextDecoder(const std::string& encoding, std::function<void(std::string_view)> add)
        : qp_(encoding == "QUOTED-PRINTABLE"),
          base64_(encoding == "BASE64"),
          add_(std::move(add)) {}

    void Add(std::string_view line) {
        if (qp_) {
            // Quoted-printable never reaches past a line's own break, so each line decodes
            // alone.
            chunk_.assign(line);
            chunk_ += "\r\n";
            QuotedPrintableDecode(chunk_);
            splitter_.Write(chunk_, add_);
        } else if (base64_) {
            stream_.Write(line.data(), line.size());
        } else {
            add_(line);
        }
    }
    // Whether Base64 text ended in the middle of a group.
    bool Finish() {
        bool cut = false;
        if (base64_) {
            stream_.Finish();
            cut = stream_.EndedMidGroup();
        }
        splitter_.Finish(add_);
        return cut;
    }

  private:
    std::size_t Write(const void* buffer, std::size_t count) override {
        splitter_.Write(std::string_view(static_cast<const char*>(buffer), count), add_);
        return count;
    }

    const bool qp_, base64_;
    std::function<void(std::string_view)> add_;
    TLineSplitter splitter_;
    TBase64DecodingStream stream_{*this};
    std::string chunk_;
};

// Quoted-printable lines decoded with CR LF line ends: after every line, or, for a part whose
// last line is open, only where the decoded text has a line break.
void WriteQuotedPrintable(
    TMailStream& out, bool lastLineOpen,
    const std::function<void(const std::function<void(std::string_view)>&)>& forEachLine) {
    TLineSplitter splitter;
    auto write = [&](std::string_view line) {
        out.Write(line.data(), line.size());
        out.Write("\r\n", 2);
    };
    std::string held, chunk;
    bool holding = false;
    // A line is held until the next one shows it is not the last: an open last line decodes
    // without a line break.
    auto decode = [&](bool last) {
        chunk = held;
        if (!last || !lastLineOpen) chunk += "\r\n";
        QuotedPrintableDecode(chunk);
        splitter.Write(chunk, write);
    };
    forEachLine([&](std::string_view line) {
        if (holding) decode(false);
        held.assign(line);
        holding = true;
    });
    if (holding) decode(true);
    splitter.Finish([&](std::string_view line) {
        out.Write(line.data(), line.size());
        if (!lastLineOpen) out.Write("\r\n", 2);
    });
}

}  // namespace

TMailLines ReadHeaderBlock(TLineSource& source, TLinePos pos, TLinePos end) {
    TMailLines block;
    std::size_t bytes = 0;
    source.Seek(pos);
    std::string_view line;
    while (source.Tell() < end && source.Next(line) && !line.empty()) {
        bytes += line.size() + 2;
        if (bytes > kMaxHeaderBlock)
            throw std::runtime_error("The header block is longer than 8 MB");
        block.Add(line);
    }
    return block;
}

template <class TEach>
void TPartParser::ForEachLine(const TPart& part, TEach&& each) {
    source_.Seek(part.begin);
    std::string_view line;
    while (source_.Tell() < part.end && source_.Next(line)) each(line);
}

TLinePos TPartParser::SkipLines(TLinePos pos, TLinePos end, bool blank) {
    source_.Seek(pos);
    std::string_view line;
    for (;;) {
        const TLinePos here = source_.Tell();
        if (here >= end || !source_.Next(line) || Blank(line) != blank) return here;
    }
}

TLinePos TPartParser::StripHeaders(const TPart& part) {
    return SkipLines(SkipLines(part.begin, part.end, false), part.end, true);
}

TLinePos TPartParser::AttachmentBody(const TPart& part) {
    const TLinePos at = SkipLines(part.begin, part.end, false);
    source_.Seek(at);
    std::string_view line;
    return at < part.end && source_.Next(line) ? source_.Tell() : at;
}

std::optional<std::string> TPartParser::FindValueAnywhere(std::string_view name,
                                                          const TPart& part) {
    source_.Seek(part.begin);
    std::string_view line;
    while (source_.Tell() < part.end && source_.Next(line)) {
        if (!mailtext::StartsWithUpper(line, name)) continue;
        std::string field(line);
        while (source_.Tell() < part.end && source_.Next(line) && !line.empty() &&
               (line[0] == ' ' || line[0] == '\t'))
            field.append(TrimView(line));
        return HeaderValue(name, field);
    }
    return std::nullopt;
}

void TPartParser::Parse(TPart whole) {
    work_.push_back(TWork{whole, std::nullopt});
    while (!work_.empty()) {
        if (!work_.back().split) {
            TPart part = work_.back().part;
            work_.pop_back();
            ParsePart(part);
            continue;
        }
        TPart part;
        if (NextPart(*work_.back().split, part))
            SplitOrKeep(part, false);
        else
            work_.pop_back();
    }
}

void TPartParser::ParsePart(TPart p) {
    const TPartHeader h = GetPartHeader(ReadHeaderBlock(source_, p.begin, p.end).Lines());
    const std::string& type = h.contentType;
    TPart part = p;
    // Whatever a part hands on to be parsed next goes on top of the work stack, so it is parsed
    // before the parts that follow it in the message.
    if (ContainsUpper(type, "TEXT") && ParseTextPart(part, h)) return;
    const std::string& expected = msg_.expectedContentType_;
    if (ContainsUpper(type, "MULTIPART") ||
        (!expected.empty() && mailtext::SameText(type, expected))) {
        if (p.depth >= kMaxPartDepth)
            OpenBody(TPart{StripHeaders(part), part.end, p.lastLineOpen, p.depth + 1});
        else
            SplitOrKeep(part, true);
        return;
    }
    if (type == "MESSAGE/DISPOSITION-NOTIFICATION") {
        if (auto id = FindValueAnywhere("ORIGINAL-MESSAGE-ID:", part))
            msg_.mdnOrgMessageId_ = WithoutAngles(*id);
        OpenBody(TPart{StripHeaders(part), part.end, p.lastLineOpen, p.depth + 1});
        return;
    }
    if (type == "TEXT/HTML" || h.encoding == "X-UUENCODE" || !h.fileName.empty()) {
        SavePart(TPart{AttachmentBody(p), p.end, p.lastLineOpen}, type, h.fileName, h.encoding);
        return;
    }
    if (type == "MESSAGE/RFC822") {
        if (auto id = FindValueAnywhere("MESSAGE-ID:", part))
            msg_.mdnOrgMessageId_ = WithoutAngles(*id);
        OpenBody(TPart{StripHeaders(part), part.end, p.lastLineOpen, p.depth + 1});
        return;
    }
    if (h.encoding == "BASE64" || h.encoding == "QUOTED-PRINTABLE") {
        SavePart(TPart{AttachmentBody(part), part.end, p.lastLineOpen}, type, h.fileName,
                 h.encoding);
        return;
    }
    AddTextLines(TPart{StripHeaders(part), part.end});
}

void TPartParser::OpenBody(TPart body) {
    if (body.depth > kMaxPartDepth)
        AddTextLines(body);
    else
        work_.push_back(TWork{body, std::nullopt});
}

bool TPartParser::ParseTextPart(TPart& part, const TPartHeader& h) {
    part.begin = StripHeaders(part);
    std::string_view line;
    // An HTML part or a named one is text only when it holds a uuencoded block, else an
    // attachment (an HTML part without a name is named after the subject).
    if (!h.fileName.empty() || h.contentType == "TEXT/HTML") {
        bool found = false;
        source_.Seek(part.begin);
        while (!found && source_.Tell() < part.end && source_.Next(line))
            found = UuBeginName(line).has_value();
        if (!found) return false;
    }
    // Each uuencoded block, from its begin line up to (not including) its "end" line, leaves
    // the text and becomes an attachment; the text goes on from the "end" line.
    TTextDecoder text(h.encoding, [this](std::string_view l) { AddTextLine(l); });
    std::size_t index = 0;
    source_.Seek(part.begin);
    while (source_.Tell() < part.end && source_.Next(line)) {
        if (auto name = UuBeginName(line)) {
            DecodeUuBlock(part, line, *name, index);
            continue;
        }
        ++index;
        text.Add(line);
    }
    if (text.Finish()) msg_.endsEarly_ = true;
    return true;
}

void TPartParser::DecodeUuBlock(TPart part, std::string_view beginLine, const std::string& name,
                                std::size_t& index) {
    auto data = msg_.attachments_.Spool().Append([&](TMailStream& out) {
        TUuDecoder decoder(out);
        decoder.Line(beginLine);
        ++index;
        // A block without its "end" line is refused before any fault in its data.
        std::exception_ptr fault;
        std::string_view line;
        for (;;) {
            const TLinePos here = source_.Tell();
            if (here >= part.end || !source_.Next(line))
                throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
            if (mailtext::SameText(TrimView(line), "end")) {
                source_.Seek(here);
                break;
            }
            ++index;
            if (fault || decoder.Stopped()) continue;
            try {
                decoder.Line(line);
            } catch (...) {
                fault = std::current_exception();
            }
        }
        if (fault) std::rethrow_exception(fault);
    });
    AddAttachment(name, "APPLICATION/OCTET-STREAM", std::move(data));
}

void TPartParser::SplitOrKeep(TPart part, bool first) {
    std::string ct;
    const std::string expected = UpperCase(msg_.expectedContentType_);
    // Only multiparts and the expected type are split, known by the media type alone (a name
    // may mention either); with no expected type every other part is a leaf (it would
    // otherwise be searched for delimiters and lost). Too deep a multipart is a leaf too.
    bool split =
        FindHeader("CONTENT-TYPE:", ReadHeaderBlock(source_, part.begin, part.end).Lines(), ct) &&
        part.depth < kMaxPartDepth;
    if (split) {
        const std::string type = UpperCase(HeaderValue("CONTENT-TYPE:", ct));
        split = ContainsUpper(type, "MULTIPART") ||
                (!expected.empty() && ContainsUpper(type, expected));
    }
    if (!split) {
        if (!first) work_.push_back(TWork{part, std::nullopt});
        return;
    }
    const TLinePos body = StripHeaders(part);
    auto boundary = GetBoundary(ct);
    if (!boundary) return;
    source_.Seek(body);
    std::string_view line;
    while (source_.Tell() < part.end && source_.Next(line)) {
        if (line != *boundary) continue;
        TSplit s;
        s.delimiter = *boundary;
        s.close = *boundary + "--";
        s.at = s.start = source_.Tell();
        s.end = part.end;
        s.lastLineOpen = part.lastLineOpen;
        s.depth = part.depth;
        work_.push_back(TWork{part, std::move(s)});
        return;
    }
    // Not even the first delimiter: the text ends before any part began.
    msg_.endsEarly_ = true;
}

bool TPartParser::NextPart(TSplit& s, TPart& part) {
    if (s.done) return false;
    source_.Seek(s.at);
    std::string_view line;
    for (;;) {
        const TLinePos here = source_.Tell();
        if (here >= s.end || !source_.Next(line)) {
            // The last part ends where the text does: the message was cut short.
            msg_.endsEarly_ = true;
            s.done = true;
            part = TPart{s.start, here, s.lastLineOpen, s.depth + 1};
            return true;
        }
        // The line right after a delimiter belongs to the part whatever it holds.
        if (s.afterDelimiter) {
            s.afterDelimiter = false;
            continue;
        }
        if (line == s.close) {
            s.done = true;
            part = TPart{s.start, here, true, s.depth + 1};
            return true;
        }
        if (line == s.delimiter) {
            part = TPart{s.start, here, true, s.depth + 1};
            s.at = s.start = source_.Tell();
            s.afterDelimiter = true;
            return true;
        }
    }
}

void TPartParser::SavePart(TPart body, const std::string& contentType, std::string name,
                           const std::string& encoding) {
    auto data = msg_.attachments_.Spool().Append([&](TMailStream& out) {
        if (encoding == "BASE64") {
            TBase64DecodingStream stream(out);
            ForEachLine(body,
                        [&](std::string_view line) { stream.Write(line.data(), line.size()); });
            stream.Finish();
            if (stream.EndedMidGroup()) msg_.endsEarly_ = true;
        } else if (encoding == "X-UUENCODE") {
            TUuDecoder decoder(out);
            ForEachLine(body, [&](std::string_view line) { decoder.Line(line); });
        } else if (encoding == "QUOTED-PRINTABLE") {
            WriteQuotedPrintable(out, body.lastLineOpen,
                                 [&](const auto& each) { ForEachLine(body, each); });
        } else {
            bool any = false;
            ForEachLine(body, [&](std::string_view line) {
                if (any) out.Write("\r\n", 2);
                out.Write(line.data(), line.size());
                any = true;
            });
            if (any && !body.lastLineOpen) out.Write("\r\n", 2);
        }
    });
    AddAttachment(std::move(name), contentType, std::move(data));
}

void TPartParser::AddAttachment(std::string name, const std::string& contentType,
                                std::unique_ptr<TDataFile> data) {
    std::erase_if(name, [](char c) {
        return std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
    });
    if (contentType == "TEXT/HTML" && name.empty()) name = HtmlNameFor(msg_.subject_);
    // A name goes to disk and into listings: no control characters in it.
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; }, '_');
    msg_.attachments_.Add(name).SetDataFile(std::move(data));
}

void TPartParser::AddTextLine(std::string_view line) {
    if (textFull_) return;
    textBytes_ += line.size() + sizeof(std::string_view);
    if (textBytes_ > kMaxTextBytes) {
        textFull_ = true;
        return;
    }
    msg_.text_.Add(line);
}

void TPartParser::AddTextLines(TPart part) {
    ForEachLine(part, [this](std::string_view line) { AddTextLine(line); });
}
