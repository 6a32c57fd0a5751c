#include "https/url.h"

#include <gtest/gtest.h>

namespace {

TURLParts Parse(const std::string& text) {
    TURLParts parts;
    ParseURL(parts, text);
    return parts;
}

TEST(URLTest, SchemeChoosesThePortAndAnEmptyPathBecomesSlash) {
    TURLParts https = Parse("https://H/path");
    EXPECT_EQ(https.Scheme, "https");
    EXPECT_EQ(https.Server, "H");
    EXPECT_EQ(https.Port, 443);
    EXPECT_EQ(https.Path, "/path");

    TURLParts http = Parse("http://H");
    EXPECT_EQ(http.Port, 80);
    EXPECT_EQ(http.Path, "/");

    EXPECT_EQ(Parse("HTTP://H").Port, 80);
    TURLParts other = Parse("ftp://H/x");
    EXPECT_EQ(other.Scheme, "ftp");
    EXPECT_EQ(other.Port, 443);
}

TEST(URLTest, ExplicitPortQueryAndQueryWithoutPath) {
    TURLParts parts = Parse("https://H:8443/x?y=1");
    EXPECT_EQ(parts.Server, "H");
    EXPECT_EQ(parts.Port, 8443);
    EXPECT_EQ(parts.Path, "/x?y=1");

    TURLParts query = Parse("https://H?y=1");
    EXPECT_EQ(query.Server, "H");
    EXPECT_EQ(query.Path, "?y=1");
}

TEST(URLTest, PortsThatAreNoPortReadAsZero) {
    EXPECT_EQ(Parse("http://H:/").Port, 0);
    EXPECT_EQ(Parse("http://H:x/").Port, 0);
    EXPECT_EQ(Parse("http://H:65536/").Port, 0);
    EXPECT_EQ(Parse("http://H:65535/").Port, 65535);
}

TEST(URLTest, CredentialsInTheAuthority) {
    TURLParts parts = Parse("http://user:pa:ss@H:8080/p");
    EXPECT_EQ(parts.User, "user");
    EXPECT_EQ(parts.Password, "pa:ss");
    EXPECT_EQ(parts.Server, "H");
    EXPECT_EQ(parts.Port, 8080);
    EXPECT_EQ(BasicCredentials(parts.User, parts.Password), "Basic " + EncodeBase64("user:pa:ss"));

    TURLParts noPort = Parse("http://u:p@H/");
    EXPECT_EQ(noPort.Port, 80);
    EXPECT_EQ(noPort.Server, "H");
}

TEST(URLTest, AnotherServerDropsTheCredentialsTheSameServerKeepsThem) {
    TURLParts parts;
    ParseURL(parts, "http://H/");
    parts.User = "u";
    parts.Password = "p";
    ParseURL(parts, "http://H/other");
    EXPECT_EQ(parts.User, "u");
    ParseURL(parts, "http://K/");
    EXPECT_EQ(parts.User, "");
    EXPECT_EQ(parts.Password, "");
}

TEST(URLTest, PathOnlyTextsKeepTheServer) {
    TURLParts parts;
    ParseURL(parts, "http://H:81/a/b");
    ParseURL(parts, "/c");
    EXPECT_EQ(parts.Server, "H");
    EXPECT_EQ(parts.Path, "/c");
    EXPECT_EQ(parts.Scheme, "https");  // a plain assignment starts from the defaults
    ParseURL(parts, "d");
    EXPECT_EQ(parts.Path, "/d");
}

TEST(URLTest, RedirectTargetsKeepSchemeAndPortUnlessTheyNameThem) {
    TURLParts parts;
    ParseURL(parts, "http://H:8080/a");
    ParseURL(parts, "/b", true);
    EXPECT_EQ(parts.Scheme, "http");
    EXPECT_EQ(parts.Port, 8080);
    EXPECT_EQ(parts.Path, "/b");
    ParseURL(parts, "https://K/c", true);
    EXPECT_EQ(parts.Scheme, "https");
    EXPECT_EQ(parts.Port, 443);
    EXPECT_EQ(parts.Server, "K");
}

TEST(URLTest, Base64PaddingAndBasicCredentials) {
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("f"), "Zg==");
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
    EXPECT_EQ(EncodeBase64("\xff\xfe"), "//4=");
    EXPECT_EQ(BasicCredentials("", ""), "");
    EXPECT_EQ(BasicCredentials("u", ""), "Basic dTo=");
    EXPECT_EQ(BasicCredentials("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

}  // namespace
