#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "mail_test_support.h"

namespace {

std::vector<std::string> TextOf(const TOrvMsg& msg) {
    return std::vector<std::string>(msg.Text().begin(), msg.Text().end());
}

std::vector<std::string> NamesOf(const TOrvMsg& msg) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < msg.Attachments().Count(); ++i)
        names.push_back(msg.Attachments()[i].FileName());
    return names;
}

const char* const kMixed =
    "From: Orders <orders@x.y>\r\n"
    "Subject: Report 5.1\r\n"
    "Content-Type: multipart/mixed; boundary=\"B1\"\r\n"
    "\r\n"
    "preamble\r\n"
    "--B1\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "first text\r\n"
    "--B1\r\n"
    "Content-Type: multipart/alternative; boundary=B2\r\n"
    "\r\n"
    "--B2\r\n"
    "Content-Type: application/octet-stream; name=\"inner.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "aW5u\r\n"
    "ZXI=\r\n"
    "--B2\r\n"
    "Content-Type: text/html\r\n"
    "\r\n"
    "<p>x</p>\r\n"
    "--B2--\r\n"
    "--B1\r\n"
    "Content-Type: application/octet-stream\r\n"
    "Content-Disposition: attachment; filename=\"a:b?c.txt\"\r\n"
    "\r\n"
    "last\r\n"
    "--B1--\r\n"
    "epilogue\r\n";

}  // namespace

TEST(OrvMsg, Defaults) {
    TOrvMsg msg;
    EXPECT_EQ(msg.CharSet(), "ISO-8859-1");
    EXPECT_EQ(msg.Priority(), prNormal);
    EXPECT_EQ(msg.TextEncoding(), te8Bit);
    EXPECT_TRUE(msg.ClearRawMailAfterParse());
    EXPECT_TRUE(msg.From().empty());
    EXPECT_EQ(msg.Attachments().Count(), 0u);
    msg.ParseMsg();  // nothing to parse
    EXPECT_TRUE(msg.ContentType().empty());
}

TEST(ParseMsg, PlainMessageWithoutContentType) {
    auto msg = Parse(
        "From someone@x.y Mon Jan  1 00:00:00 2024\nSubject: Orders; week 5\nTo: a@b.c\n"
        "Message-ID: <id1@x>\n\nline one\n\nline two\n");
    EXPECT_EQ(msg->From(), "someone@x.y Mon Jan  1 00:00:00 2024");
    EXPECT_EQ(msg->Subject(), "Orders");
    EXPECT_EQ(msg->SendTo(), "\"a@b.c\" <a@b.c>");
    EXPECT_EQ(msg->MessageID(), "<id1@x>");
    EXPECT_EQ(msg->ContentType(), "TEXT/PLAIN");
    EXPECT_EQ(msg->ContentTransferEncoding(), "7BIT");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"line one", "", "line two"}));
    EXPECT_EQ(msg->Headers().Count(), 4u);
    EXPECT_TRUE(msg->RawMail().Empty());
}

TEST(ParseMsg, HeaderFieldsDecodedAndContinued) {
    auto msg = Parse(
        "From: =?big5?B?pKSk5Q==?= <a@b.c>\nSubject: =?big5?Q?a=A4?=\n b\n"
        "Cc: \"Doe, J\" <j@d.e>, k@l.m\nDate: Tue, 2 Jan 2024\n\nbody\n");
    EXPECT_EQ(msg->From(), "\xa4\xa4\xa4\xe5 <a@b.c>");
    EXPECT_EQ(msg->Subject(),
              "a\xa4"
              "b");
    EXPECT_EQ(msg->CC(), "\"\" <j@d.e>, \"k@l.m\" <k@l.m>");
    EXPECT_EQ(msg->Date(), "Tue, 2 Jan 2024");
    EXPECT_TRUE(msg->ReplyTo().empty());
}

TEST(ParseMsg, NestedMultipartsInDocumentOrder) {
    auto msg = Parse(kMixed);
    EXPECT_EQ(msg->ContentType(), "MULTIPART/MIXED");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"first text"}));
    ASSERT_EQ(NamesOf(*msg), (std::vector<std::string>{"inner.bin", "Report 5.html", "abc.txt"}));
    EXPECT_EQ(DataOf(*msg, 0), "inner");
    // The line break before a delimiter belongs to the delimiter.
    EXPECT_EQ(DataOf(*msg, 1), "<p>x</p>");
    EXPECT_EQ(DataOf(*msg, 2), "last");
    EXPECT_EQ(msg->Attachments()[1].ContentType(), LookupContentType("x.html"));
}

TEST(ParseMsg, ExpectedContentTypeIsSplitLikeAMultipart) {
    std::string raw =
        "Content-Type: application/x-orders; boundary=Q\n\n--Q\nContent-Type: text/plain; "
        "name=o.txt\n\nord\n--Q--\n";
    EXPECT_EQ(NamesOf(*Parse(raw, "application/x-orders")), (std::vector<std::string>{"o.txt"}));
    EXPECT_EQ(Parse(raw, "multipart/mixed")->Attachments().Count(), 0u);
}

TEST(ParseMsg, WithoutExpectedTypeInnerPartsAreStillLeaves) {
    auto msg = Parse(kMixed, "");
    EXPECT_EQ(msg->Attachments().Count(), 3u);
    msg = Parse(kMixed, "multipart/mixed");
    EXPECT_EQ(msg->Attachments().Count(), 3u);
}

TEST(ParseMsg, EmptyTypeWithoutExpectedTypeIsNotSplitForever) {
    auto msg = Parse(
        "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: ;x\n\nbody\n--B--\n", "");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"body"}));
}

TEST(ParseMsg, BoundaryThatNeverOccursYieldsNothing) {
    auto msg = Parse("Content-Type: multipart/mixed; boundary=zz\n\nbody\n--other\ntext\n");
    EXPECT_EQ(msg->Text().Count(), 0u);
    EXPECT_EQ(msg->Attachments().Count(), 0u);
    msg = Parse("Content-Type: multipart/mixed\n\n--zz\ntext\n");
    EXPECT_EQ(msg->Text().Count(), 0u);
}

TEST(ParseMsg, AMessageCutAnywhereBeforeItsClosingDelimiterEndsEarly) {
    const std::string whole = kMixed;
    const std::size_t closed = whole.find("--B1--") + 6;
    for (std::size_t cut = whole.find("\r\n\r\n") + 4; cut <= whole.size(); ++cut)
        ASSERT_EQ(Parse(whole.substr(0, cut))->EndsEarly(), cut < closed) << cut;
    // A Base64 body cut in the middle of a group, an attachment's or the text's.
    const std::string file = "Content-Type: a/b; name=a\nContent-Transfer-Encoding: base64\n\n";
    const std::string text = "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n";
    for (const auto& [raw, early] :
         std::vector<std::pair<std::string, bool>>{{file + "aW5uZXI=\n", false},
                                                   {file + "aW5u\nZX", true},
                                                   {text + "aW5u", false},
                                                   {text + "aW5uZXI", true}})
        EXPECT_EQ(Parse(raw)->EndsEarly(), early) << raw;
}

TEST(ParseMsg, UuencodedBlockInsideText) {
    auto msg = Parse("Subject: uu\n\nhello\nbegin 644 x.bin\n#0V%T\n\n`\nend\nbye\n");
    ASSERT_EQ(NamesOf(*msg), (std::vector<std::string>{"x.bin"}));
    EXPECT_EQ(DataOf(*msg, 0), "Cat");
    EXPECT_EQ(msg->Attachments()[0].ContentType(), "application/octet-stream");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"hello", "end", "bye"}));
}

TEST(ParseMsg, UuBeginWithMode777StaysText) {
    auto msg = Parse("Subject: uu\n\nbegin 777 x.bin\n#0V%T\nend\n");
    EXPECT_EQ(msg->Attachments().Count(), 0u);
    EXPECT_EQ(msg->Text().Count(), 3u);
}

TEST(ParseMsg, UuBlockErrors) {
    try {
        Parse("Subject: uu\n\nbegin 644 x.bin\n#0V%T\n");
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_EQ(std::string(e.what()).rfind("List index out of bounds", 0), 0u);
    }
    try {
        Parse("Subject: uu\n\nbegin 644 x.bin\n#0v%T\nend\n");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Oops...");
    }
}

TEST(ParseMsg, DispositionNotificationReport) {
    auto msg = Parse(
        "Content-Type: multipart/report; "
        "report-type=disposition-notification;\n\tboundary=\"R\"\n\n"
        "--R\nContent-Type: text/plain\n\nYour message was read.\n"
        "--R\nContent-Type: message/disposition-notification\n\n"
        "Reporting-UA: x\nOriginal-Message-ID: <orig@x.y>\nDisposition: "
        "manual-action/MDN-sent-manually; displayed\n"
        "--R--\n");
    EXPECT_EQ(msg->ContentType(), "MULTIPART/REPORT");
    EXPECT_EQ(msg->MDNReportType(), "DISPOSITION-NOTIFICATION");
    EXPECT_EQ(msg->MDNOrgMessageID(), "orig@x.y");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"Your message was read."}));
}

TEST(ParseMsg, EmbeddedMessage) {
    auto msg = Parse(
        "Content-Type: multipart/mixed; boundary=M\n\n--M\nContent-Type: message/rfc822\n\n"
        "Message-ID: <inner@x>\nSubject: inner\n\ninner body\n--M--\n");
    EXPECT_EQ(msg->MDNOrgMessageID(), "inner@x");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"inner body"}));
}

TEST(ParseMsg, EncodedTextBodies) {
    auto msg =
        Parse("Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\nb25lDQp0\nd28=\n");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"one", "two"}));
    msg = Parse(
        "Content-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\nsoft=\nbreak "
        "=3D\n");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"softbreak ="}));
}

TEST(ParseMsg, Base64AttachmentWithBlanksAtLineEnds) {
    auto msg = Parse(
        "Content-Type: application/octet-stream; name=b.bin\nContent-Transfer-Encoding: base64\n\n"
        "AAEC \nAwQF\t\n BgcI \nCQ==  \n");
    EXPECT_EQ(DataOf(*msg, 0), std::string("\0\1\2\3\4\5\6\7\x08\x09", 10));
}

TEST(ParseMsg, DecodedDataWaitsInAnUnnamedTemporaryFile) {
    TScratchDir tmp, out;
    ::setenv("TMPDIR", tmp.Path().c_str(), 1);
    auto msg = Parse(
        "Content-Type: application/octet-stream; name=b.bin\nContent-Transfer-Encoding: "
        "base64\n\nAAECAw==\n");
    ::unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
    const TAttachedFile& item = msg->Attachments()[0];
    EXPECT_EQ(item.DataSize(), 4u);
    item.SaveToFile((out.Path() / "b.bin").string());
    EXPECT_EQ(ReadFile(out.Path() / "b.bin"), std::string("\0\1\2\3", 4));
    EXPECT_EQ(DataOf(*msg, 0), std::string("\0\1\2\3", 4));
    item.SaveToFile((out.Path() / "c.bin").string());
    EXPECT_EQ(ReadFile(out.Path() / "c.bin"), std::string("\0\1\2\3", 4));
}

TEST(ParseMsg, QuotedPrintableAndPlainAttachmentsEndLinesWithCrLf) {
    auto msg = Parse(
        "Content-Type: text/plain; name=q.txt\nContent-Transfer-Encoding: quoted-printable\n\n"
        "caf=E9 =\nnoir\nline2\n");
    EXPECT_EQ(DataOf(*msg, 0), "caf\xe9 noir\r\nline2\r\n");
    msg = Parse("Content-Type: application/octet-stream; name=p.txt\n\nl1\nl2\n");
    EXPECT_EQ(DataOf(*msg, 0), "l1\r\nl2\r\n");
}

TEST(ParseMsg, LineBreakBeforeADelimiterIsNotAttachmentData) {
    auto msg = Parse(
        "Content-Type: multipart/mixed; boundary=D\n\n--D\nContent-Type: text/plain; "
        "name=a.txt\n\nl1\nl2\n\n"
        "--D\nContent-Type: text/plain; name=q.txt\nContent-Transfer-Encoding: "
        "quoted-printable\n\nq1=\nq2\n\n"
        "--D\nContent-Type: text/plain; name=s.txt\nContent-Transfer-Encoding: "
        "quoted-printable\n\nsoft=\n--D\n"
        "Content-Type: text/plain\n\ntext\n\n--D--\n");
    EXPECT_EQ(DataOf(*msg, 0), "l1\r\nl2\r\n");
    EXPECT_EQ(DataOf(*msg, 1), "q1q2\r\n");
    EXPECT_EQ(DataOf(*msg, 2), "soft");
    // Text keeps every line, the empty one before the delimiter included.
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"text", ""}));
}

TEST(ParseMsg, AttachmentKeepsItsLeadingEmptyLinesTextDoesNot) {
    auto msg = Parse("Content-Type: text/plain; name=e.txt\n\n\n\nthird\n");
    EXPECT_EQ(DataOf(*msg, 0), "\r\n\r\nthird\r\n");
    msg = Parse("Subject: s\n\n\n\nfirst\n");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"first"}));
}

TEST(ParseMsg, RawMailKeptOnRequestAndParsingTwiceAccumulates) {
    TOrvMsg msg;
    msg.SetClearRawMailAfterParse(false);
    msg.RawMail().SetText("Subject: s\n\nbody\n");
    msg.ParseMsg();
    EXPECT_EQ(msg.RawMail().Count(), 3u);
    msg.ParseMsg();
    EXPECT_EQ(msg.Text().Count(), 2u);
}

TEST(AttachedFiles, AddSaveAndInvalidOp) {
    TScratchDir dir;
    TAttachedFiles files;
    TAttachedFile& item = files.Add("/some/folder/r.pdf");
    EXPECT_EQ(item.FileName(), "r.pdf");
    EXPECT_EQ(item.SourcePath(), "/some/folder/r.pdf");
    EXPECT_EQ(files.Add("noext").ContentType(), "application/octet-stream");
    try {
        item.SaveToFile((dir.Path() / "r.pdf").string());
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid op.");
    }
    item.CreateData().Write("new", 3);
    WriteFile(dir.Path() / "r.pdf", "older content");
    item.SaveToFile((dir.Path() / "r.pdf").string());
    EXPECT_EQ(ReadFile(dir.Path() / "r.pdf"), "new");
    // Only the saved file is left: the temporary name went with the rename.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_THROW(item.SaveToFile((dir.Path() / "missing" / "r.pdf").string()), std::runtime_error);

    // Modes: a replaced file keeps its own, a new file gets what the umask allows.
    const auto path = (dir.Path() / "r.pdf").string();
    ::chmod(path.c_str(), 0600);
    item.SaveToFile(path);
    const mode_t old = ::umask(027);
    item.SaveToFile((dir.Path() / "fresh.pdf").string());
    ::umask(old);
    struct stat kept {
    }, fresh{};
    ::stat(path.c_str(), &kept);
    ::stat((dir.Path() / "fresh.pdf").c_str(), &fresh);
    EXPECT_EQ(kept.st_mode & 0777, 0600u);
    EXPECT_EQ(fresh.st_mode & 0777, 0640u);
}

TEST(AttachedFiles, ContentTypeLookup) {
    TScratchDir dir;
    WriteFile(dir.Path() / "types", "# comment\napplication/pdf\t\tpdf\ntext/plain txt text\n");
    std::string table = (dir.Path() / "types").string();
    EXPECT_EQ(LookupContentTypeIn("a/R.PDF", table), "application/pdf");
    EXPECT_EQ(LookupContentTypeIn("x.text", table), "text/plain");
    EXPECT_EQ(LookupContentTypeIn("x.zzz", table), "application/octet-stream");
    EXPECT_EQ(LookupContentTypeIn("x.pdf", (dir.Path() / "none").string()),
              "application/octet-stream");
}

TEST(ParseMsg, OldMacTextBodyOfManyMegabytesSplitsAtEachCr) {
    // 8 MB of text with lone CR line ends behind soft line breaks: searching the rest of the
    // text for a line feed at each line would take minutes.
    const std::size_t kLines = std::size_t(1) << 20;
    std::string raw = "Content-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\n";
    char line[16];
    for (std::size_t i = 0; i < kLines; ++i)
        raw.append(line, std::size_t(std::snprintf(line, sizeof line, "%07zu=0D=\n", i)));
    auto msg = Parse(raw);
    ASSERT_EQ(msg->Text().Count(), kLines);
    EXPECT_EQ(msg->Text()[12345], "0012345");
    EXPECT_EQ(msg->Text()[kLines - 1], "1048575");
}

namespace {

// Lowers the soft limit of open descriptors while it lives.
class TDescriptorLimit {
  public:
    explicit TDescriptorLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lower = saved_;
        lower.rlim_cur = std::min(limit, saved_.rlim_cur);
        ::setrlimit(RLIMIT_NOFILE, &lower);
    }
    ~TDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

  private:
    rlimit saved_{};
};

// depth multiparts, each the only part of the one around it, with leaf innermost.
std::string NestedMultiparts(std::size_t depth, const std::string& leaf) {
    std::string raw;
    for (std::size_t i = 0; i < depth; ++i) {
        std::string b = "N" + std::to_string(i);
        raw += "Content-Type: multipart/mixed; boundary=" + b + "\n\n--" + b + "\n";
    }
    raw += leaf;
    for (std::size_t i = depth; i-- > 0;) raw += "--N" + std::to_string(i) + "--\n";
    return raw;
}

}  // namespace

TEST(ParseMsg, ThousandsOfAttachmentsNeedNoDescriptorEach) {
    // Far more attachments than descriptors; attachment i holds the three bytes of i * 4099.
    const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    auto bytes = [](unsigned i) {
        return std::string{char(i * 4099 >> 16), char(i * 4099 >> 8), char(i * 4099)};
    };
    std::string raw = "Content-Type: multipart/mixed; boundary=B\n\n";
    for (unsigned i = 0; i < 3000; ++i) {
        raw +=
            "--B\nContent-Type: application/octet-stream; name=a.bin\n"
            "Content-Transfer-Encoding: base64\n\n";
        for (unsigned shift : {18, 12, 6, 0}) raw += kAlphabet[i * 4099 >> shift & 63];
        raw += "\n";
    }
    TScratchDir dir;
    TDescriptorLimit limit(64);
    auto msg = Parse(raw + "--B--\n");
    ASSERT_EQ(msg->Attachments().Count(), 3000u);
    // Saved from the shared file, then loaded from it.
    msg->Attachments()[1500].SaveToFile((dir.Path() / "a.bin").string());
    EXPECT_EQ(ReadFile(dir.Path() / "a.bin"), bytes(1500));
    for (unsigned i = 0; i < 3000; ++i) ASSERT_EQ(DataOf(*msg, i), bytes(i)) << i;
}

TEST(ParseMsg, UuencodedPartWithBlankLinesAroundItsData) {
    auto msg = Parse(
        "Content-Type: multipart/mixed; boundary=U\n\n--U\nContent-Type: application/octet-stream; "
        "name=c.bin\nContent-Transfer-Encoding: x-uuencode\n\n\n \nbegin 644 c.bin\n#0V%T\n\n"
        "end\n--U\nContent-Type: application/octet-stream; name=d.bin\nContent-Transfer-Encoding: "
        "x-uuencode\n\nbegin 644 d.bin\n#0V%T\n\t\n`\n\nend\n--U--\n");
    ASSERT_EQ(NamesOf(*msg), (std::vector<std::string>{"c.bin", "d.bin"}));
    EXPECT_EQ(DataOf(*msg, 0), "Cat");
    EXPECT_EQ(DataOf(*msg, 1), "Cat");
}

TEST(ParseMsg, PartsNestedDeeperThanAHundredLevelsStayText) {
    const std::string leaf =
        "Content-Type: application/octet-stream; name=deep.bin\nContent-Transfer-Encoding: "
        "base64\n\nAAEC\n";
    EXPECT_EQ(NamesOf(*Parse(NestedMultiparts(100, leaf))), (std::vector<std::string>{"deep.bin"}));
    // One level more: the innermost multipart is not opened; its body is text as it stands.
    auto msg = Parse(NestedMultiparts(101, leaf));
    EXPECT_EQ(msg->Attachments().Count(), 0u);
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{
                                "--N100", "Content-Type: application/octet-stream; name=deep.bin",
                                "Content-Transfer-Encoding: base64", "", "AAEC", "--N100--"}));
    // Embedded messages are levels too.
    std::string messages;
    for (int i = 0; i < 100; ++i) messages += "Content-Type: message/rfc822\n\n";
    EXPECT_EQ(Parse(messages + leaf)->Attachments().Count(), 1u);
    EXPECT_EQ(Parse(messages + messages + leaf)->Attachments().Count(), 0u);
    // Far deeper nesting costs no more than a hundred passes over the message.
    msg = Parse(NestedMultiparts(30000, leaf));
    ASSERT_GT(msg->Text().Count(), 0u);
    EXPECT_EQ(msg->Text()[0], "--N100");
}

TEST(ParseMsg, AttachmentNamesAreCleanedOfControlCharactersAndBlanks) {
    auto msg = Parse(
        "Subject: =?x?Q?Week=095?=\nContent-Type: multipart/mixed; boundary=C\n\n"
        "--C\nContent-Type: application/octet-stream; name=\"a\tb\x01\x7f\xe9.txt\"\n\nx\n"
        "--C\nContent-Type: application/octet-stream; name=\"=?x?Q?r=0Aport.txt?=\"\n\nx\n"
        "--C\nContent-Type: application/octet-stream; name*=UTF-8''%0Dlog%2F%C3%A9.txt\n\nx\n"
        "--C\nContent-Type: text/plain\n\nbegin 0644 a.bin\n#0V%T\nend\n"
        "--C\nContent-Type: text/html\n\n<p/>\n--C--\n");
    EXPECT_EQ(NamesOf(*msg),
              (std::vector<std::string>{"a_b__\xe9.txt", "r_port.txt", "_log\xc3\xa9.txt", "a.bin",
                                        "Week_5.html"}));
}

TEST(ParseMsg, Base64WithoutItsFinalPaddingKeepsItsLastBytes) {
    auto msg = Parse(
        "Subject: =?x?B?YQ?=\nContent-Type: application/octet-stream; name=p.bin\n"
        "Content-Transfer-Encoding: base64\n\nAAECAwQ\n");
    EXPECT_EQ(msg->Subject(), "a");
    EXPECT_EQ(DataOf(*msg, 0), std::string("\0\1\2\3\4", 5));
    msg = Parse("Content-Transfer-Encoding: base64\n\nb25lDQp0d28\n");
    EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"one", "two"}));
}

TEST(ParseMsg, MultipartOutsideTheMediaTypeIsNotAMultipart) {
    const std::string raw =
        "Content-Type: multipart/mixed; boundary=G\n\n--G\nContent-Type: application/pdf; "
        "name=Multipart_Guide.pdf\nContent-Transfer-Encoding: base64\n\nJVBERg==\n"
        "--G\nContent-Type: text/plain; x-note=\"multipart\"\n\nnote\n--G--\n";
    for (const char* expected : {"", "multipart/mixed"}) {
        auto msg = Parse(raw, expected);
        ASSERT_EQ(NamesOf(*msg), (std::vector<std::string>{"Multipart_Guide.pdf"})) << expected;
        EXPECT_EQ(DataOf(*msg, 0), "%PDF");
        EXPECT_EQ(TextOf(*msg), (std::vector<std::string>{"note"}));
    }
}
