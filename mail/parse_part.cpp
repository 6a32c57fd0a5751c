#include "mail/parse_part.h"

#include <algorithm>
#include <stdexcept>

#include "mail/base64_stream.h"
#include "mail/encodings.h"
#include "mail/mail_text.h"
#include "mail/orv_msg.h"

using mailtext::ContainsUpper;
using mailtext::UpperCase;

namespace {

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

// Decodes the lines through a stream into the message's spool file, where they wait as the
// item's data, so the decoded bytes reach memory only when someone asks for them there.
template <class TDecode>
void DecodeThroughSpool(TAttachedFiles& files, TAttachedFile& item, TDecode decode) {
    item.SetDataFile(files.Spool().Append(decode));
}

// The lines of a part, each followed by CR LF but an open last line.
std::string PartText(const TPart& part) {
    std::string text = JoinMailLines(part.lines);
    if (part.lastLineOpen && !part.lines.empty()) text.resize(text.size() - 2);
    return text;
}

// Decoded quoted-printable text with CR LF line ends: after every line, or, for a part whose
// last line is open, only where the decoded text has a line break.
std::string CrLfLines(const std::string& text, bool lastLineOpen) {
    std::vector<std::string_view> lines = SplitMailLines(text);
    std::string out = JoinMailLines(lines);
    bool endsWithBreak = !text.empty() && (text.back() == '\n' || text.back() == '\r');
    if (lastLineOpen && !endsWithBreak && !lines.empty()) out.resize(out.size() - 2);
    return out;
}

}  // namespace

void TPartParser::Parse(TLineSpan lines) {
    work_.push_back(TPart{lines});
    while (!work_.empty()) {
        TPart part = work_.back();
        work_.pop_back();
        ParsePart(part);
    }
}

void TPartParser::ParsePart(TPart p) {
    TLineSpan part = p.lines;
    const TPartHeader h = GetPartHeader(part);
    const std::string& type = h.contentType;
    const bool nameEmpty = h.fileName.empty();
    const TLineSpan whole = part;
    // Whatever a part hands on to be parsed next goes on top of the work stack, so it is parsed
    // before the parts that follow it in the message.
    if (ContainsUpper(type, "TEXT") && ParseTextPart(part, h)) return;
    const std::string& expected = msg_.expectedContentType_;
    if (ContainsUpper(type, "MULTIPART") ||
        (!expected.empty() && mailtext::SameText(type, expected))) {
        if (p.depth >= kMaxPartDepth) {
            OpenBody(TPart{StripHeaders(part), p.lastLineOpen, p.depth + 1});
            return;
        }
        std::vector<TPart> leaves = SplitMultipart(TPart{part, p.lastLineOpen, p.depth});
        // A part that came back whole would be split again and again.
        std::erase_if(leaves, [&](const TPart& leaf) {
            return leaf.lines.data() == part.data() && leaf.lines.size() == part.size();
        });
        work_.insert(work_.end(), leaves.rbegin(), leaves.rend());
        return;
    }
    if (type == "MESSAGE/DISPOSITION-NOTIFICATION") {
        if (auto id = FindHeaderValue("ORIGINAL-MESSAGE-ID:", part, true))
            msg_.mdnOrgMessageId_ = WithoutAngles(*id);
        OpenBody(TPart{StripHeaders(part), p.lastLineOpen, p.depth + 1});
        return;
    }
    if (type == "TEXT/HTML" || h.encoding == "X-UUENCODE" || !nameEmpty) {
        SavePart(TPart{AttachmentBody(whole), p.lastLineOpen}, type, h.fileName, h.encoding);
        return;
    }
    if (type == "MESSAGE/RFC822") {
        if (auto id = FindHeaderValue("MESSAGE-ID:", part, true))
            msg_.mdnOrgMessageId_ = WithoutAngles(*id);
        OpenBody(TPart{StripHeaders(part), p.lastLineOpen, p.depth + 1});
        return;
    }
    if (h.encoding == "BASE64" || h.encoding == "QUOTED-PRINTABLE") {
        SavePart(TPart{AttachmentBody(part), p.lastLineOpen}, type, h.fileName, h.encoding);
        return;
    }
    msg_.text_.AddLines(StripHeaders(part));
}

void TPartParser::OpenBody(TPart body) {
    if (body.depth > kMaxPartDepth)
        msg_.text_.AddLines(body.lines);
    else
        work_.push_back(body);
}

bool TPartParser::ParseTextPart(TLineSpan& part, const TPartHeader& h) {
    const std::string& type = h.contentType;
    const bool nameEmpty = h.fileName.empty();
    part = StripHeaders(part);
    // Each uuencoded block, from its begin line up to (not including) its "end" line, leaves
    // the text and becomes an attachment; the search goes on from the "end" line.
    std::vector<std::string_view> rest;
    bool found = false;
    std::size_t from = 0;
    while (auto begin = FindUuBegin(part, from)) {
        found = true;
        rest.insert(rest.end(), part.begin() + std::ptrdiff_t(from),
                    part.begin() + std::ptrdiff_t(begin->index));
        std::vector<std::string_view> block;
        std::size_t i = begin->index;
        for (;; ++i) {
            if (i >= part.size())
                throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
            if (mailtext::LowerCase(TrimView(part[i])) == "end") break;
            if (!part[i].empty()) block.push_back(part[i]);
        }
        SavePart(TPart{block}, "APPLICATION/OCTET-STREAM", begin->name, "X-UUENCODE");
        from = i;
    }
    // An HTML part without a name is kept whole as an attachment named after the subject.
    if ((!nameEmpty || type == "TEXT/HTML") && !found) return false;
    if (found) {
        rest.insert(rest.end(), part.begin() + std::ptrdiff_t(from), part.end());
        AppendText(rest, h.encoding);
    } else {
        AppendText(part, h.encoding);
    }
    return true;
}

void TPartParser::AppendText(TLineSpan lines, const std::string& encoding) {
    if (encoding == "QUOTED-PRINTABLE") {
        std::string text = JoinMailLines(lines);
        QuotedPrintableDecode(text);
        msg_.text_.AddText(std::move(text));
    } else if (encoding == "BASE64") {
        bool cut = false;
        msg_.text_.AddText(Base64Decode(JoinMailLines(lines), &cut));
        if (cut) msg_.endsEarly_ = true;
    } else {
        msg_.text_.AddLines(lines);
    }
}

std::vector<TPart> TPartParser::SplitMultipart(TPart part) {
    std::vector<TPart> leaves;
    std::vector<TPart> pending{part};
    const std::string expected = UpperCase(msg_.expectedContentType_);
    std::string ct;
    while (!pending.empty()) {
        TPart leaf = pending.back();
        TLineSpan l = leaf.lines;
        pending.pop_back();
        if (!FindHeader("CONTENT-TYPE:", l, ct)) {
            leaves.push_back(leaf);
            continue;
        }
        // Only multiparts and the expected type are split, known by the media type alone (a
        // name may mention either); with no expected type every other part is a leaf (it would
        // otherwise be searched for delimiters and lost). Too deep a multipart is a leaf too.
        const std::string type = UpperCase(HeaderValue("CONTENT-TYPE:", ct));
        if ((!ContainsUpper(type, "MULTIPART") &&
             (expected.empty() || !ContainsUpper(type, expected))) ||
            leaf.depth >= kMaxPartDepth) {
            leaves.push_back(leaf);
            continue;
        }
        l = StripHeaders(l);
        auto boundary = GetBoundary(ct);
        if (!boundary) continue;
        const std::string& b = *boundary;
        const std::string close = b + "--";
        auto first = std::find(l.begin(), l.end(), b);
        if (first == l.end()) {
            // Not even the first delimiter: the text ends before any part began.
            msg_.endsEarly_ = true;
            continue;
        }
        l = l.subspan(std::size_t(first - l.begin()));
        std::vector<TPart> parts;
        std::size_t start = 1, i = 1;
        while (i < l.size() && l[i] != close) {
            if (l[i] == b) {
                parts.push_back(TPart{l.subspan(start, i - start), true, leaf.depth + 1});
                start = ++i;
                // The line right after a delimiter belongs to the part whatever it holds.
                if (i < l.size()) ++i;
            } else {
                ++i;
            }
        }
        // The last part is open when the closing delimiter ends it, else it ends where the text
        // does: the message was cut short.
        if (i == l.size()) msg_.endsEarly_ = true;
        parts.push_back(
            TPart{l.subspan(start, i - start), i < l.size() || leaf.lastLineOpen, leaf.depth + 1});
        pending.insert(pending.end(), parts.rbegin(), parts.rend());
    }
    return leaves;
}

void TPartParser::SavePart(TPart part, const std::string& contentType, std::string name,
                           const std::string& encoding) {
    const TLineSpan lines = part.lines;
    std::erase_if(name, [](char c) {
        return std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
    });
    if (contentType == "TEXT/HTML" && name.empty()) name = HtmlNameFor(msg_.subject_);
    // A name goes to disk and into listings: no control characters in it.
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; }, '_');
    TAttachedFile& item = msg_.attachments_.Add(name);
    if (encoding == "BASE64") {
        DecodeThroughSpool(msg_.attachments_, item, [&](TMailStream& file) {
            TBase64DecodingStream stream(file);
            for (std::string_view line : lines) stream.Write(line.data(), line.size());
            stream.Finish();
            if (stream.EndedMidGroup()) msg_.endsEarly_ = true;
        });
        return;
    }
    if (encoding == "X-UUENCODE") {
        DecodeThroughSpool(msg_.attachments_, item,
                           [&](TMailStream& file) { UUDecode(lines, file); });
        return;
    }
    TMailMemoryStream& data = item.CreateData();
    if (encoding == "QUOTED-PRINTABLE") {
        std::string text = PartText(part);
        QuotedPrintableDecode(text);
        text = CrLfLines(text, part.lastLineOpen);
        data.Write(text.data(), text.size());
    } else {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            data.Write(lines[i].data(), lines[i].size());
            if (i + 1 < lines.size() || !part.lastLineOpen) data.Write("\r\n", 2);
        }
    }
    data.Seek(0, TMailStream::soBeginning);
}
