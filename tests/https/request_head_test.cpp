#include "https/request_head.h"

#include <gtest/gtest.h>

namespace {

TRequestHead Head(const TURLParts& target, const std::string& method = "GET") {
    TRequestHead head;
    head.Method = method;
    head.Target = &target;
    head.UserAgent = "Quillbern Dovrant";
    return head;
}

TURLParts Target(const std::string& url) {
    TURLParts parts;
    ParseURL(parts, url);
    return parts;
}

TEST(RequestHeadTest, PlainGetHasOnlyHostAndUserAgent) {
    const TURLParts target = Target("https://H/path");
    EXPECT_EQ(BuildRequestHead(Head(target)) + BuildRequestEnd("", std::nullopt),
              "GET /path HTTP/1.0\r\nHost: H\r\nUser-Agent: Quillbern Dovrant\r\n\r\n");
}

TEST(RequestHeadTest, UploadHeadMatchesTheWireExample) {
    const TURLParts target = Target("https://S/path");
    EXPECT_EQ(BuildRequestHead(Head(target, "POST")) +
                  BuildRequestEnd("multipart/form-data; boundary=B", 123),
              "POST /path HTTP/1.0\r\nHost: S\r\nUser-Agent: Quillbern Dovrant\r\n"
              "Content-Type: multipart/form-data; boundary=B\r\nContent-Length: 123\r\n\r\n");
    EXPECT_EQ(BuildRequestEnd("", 0), "Content-Length: 0\r\n\r\n");
}

TEST(RequestHeadTest, HostNeverCarriesThePort) {
    const TURLParts target = Target("https://H:8443/x?y=1");
    EXPECT_EQ(BuildRequestHead(Head(target)),
              "GET /x?y=1 HTTP/1.0\r\nHost: H\r\nUser-Agent: Quillbern Dovrant\r\n");
}

TEST(RequestHeadTest, ProxyFormOmitsOnlyPort443) {
    TURLParts http = Target("http://H/p");
    TRequestHead head = Head(http);
    head.ThroughProxy = true;
    EXPECT_TRUE(BuildRequestHead(head).starts_with("GET http://H:80/p HTTP/1.0\r\nHost: H\r\n"));

    TURLParts https = Target("https://H/p");
    head.Target = &https;
    EXPECT_TRUE(BuildRequestHead(head).starts_with("GET https://H/p HTTP/1.0\r\n"));
}

TEST(RequestHeadTest, HeaderOrderAndCredentials) {
    TURLParts target = Target("http://u:p@H/");
    TRequestHead head = Head(target);
    head.ThroughProxy = true;
    head.ProxyUser = "pu";
    head.ProxyPassword = "pp";
    head.Accept = "*/*";
    EXPECT_EQ(BuildRequestHead(head),
              "GET http://H:80/ HTTP/1.0\r\nHost: H\r\n"
              "Authorization: Basic dTpw\r\n"
              "Proxy-Authorization: Basic cHU6cHA=\r\n"
              "Accept: */*\r\n"
              "User-Agent: Quillbern Dovrant\r\n");
}

TEST(RequestHeadTest, ProxyCredentialsNeverReachTheOriginServer) {
    TURLParts target = Target("https://H/");
    TRequestHead head = Head(target);
    head.ProxyUser = "pu";
    head.ProxyPassword = "pp";
    head.UserAgent.clear();
    EXPECT_EQ(BuildRequestHead(head), "GET / HTTP/1.0\r\nHost: H\r\n");
}

}  // namespace
