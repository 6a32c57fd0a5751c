#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "mail_test_support.h"

namespace {

// What a parse gave, in one line: text lines, attachments with their bytes, the embedded or
// original message id, whether the message ended early; or the error.
std::string Outcome(const std::string& expected, const std::function<void(TOrvMsg&)>& parse) {
    TOrvMsg msg;
    msg.SetExpectedContentType(expected);
    try {
        parse(msg);
    } catch (const std::exception& e) {
        return std::string("error ") + e.what();
    }
    std::string out = "text";
    for (std::string_view line : msg.Text()) out += "|" + std::string(line);
    out += " files";
    for (std::size_t i = 0; i < msg.Attachments().Count(); ++i)
        out += "|" + msg.Attachments()[i].FileName() + "=" + DataOf(msg, i);
    if (!msg.MDNOrgMessageID().empty()) out += " id " + msg.MDNOrgMessageID();
    if (msg.EndsEarly()) out += " early";
    return out;
}

struct TCase {
    std::string raw, expected, outcome;
};

}  // namespace

TEST(ParseMsgFile, PartsThatNeedLookingAheadGiveTheSameFromMemoryAndFromAFileReadInPieces) {
    const std::string mixed = "Content-Type: multipart/mixed; boundary=D\n\n";
    std::vector<TCase> cases = {
        // A named or HTML text part is text only when it holds a uuencoded block.
        {"Content-Type: text/plain; name=n.txt\n\nhi\nbegin 644 x.bin\n#0V%T\n\n`\nEND\nbye\n", "",
         "text|hi|END|bye files|x.bin=Cat"},
        {"Content-Type: text/plain; name=n.txt\n\n\nl1\nl2", "",
         "text files|n.txt=\r\nl1\r\nl2\r\n"},
        {"Subject: a.b\nContent-Type: text/html\n\n<p>\n", "", "text files|a.html=<p>\r\n"},
        // A block without its "end" line fails with the index past the part, before any fault
        // in its data.
        {"Subject: uu\n\nhi\nbegin 644 x.bin\n#0V%T\n", "", "error List index out of bounds (3)"},
        {"Subject: uu\n\nbegin 644 x.bin\n#0v%T\n\n", "", "error List index out of bounds (3)"},
        {"Subject: uu\n\nbegin 644 x.bin\n#0v%T\nend\n", "", "error Oops..."},
        // The line break before a delimiter belongs to the delimiter.
        {mixed + "--D\nContent-Type: a/b; name=p\n\nl1\n\n--D\nContent-Type: a/b; name=q\n"
                 "Content-Transfer-Encoding: quoted-printable\n\nq=3D1=\nq2=0D\n--D\n"
                 "Content-Type: a/b; name=s\nContent-Transfer-Encoding: quoted-printable\n\n"
                 "soft=\n--D--\n",
         "", "text files|p=l1\r\n|q=q=1q2\r\n|s=soft"},
        // The line right after a delimiter is the part's, even a closing delimiter.
        {mixed + "--D\n\n--D\n--D--\n\nafter\n--D--\n", "", "text|after files"},
        // An outer delimiter ends an inner multipart that lacks its closing delimiter.
        {mixed + "--D\nContent-Type: multipart/alternative; boundary=E\n\n--E\n\ninner\n--D\n"
                 "Content-Type: text/plain\n\nouter\n--D--\n",
         "", "text|inner|outer files early"},
        {"Content-Type: application/x-orders; boundary=Q\n\n--Q\nContent-Type: text/plain; "
         "name=o.txt\n\nord\n--Q--\n",
         "application/x-orders", "text files|o.txt=ord"},
        {mixed + "--D\nContent-Type: message/rfc822\n\nSubject: in\nMessage-ID:\n <in@x>\n\nbody\n"
                 "--D\nContent-Type: message/disposition-notification\n\nReporting-UA: x\n\n"
                 "Original-Message-ID: <o@x>\n--D--\n",
         "", "text|body|Original-Message-ID: <o@x> files id o@x"},
        // Line ends of every kind, and text decoded into lines of its own.
        {"Subject: s\r\rl1\r\nl2\nl3\r\r\n", "", "text|l1|l2|l3| files"},
        {"Content-Transfer-Encoding: quoted-printable\n\na=0Db=0D=\n=0Ac\n", "",
         "text|a|b|c files"},
        {"Content-Transfer-Encoding: base64\n\nb25l\nDQp0d28NCnRocmVlDQpmb3VyDQ\n", "",
         "text|one|two|three|four files early"},
    };
    // Lines of every length up to 40 with CR LF ends: read in small pieces, some CR LF pair
    // falls across two of them.
    std::string raw = "Subject: s\r\n\r\n", outcome = "text";
    for (std::size_t n = 1; n <= 40; ++n) {
        raw += std::string(n, 'x') + "\r\n" + (n % 8 ? "" : "\r\n");
        outcome += "|" + std::string(n, 'x') + (n % 8 ? "" : "|");
    }
    cases.push_back({raw, "", outcome + " files"});
    TScratchDir dir;
    const std::string path = (dir.Path() / "m.eml").string();
    for (const TCase& c : cases) {
        EXPECT_EQ(Outcome(c.expected,
                          [&](TOrvMsg& msg) {
                              msg.RawMail().SetText(c.raw);
                              msg.ParseMsg();
                          }),
                  c.outcome)
            << c.raw;
        WriteFile(path, c.raw);
        for (std::size_t buffer : {1, 2, 3, 7, 65536})
            EXPECT_EQ(Outcome(c.expected, [&](TOrvMsg& msg) { msg.ParseMsgFile(path, buffer); }),
                      c.outcome)
                << c.raw << " read " << buffer << " bytes at a time";
    }
}

TEST(ParseMsgFile, HeaderBlocksAreReadOnlyAsFarAsNeededAndRefusedPastTheirLimit) {
    TScratchDir dir;
    const std::string path = (dir.Path() / "m.eml").string();
    // Nine megabytes of header lines: the check stops at the first mail field, the parse
    // refuses the block instead of holding it.
    std::string huge;
    while (huge.size() < 9 << 20) huge += "X-Filler: 0123456789012345678901234567890123456789\n";
    for (const auto& [raw, isMail] :
         std::vector<std::pair<std::string, bool>>{{"From a@b Mon\nSubject: s\n\nbody\n", true},
                                                   {"X-Other: 1\n\nSubject: s\n", false},
                                                   {"<html>\n" + huge, false},
                                                   {"", false},
                                                   {"Subject: s\n" + huge + "\nbody\n", true}}) {
        WriteFile(path, raw);
        EXPECT_EQ(MailFileHasHeaderBlock(path), isMail) << raw.substr(0, 40);
    }
    const std::string refused = "error The header block is longer than 8 MB";
    EXPECT_EQ(Outcome("", [&](TOrvMsg& msg) { msg.ParseMsgFile(path); }), refused);
    // A part's own header block is held to the same limit.
    WriteFile(path, "Content-Type: multipart/mixed; boundary=B\n\n--B\n" + huge + "\n--B--\n");
    EXPECT_EQ(Outcome("", [&](TOrvMsg& msg) { msg.ParseMsgFile(path); }), refused);
    EXPECT_THROW(MailFileHasHeaderBlock((dir.Path() / "missing").string()), std::runtime_error);
}
