#include "common/base/version.h"

#include <gtest/gtest.h>

TEST(Version, IsDottedNumbers) { EXPECT_STREQ(kProgramVersion, "1.0.0"); }
