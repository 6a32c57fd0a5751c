#include "mail/headers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string_view> Lines(std::initializer_list<std::string_view> lines) { return lines; }

}  // namespace

TEST(FindHeader, JoinsContinuationsWithoutBlankAndStopsAtEmptyLine) {
    auto lines = Lines({"Subject: one", "\t two", " three", "To: x", "", "X-Late: y"});
    std::string line;
    ASSERT_TRUE(FindHeader("SUBJECT:", lines, line));
    EXPECT_EQ(line, "Subject: onetwothree");
    EXPECT_FALSE(FindHeader("X-LATE:", lines, line));
    ASSERT_TRUE(FindHeader("X-LATE:", lines, line, true));
    EXPECT_EQ(line, "X-Late: y");
    // Only a line that starts with the name matches.
    EXPECT_FALSE(FindHeader("REPLY-TO:", Lines({"X-Reply-To: a"}), line));
}

TEST(HeaderValue, IsTrimmedAndCutAtTheFirstSemicolon) {
    EXPECT_EQ(HeaderValue("SUBJECT:", "Subject:  Orders; week 5 "), "Orders");
    EXPECT_EQ(HeaderValue("NAME", "Content-Type: text/plain; name=\"a;b.txt\""), "=\"a");
    EXPECT_EQ(HeaderValue("BOUNDARY", "x; boundary=abc"), "=abc");
    EXPECT_EQ(HeaderValue("NAME", "Content-Type: text/plain"), "");
}

TEST(DecodeHeader, DecodesEncodedWordsAndKeepsTheRest) {
    EXPECT_EQ(DecodeHeader("=?big5?B?pKSk5Q==?= order"), "\xa4\xa4\xa4\xe5 order");
    EXPECT_EQ(DecodeHeader("a =?iso-8859-1?q?caf=E9_au?= b"), "a caf\xe9_au b");
    EXPECT_EQ(DecodeHeader("=?x?B?YQ==?==?x?B?Yg==?="), "ab");
    EXPECT_EQ(DecodeHeader("x=?cs?Z?dropped?=y"), "xy");
    EXPECT_EQ(DecodeHeader("broken =?cs?Q?no end"), "broken =?cs?Q?no end");
    EXPECT_EQ(DecodeHeader("plain"), "plain");
}

TEST(DecodeHeader, DecodedBytesCanOpenAnotherEncodedWord) {
    // The Q word decodes to "?x?B?YQ==?=", which with the "=" before it is a B word for "a".
    EXPECT_EQ(DecodeHeader("==?x?Q?=3Fx=3FB=3FYQ=3D=3D=3F=3D?="), "a");
}

TEST(FormatAddressList, BuildsNameAndAddressItems) {
    EXPECT_EQ(FormatAddressList("a@b.c"), "\"a@b.c\" <a@b.c>");
    EXPECT_EQ(FormatAddressList("\"Doe, John\" <j@d.e>"), "\"\" <j@d.e>");
    EXPECT_EQ(FormatAddressList("j@d.e (John Doe), Ann <ann@x.y>"),
              "\"John Doe\" <j@d.e>, \"Ann\" <ann@x.y>");
    EXPECT_EQ(FormatAddressList("=?x?Q?O'Neil?= <o@n.e>"), "\"ONeil\" <o@n.e>");
    EXPECT_EQ(FormatAddressList("a@b.c,"), "\"a@b.c\" <a@b.c>");
}

TEST(GetPartHeader, TypeNameAndEncoding) {
    auto h = GetPartHeader(Lines({"Content-Type: Application/PDF; name=\"r.pdf\"",
                                  "Content-Transfer-Encoding: base64", "", "x"}));
    EXPECT_EQ(h.contentType, "APPLICATION/PDF");
    EXPECT_EQ(h.fileName, "r.pdf");
    EXPECT_EQ(h.encoding, "BASE64");
    h = GetPartHeader(Lines({"Content-Disposition: attachment; filename='=?x?B?YS5iaW4=?='", ""}));
    EXPECT_EQ(h.contentType, "TEXT/PLAIN");
    EXPECT_EQ(h.fileName, "a.bin");
    EXPECT_EQ(h.encoding, "7BIT");
}

TEST(StripHeaders, LeavesTheBody) {
    auto lines = Lines({"A: 1", "B: 2", "  ", "", "body", "", "more"});
    auto body = StripHeaders(lines);
    ASSERT_EQ(body.size(), 3u);
    EXPECT_EQ(body[0], "body");
    EXPECT_TRUE(StripHeaders(Lines({"only"})).empty());
}

TEST(FindUuBegin, ModeBetweenOneAnd776) {
    auto found = FindUuBegin(Lines({"text", "begin 644 x.bin", "M..."}));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->index, 1u);
    EXPECT_EQ(found->name, "x.bin");
    EXPECT_TRUE(FindUuBegin(Lines({"BEGIN 600 y"})));
    EXPECT_FALSE(FindUuBegin(Lines({"begin 777 x.bin"})));
    EXPECT_FALSE(FindUuBegin(Lines({"begin 000 x.bin"})));
    EXPECT_FALSE(FindUuBegin(Lines({"begin 644 "})));
    EXPECT_FALSE(FindUuBegin(Lines({"begin 6a4 x.bin"})));
}

TEST(GetBoundary, QuotedPlainCutAndMissing) {
    EXPECT_EQ(GetBoundary("Content-Type: multipart/mixed; boundary=\"=_a b\""), "--=_a b");
    EXPECT_EQ(GetBoundary("Content-Type: multipart/mixed; BOUNDARY= abc ; x=y"), "--abc");
    EXPECT_EQ(GetBoundary("multipart/mixed; boundary=" + std::string(80, 'b')),
              "--" + std::string(71, 'b'));
    EXPECT_FALSE(GetBoundary("Content-Type: multipart/mixed"));
}

TEST(GetPartHeader, NamesInExtendedParameterFormAreDecodedToTheirBytes) {
    auto name = [](std::string_view line) { return GetPartHeader(Lines({line, ""})).fileName; };
    EXPECT_EQ(name("Content-Type: application/pdf; name*=UTF-8''report.pdf"), "report.pdf");
    EXPECT_EQ(name("Content-Disposition: attachment; filename*=iso-8859-1'fr'caf%E9%20%3b%zz.txt"),
              "caf\xe9 ;%zz.txt");
    EXPECT_EQ(name("Content-Disposition: attachment; filename*0*=UTF-8''r%C3%A9; "
                   "filename*1*=sum%C3%A9;filename*2=\" 2024.pdf\""),
              "r\xc3\xa9sum\xc3\xa9 2024.pdf");
    // Plain continuations, in any order, and only the consecutive ones from 0.
    EXPECT_EQ(name("Content-Type: x/y; name*1=\"b;c\"; name*0=a; name*3=lost"), "ab;c");
    // The charset and language go only from an extended first piece.
    EXPECT_EQ(name("Content-Type: x/y; name*0=it's'a; name*1*=%41"), "it's'aA");
    // A plain name before the extended one is taken as before.
    EXPECT_EQ(name("Content-Type: x/y; name=\"plain.txt\"; name*=UTF-8''other.txt"), "plain.txt");
}
