#include "common/base/format_text.h"

#include <gtest/gtest.h>

#include "common/base/datetime.h"

namespace {

TEST(FormatTextTest, FillsWebMailFormatsLikeTheProgramsFormatStrings) {
    EXPECT_EQ(FormatText("https://m.example/send?from=%s", {"a@b.c"}),
              "https://m.example/send?from=a@b.c");
    EXPECT_EQ(FormatText("https://m/count?u=%s&l=%s&p=%s", {"a@b", "L1", "pw"}),
              "https://m/count?u=a@b&l=L1&p=pw");
    EXPECT_EQ(FormatText("https://m/no-placeholder", {"a@b"}), "https://m/no-placeholder");
    EXPECT_EQ(FormatText("%1:s/%0:s/%s|%5s|%-4s|%.2s|100%%", {"x", "y", "z", "w", "vvv"}),
              "y/x/y|    z|w   |vv|100%");
    for (const char* bad : {"p=%d", "u=%s&p=%s&m=%s&x=%s", "%", "%20 encoded", "%.s"}) {
        try {
            FormatText(bad, {"a", "b", "c"});
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("Format '") + bad + "' invalid or incompatible with argument");
        }
    }
}

}  // namespace
