#include "https/response_reader.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// What a reader reported, with consecutive body pieces joined so that the record does not
// depend on how the bytes were split.
struct TRecord {
    std::vector<std::string> events;
    std::string statusLine, headerText, redirect;
    uint64_t bodyBytes = 0;
    bool lastChunk = false;
    bool operator==(const TRecord&) const = default;
};

// With hold, the first piece is fed to a held reader, which must raise no event for it.
TRecord Read(const std::vector<std::string_view>& pieces, bool follow, bool hold = false) {
    TRecord record;
    TResponseReader reader(follow);
    reader.Events.Header = [&](const std::string& f, const std::string& v) {
        record.events.push_back("header " + f + "|" + v);
    };
    reader.Events.SetCookie = [&](const TSetCookie& c) {
        record.events.push_back("cookie " + c.Name + "|" + c.Value + "|" + c.Expires + "|" +
                                c.Domain + "|" + c.Path + "|" + (c.Secure ? "secure" : "-"));
    };
    reader.Events.StartTransfer = [&] { record.events.push_back("start"); };
    reader.Events.Body = [&](std::string_view piece) {
        if (record.events.empty() || !record.events.back().starts_with("body "))
            record.events.push_back("body ");
        record.events.back() += piece;
    };
    for (auto piece : pieces) {
        if (hold) reader.Hold();
        reader.Feed(piece);
        EXPECT_TRUE(!hold || record.events.empty());
        if (std::exchange(hold, false)) reader.Feed(reader.Release());
    }
    reader.Finish();
    record.statusLine = reader.StatusLine();
    record.headerText = reader.HeaderText();
    record.redirect = reader.RedirectTarget();
    record.bodyBytes = reader.BodyBytes();
    record.lastChunk = reader.LastChunkArrived();
    return record;
}

// Reads the response whole, split in two at every byte position (the first part also while
// held), and byte by byte; every way must give the same record, which is returned.
TRecord ReadEverySplit(const std::string& response, bool follow = false) {
    const TRecord whole = Read({response}, follow);
    for (size_t at = 0; at <= response.size(); ++at) {
        const std::string_view all(response);
        EXPECT_EQ(Read({all.substr(0, at), all.substr(at)}, follow), whole) << "split at " << at;
        EXPECT_EQ(Read({all.substr(0, at), all.substr(at)}, follow, true), whole) << "held " << at;
    }
    std::vector<std::string_view> bytes;
    for (size_t i = 0; i < response.size(); ++i)
        bytes.push_back(std::string_view(response).substr(i, 1));
    EXPECT_EQ(Read(bytes, follow), whole) << "byte by byte";
    return whole;
}

TEST(ResponseReaderTest, HeadersCookiesAndBody) {
    const TRecord record = ReadEverySplit(
        "HTTP/1.1 200 OK\r\n"
        "Content-Type: text/plain\r\n"
        "Set-Cookie: id=42; expires=Wed, 01 Jan 2031 00:00:00 GMT; path=/; domain=.x.com; "
        "secure\r\n"
        " folded\r\n"
        "Odd:no-space\r\n"
        "NoColon\r\n"
        "\r\n"
        "body\r\n\r\nmore\n");
    EXPECT_EQ(record.statusLine, "HTTP/1.1 200 OK");
    const std::vector<std::string> events = {
        "header Content-Type|text/plain",
        "header Set-Cookie|id=42; expires=Wed, 01 Jan 2031 00:00:00 GMT; path=/; domain=.x.com; "
        "secure",
        "cookie id|42|Wed, 01 Jan 2031 00:00:00 GMT|.x.com|/|secure",
        "header |folded",
        "header Odd|no-space",
        "header NoColon|",
        "start",
        "body body\r\n\r\nmore\n",
    };
    EXPECT_EQ(record.events, events);
    EXPECT_EQ(record.bodyBytes, 13u);
    EXPECT_TRUE(record.headerText.starts_with("Content-Type: text/plain\r\nSet-Cookie: id=42;"));
    EXPECT_TRUE(record.headerText.ends_with("NoColon\r\n"));
}

TEST(ResponseReaderTest, LineFeedOnlyLinesAndBareStatusLine) {
    const TRecord record = ReadEverySplit("HTTP/1.0 404 Not Found\nX: y\n\nNo");
    EXPECT_EQ(record.statusLine, "HTTP/1.0 404 Not Found");
    EXPECT_EQ(record.events, (std::vector<std::string>{"header X|y", "start", "body No"}));
    EXPECT_EQ(StatusCodeText(record.statusLine), "404 Not Found");

    // The connection closed before the line feed: the line still counts.
    EXPECT_EQ(ReadEverySplit("HTTP/1.0 204 No Content").statusLine, "HTTP/1.0 204 No Content");
    EXPECT_TRUE(ReadEverySplit("").statusLine.empty());
}

TEST(ResponseReaderTest, ResponseWithoutStatusLineIsBodyInFull) {
    const TRecord record = ReadEverySplit("hello\nHTTP/1.0 200 OK\n\nworld");
    EXPECT_EQ(record.statusLine, "");
    EXPECT_EQ(record.events, (std::vector<std::string>{"body hello\nHTTP/1.0 200 OK\n\nworld"}));
}

TEST(ResponseReaderTest, LocationOfARedirectEndsTheResponse) {
    const std::string response =
        "HTTP/1.0 302 Found\r\nA: 1\r\nLocation: /next\r\nB: 2\r\n\r\nignored body";
    const TRecord followed = ReadEverySplit(response, true);
    EXPECT_EQ(followed.redirect, "/next");
    EXPECT_EQ(followed.events, (std::vector<std::string>{"header A|1"}));
    EXPECT_EQ(followed.headerText, "");
    EXPECT_EQ(followed.bodyBytes, 0u);

    const TRecord notFollowed = ReadEverySplit(response, false);
    EXPECT_EQ(notFollowed.redirect, "");
    EXPECT_EQ(notFollowed.events.size(), 5u);
    EXPECT_EQ(notFollowed.events[1], "header Location|/next");
}

TEST(ResponseReaderTest, LocationOfASuccessIsAnOrdinaryHeader) {
    const TRecord record =
        ReadEverySplit("HTTP/1.0 201 Created\r\nlocation: /new\r\n\r\nkept", true);
    EXPECT_EQ(record.redirect, "");
    EXPECT_EQ(record.events,
              (std::vector<std::string>{"header location|/new", "start", "body kept"}));
}

TEST(ResponseReaderTest, AChunkedBodyPassesOnItsDataAndTellsWhetherItsLastChunkCame) {
    struct TCase {
        std::string Body, Data;
        bool Whole;
    };
    const TCase cases[] = {
        {"5\r\nhello\r\n6;name=v\r\n world\r\n0\r\nX-Sum: 1\r\n\r\n", "hello world", true},
        {"A \r\n0123456789\n0\n\n", "0123456789", true},
        {"5\r\nhello\r\n6\r\n wo", "hello wo", false},
        {"5\r\nhello\r\n0\r\n", "hello", false},
        {"5\r\nhelloX\r\n0\r\n\r\n", "hello", false},
        {"g\r\nhello\r\n0\r\n\r\n", "", false},
        {"fffffffffffffffff\r\n", "", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Body.substr(0, 30));
        const TRecord record =
            ReadEverySplit("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n" + c.Body);
        std::vector<std::string> events = {"header Transfer-Encoding|Chunked", "start"};
        if (!c.Data.empty()) events.push_back("body " + c.Data);
        EXPECT_EQ(record.events, events);
        EXPECT_EQ(record.bodyBytes, c.Data.size());
        EXPECT_EQ(record.lastChunk, c.Whole);
    }
    const std::string endless = std::string(TChunkedBody::kMaxLineLength + 1, '0') + "\r\n\r\n";
    EXPECT_FALSE(
        Read({"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + endless}, false).lastChunk);
}

TEST(ResponseReaderTest, OverlongHeaderLineIsDeliveredInParts) {
    const std::string longValue(TResponseReader::kMaxLineLength + 10, 'v');
    const TRecord record = Read({"HTTP/1.0 200 OK\r\nX: " + longValue + "\r\n\r\nb"}, false);
    ASSERT_EQ(record.events.size(), 4u);
    EXPECT_EQ(record.events[0].size(),
              std::string("header X|").size() + TResponseReader::kMaxLineLength - 3);
    EXPECT_EQ(record.events[3], "body b");
}

TEST(ResponseReaderTest, SetCookieWithoutAttributesOrSpaces) {
    const TSetCookie plain = ParseSetCookie("a=b");
    EXPECT_EQ(plain.Name, "a");
    EXPECT_EQ(plain.Value, "b");
    EXPECT_EQ(plain.Path, "");
    EXPECT_FALSE(plain.Secure);

    const TSetCookie tight = ParseSetCookie("n=v=w;Path=/p;SECURE;Domain=d");
    EXPECT_EQ(tight.Value, "v=w");
    EXPECT_EQ(tight.Path, "/p");
    EXPECT_EQ(tight.Domain, "d");
    EXPECT_TRUE(tight.Secure);

    const TSetCookie bare = ParseSetCookie("flag");
    EXPECT_EQ(bare.Name, "flag");
    EXPECT_EQ(bare.Value, "");
}

// A head of exactly size bytes: the status line, filler header lines and the empty line.
std::string HeadOfSize(size_t size) {
    std::string head = "HTTP/1.0 200 OK\r\n";
    const size_t end = size - 2;
    while (end - head.size() > 2000) head += "X: " + std::string(995, 'a') + "\r\n";
    head += "Y: " + std::string(end - head.size() - 5, 'b') + "\r\n";
    return head + "\r\n";
}

TEST(ResponseReaderTest, AHeadPast256KBEndsTheReading) {
    const size_t limit = TResponseReader::kMaxHeadBytes;
    const TRecord inside = Read({HeadOfSize(limit) + "body"}, false);
    EXPECT_EQ(inside.events.back(), "body body");

    for (const std::string& over :
         {HeadOfSize(limit + 1) + "body", "HTTP/1.0 200 OK\r\n" + std::string(2 << 20, 'x')}) {
        TResponseReader reader;
        int headers = 0;
        bool started = false;
        reader.Events.Header = [&](const std::string&, const std::string&) { ++headers; };
        reader.Events.StartTransfer = [&] { started = true; };
        for (size_t at = 0; at < over.size(); at += 4096)
            reader.Feed(std::string_view(over).substr(at, 4096));
        reader.Finish();
        EXPECT_EQ(reader.State(), TReaderState::TooLarge);
        EXPECT_FALSE(started);
        EXPECT_EQ(reader.BodyBytes(), 0u);
        EXPECT_LE(reader.HeaderText().size(), limit);
        EXPECT_LE(headers, 300);
    }
}

TEST(ResponseReaderTest, ContentLengthIsTakenOnlyWhenItIsANumber) {
    auto length = [](const std::string& value) {
        TResponseReader reader;
        reader.Feed("HTTP/1.0 200 OK\r\ncontent-length:" + value + "\r\n\r\n");
        return reader.ContentLength();
    };
    EXPECT_EQ(length(" 1000"), 1000u);
    EXPECT_EQ(length("\t42 "), 42u);
    EXPECT_EQ(length(" 18446744073709551615"), UINT64_MAX);
    for (const char* bad : {"", " ", " -1", " 12a", " 1 2", " 18446744073709551616"})
        EXPECT_EQ(length(bad), std::nullopt) << bad;
}

}  // namespace
