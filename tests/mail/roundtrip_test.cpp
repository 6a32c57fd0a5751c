// Round trips against peer encoders: random files encoded by Python's email package (Base64
// and quoted-printable attachments) and by uuencode must come back byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "mail/base64_stream.h"
#include "mail_test_support.h"

namespace {

class RoundTrip : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TScratchDir;
        int status = -1;
        std::string out =
            RunCommand("python3 " DOVRANT_SOURCE_DIR "/tests/mail/make_roundtrip_cases.py '" +
                           dir_->Path().string() + "' 2>&1",
                       &status);
        ASSERT_EQ(status, 0) << out;
        cases_ = std::atoi(out.c_str());
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static std::unique_ptr<TOrvMsg> ParseFile(const std::string& name) {
        auto msg = std::make_unique<TOrvMsg>();
        msg->RawMail().LoadFromFile((dir_->Path() / name).string());
        msg->SetExpectedContentType("multipart/mixed");
        msg->ParseMsg();
        return msg;
    }
    static std::string Expected(const std::string& name) { return ReadFile(dir_->Path() / name); }
    // Equal bytes, or where they part (the inputs are too large to print).
    static ::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
        if (got == want) return ::testing::AssertionSuccess();
        std::size_t at = 0;
        while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
        return ::testing::AssertionFailure() << "sizes " << got.size() << " and " << want.size()
                                             << ", first difference at " << at;
    }
    // The data of the attachment named name, or a note that there is none.
    static std::string AttachmentData(const TOrvMsg& msg, const std::string& name) {
        for (std::size_t i = 0; i < msg.Attachments().Count(); ++i)
            if (msg.Attachments()[i].FileName() == name) return DataOf(msg, i);
        return "<no attachment " + name + ">";
    }

    static TScratchDir* dir_;
    static int cases_;
};

TScratchDir* RoundTrip::dir_ = nullptr;
int RoundTrip::cases_ = 0;

TEST_F(RoundTrip, Base64AttachmentsAlsoWithBlanksAfterTheLines) {
    ASSERT_GT(cases_, 0);
    for (int n = 0; n < cases_; ++n) {
        std::string want = Expected("bin_" + std::to_string(n));
        for (std::string kind : {"b64_", "b64ws_"}) {
            auto msg = ParseFile(kind + std::to_string(n) + ".eml");
            EXPECT_TRUE(SameBytes(AttachmentData(*msg, "bin_" + std::to_string(n) + ".dat"), want))
                << kind << n;
        }
    }
}

TEST_F(RoundTrip, UuencodedBlocks) {
    for (int n = 0; n < cases_; ++n) {
        auto msg = ParseFile("uu_" + std::to_string(n) + ".eml");
        EXPECT_TRUE(SameBytes(AttachmentData(*msg, "uu_" + std::to_string(n) + ".bin"),
                              Expected("bin_" + std::to_string(n))))
            << n;
        EXPECT_EQ(msg->Text().Count(), 3u) << n;  // before, end, after
    }
}

TEST_F(RoundTrip, QuotedPrintableTextWithCrLfLineEnds) {
    for (int n = 0; n < cases_; ++n) {
        auto msg = ParseFile("qp_" + std::to_string(n) + ".eml");
        EXPECT_TRUE(SameBytes(AttachmentData(*msg, "txt_" + std::to_string(n) + ".txt"),
                              Expected("txt_" + std::to_string(n))))
            << n;
    }
}

TEST_F(RoundTrip, Base64StreamInPiecesOfOddSizes) {
    const std::size_t pieces[] = {1, 3, 7, 13, 61, 1001};
    for (int n = 0; n < cases_; ++n) {
        // The encoded lines of the attachment: after the blank line that follows its file name,
        // up to the closing delimiter.
        TMailLines lines;
        lines.LoadFromFile((dir_->Path() / ("b64ws_" + std::to_string(n) + ".eml")).string());
        std::string text;
        bool inHeader = false, inBody = false;
        for (std::string_view line : lines) {
            if (line.find("filename=") != std::string_view::npos)
                inHeader = true;
            else if (inHeader && line.empty())
                inHeader = false, inBody = true;
            else if (inBody && line.starts_with("--"))
                break;
            else if (inBody)
                text.append(line).append("\r\n");
        }
        TStringStream out;
        {
            TBase64DecodingStream stream(out);
            for (std::size_t at = 0, k = 0; at < text.size(); at += pieces[k++ % 6])
                stream.Write(text.data() + at, std::min(pieces[k % 6], text.size() - at));
        }
        EXPECT_TRUE(SameBytes(out.bytes, Expected("bin_" + std::to_string(n)))) << n;
    }
}

}  // namespace
