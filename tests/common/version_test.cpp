#include <gtest/gtest.h>

#include "common/base/version.h"

TEST(Version, IsDottedNumbers) { EXPECT_STREQ(kProgramVersion, "1.0.0"); }
