#include "mail/encodings.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "mail/base64_stream.h"
#include "mail_test_support.h"

namespace {

std::string Decode64InPieces(const std::string& text, std::size_t piece) {
    TStringStream out;
    TBase64DecodingStream stream(out);
    for (std::size_t i = 0; i < text.size(); i += piece) {
        std::string chunk = text.substr(i, piece);
        stream.Write(chunk.data(), chunk.size());
    }
    return out.bytes;
}

std::vector<std::string_view> Lines(const std::vector<std::string>& lines) {
    return std::vector<std::string_view>(lines.begin(), lines.end());
}

std::string UuDecoded(const std::vector<std::string>& lines) {
    TStringStream out;
    auto views = Lines(lines);
    UUDecode(views, out);
    return out.bytes;
}

}  // namespace

TEST(Base64Stream, DecodesWholeOrInPiecesAndSkipsLineBreaks) {
    EXPECT_EQ(Decode64InPieces("YWJj", 4), "abc");
    EXPECT_EQ(Decode64InPieces("YWJj", 2), "abc");
    EXPECT_EQ(Decode64InPieces("YW\r\nJj", 1), "abc");
    EXPECT_EQ(Decode64InPieces("", 1), "");
}

TEST(Base64Stream, PadRules) {
    EXPECT_EQ(Decode64InPieces("YQ==", 4), "a");
    EXPECT_EQ(Decode64InPieces("YWI=", 4), "ab");
    EXPECT_EQ(Decode64InPieces("=AAA", 4), "");
    // A group still short when the stream is freed is dropped.
    EXPECT_EQ(Decode64InPieces("YWJjYQ", 3), "abc");
}

TEST(Base64Stream, SkipsBlanksTabsAndOtherCharactersOutsideTheAlphabet) {
    // Blanks and TABs at line ends (common in real mail) must not shift the grouping.
    EXPECT_EQ(Decode64InPieces("YWJj \tZGVm\t \r\nZ2hp !", 5), "abcdefghi");
    EXPECT_EQ(Decode64InPieces("Y*W.J-j", 7), "abc");
}

TEST(Base64Stream, WriteReportsDecodedBytesAndRefusesReadAndSeek) {
    TStringStream out;
    TBase64DecodingStream stream(out);
    EXPECT_EQ(stream.Write("YWJjZA", 6), 3u);
    EXPECT_EQ(stream.Write("==", 2), 1u);
    EXPECT_EQ(out.bytes, "abcd");
    char buf[4];
    try {
        stream.Read(buf, 4);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid stream operation");
    }
    EXPECT_THROW(stream.Seek(0, TMailStream::soBeginning), std::runtime_error);
}

TEST(QuotedPrintable, Decodes) {
    EXPECT_EQ(QuotedPrintableDecoded("=41"), "A");
    EXPECT_EQ(QuotedPrintableDecoded("=4a=4A"), "JJ");
    EXPECT_EQ(QuotedPrintableDecoded("x=4gy"), "x@y");
    EXPECT_EQ(QuotedPrintableDecoded("one=\r\ntwo\r\n"), "onetwo\r\n");
    EXPECT_EQ(QuotedPrintableDecoded("a_b"), "a_b");
    EXPECT_EQ(QuotedPrintableDecoded("end=4"), "end");
    EXPECT_EQ(QuotedPrintableDecoded("end="), "end");
    EXPECT_EQ(QuotedPrintableDecoded(""), "");
    EXPECT_EQ(QuotedPrintableDecoded("=00=FF"), std::string("\0\xff", 2));
}

TEST(QuotedPrintable, SoftBreakWithLoneLineFeedKeepsTheNextCharacter) {
    EXPECT_EQ(QuotedPrintableDecoded("one=\ntwo"), "onetwo");
    EXPECT_EQ(QuotedPrintableDecoded("one=\rtwo"), "onetwo");
}

TEST(UuDecode, FullAndShortLinesUseTheirCount) {
    // "Cat" is #0V%T; 45 bytes of "a" make one full M line.
    EXPECT_EQ(UuDecoded({"begin 644 c", "#0V%T", "`", "end"}), "Cat");
    std::string line = "M" + std::string(60, '8');
    for (int i = 0; i < 60; i += 4) line.replace(1 + i, 4, "86%A");
    EXPECT_EQ(UuDecoded({"begin 644 a", line, "#86%A", "end"}), std::string(48, 'a'));
}

TEST(UuDecode, MissingTrailingCharactersAreZeroAndLinesWithoutEndAreDecoded) {
    EXPECT_EQ(UuDecoded({"begin 644 z", "#```"}), std::string(3, '\0'));
    EXPECT_EQ(UuDecoded({"begin 644 z", "#"}), std::string(3, '\0'));
    EXPECT_EQ(UuDecoded({"begin 644 z"}), "");
    EXPECT_EQ(UuDecoded({"begin 644 c", "#0V%T", "#0V%T"}), "CatCat");
}

TEST(UuDecode, CharacterOutsideTheTableIsAnError) {
    try {
        UuDecoded({"begin 644 c", "#0v%T"});
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Oops...");
    }
    EXPECT_EQ(UuValue(' '), 0u);
    EXPECT_EQ(UuValue('`'), 0u);
    EXPECT_EQ(UuValue('!'), 1u);
    EXPECT_EQ(UuValue('_'), 63u);
}

TEST(MailLines, LinesEndAtCrLfOrCrLfAndCopiesAreDeep) {
    TMailLines lines;
    lines.SetText(std::string("a\r\nb\nc\rd\r\r\n\ne\0f", 15));
    std::vector<std::string_view> want{"a", "b", "c", "d", "", "", std::string_view("e\0f", 3)};
    EXPECT_EQ(std::vector<std::string_view>(lines.begin(), lines.end()), want);
    lines.SetText("x\r\n");
    EXPECT_EQ(lines.Count(), 1u);
    TMailLines copy = lines;
    lines.Clear();
    lines.Add("other");
    EXPECT_EQ(copy[0], "x");
    EXPECT_EQ(copy.Text(), "x\r\n");
}

TEST(SystemTempFile, IsFreshWithPrefixInTmpdir) {
    TScratchDir dir;
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
    std::string a = MakeSystemTempFile(), b = MakeSystemTempFile();
    ::unsetenv("TMPDIR");
    EXPECT_NE(a, b);
    EXPECT_EQ(std::filesystem::path(a).parent_path(), dir.Path());
    EXPECT_EQ(std::filesystem::path(a).filename().string().substr(0, 3), "orv");
    EXPECT_EQ(std::filesystem::file_size(a), 0u);
}

TEST(MailLines, ManySmallAppendsGrowTheListGeometrically) {
    // Tiny text parts, plain and decoded by turns: copying the whole list on every append would
    // take hours, a fresh block for each plain line after decoded text gigabytes.
    TMailLines lines;
    const std::string_view one[] = {"p"};
    for (int i = 0; i < 500'000; ++i) {
        lines.AddLines(one);
        lines.AddText("q\r\n");
    }
    ASSERT_EQ(lines.Count(), 1'000'000u);
    EXPECT_EQ(lines[999'998], "p");
    EXPECT_EQ(lines[999'999], "q");
}
