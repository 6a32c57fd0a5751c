// The dovrant-mime program: printed fields, extraction into a folder, unsafe names, errors.
#include <gtest/gtest.h>

#include <string>

#include "mail_test_support.h"

namespace {

const std::string kTool = DOVRANT_BIN_DIR "/dovrant-mime";

std::string RunTool(const std::string& args, int* status) {
    return RunCommand(kTool + " " + args + " 2>&1", status);
}

}  // namespace

TEST(MimeTool, PrintsFieldsAndExtractsEachAttachmentWhole) {
    TScratchDir dir;
    WriteFile(dir.Path() / "m.eml",
              "From: a@b.c\r\nSubject: Orders\r\nContent-Type: multipart/mixed; "
              "boundary=B\r\n\r\n--B\r\n\r\nhi\r\n"
              "--B\r\nContent-Type: application/octet-stream; "
              "name=\"o.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
              "AAEC\r\n--B\r\nContent-Type: text/plain; name=\"..\"\r\n\r\nescape\r\n--B--\r\n");
    std::filesystem::create_directory(dir.Path() / "out");
    int status = -1;
    std::string out = RunTool("'" + (dir.Path() / "m.eml").string() + "' --extract '" +
                                  (dir.Path() / "out").string() + "'",
                              &status);
    EXPECT_NE(out.find("From: a@b.c\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Subject: Orders\n"), std::string::npos);
    EXPECT_NE(out.find("ContentType: MULTIPART/MIXED\n"), std::string::npos);
    EXPECT_NE(out.find("  hi\n"), std::string::npos);
    EXPECT_NE(out.find("  FileName: o.bin\n  ContentType: application/octet-stream\n  Size: 3\n"),
              std::string::npos);
    // The part named ".." is refused; nothing lands beside the folder.
    EXPECT_NE(out.find("unsafe file name"), std::string::npos);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(ReadFile(dir.Path() / "out" / "o.bin"), std::string("\0\1\2", 3));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "out"), {}), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(MimeTool, ParseErrorGoesToStderrWithStatusOne) {
    TScratchDir dir;
    WriteFile(dir.Path() / "bad.eml", "Subject: uu\n\nbegin 644 x\n#0V%T\n");
    int status = -1;
    std::string out = RunTool("'" + (dir.Path() / "bad.eml").string() + "'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("List index out of bounds"), std::string::npos) << out;
    out = RunTool("'" + (dir.Path() / "missing.eml").string() + "'", &status);
    EXPECT_EQ(status, 1);
}

TEST(MimeTool, ExpectedContentTypeOption) {
    TScratchDir dir;
    WriteFile(dir.Path() / "x.eml",
              "Content-Type: application/x-orders; boundary=Q\n\n--Q\nContent-Type: text/plain; "
              "name=o.txt\n\nord\n--Q--\n");
    int status = -1;
    std::string path = "'" + (dir.Path() / "x.eml").string() + "'";
    EXPECT_NE(RunTool(path + " --expected-content-type application/x-orders", &status)
                  .find("Attachments: 1"),
              std::string::npos);
    EXPECT_NE(RunTool(path, &status).find("Attachments: 0"), std::string::npos);
}
