#pragma once

// A throw-away set of data folders and a run's log on the manual clock.

#include <gtest/gtest.h>

#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"

class OperatorTest : public testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock);
        errorDir = dir.Path() + "ERROR/";
        outboxDir = dir.Path() + "OUTBOX/";
        logDir = dir.Path() + "LOG/";
        ForceDirectories(errorDir);
        ForceDirectories(outboxDir);
        ASSERT_TRUE(OpenLog(logDir, 2));
    }
    void TearDown() override {
        CloseLog();
        SetClock(nullptr);
    }

    std::vector<std::string> Log() { return LogMessages(LogFileName()); }
    bool Logged(const std::string& message) {
        auto lines = Log();
        return std::find(lines.begin(), lines.end(), message) != lines.end();
    }

    TTempDir dir;
    TManualClock clock{EncodeDate(2026, 12, 9) + EncodeTime(10, 0, 0, 0)};
    std::string errorDir, outboxDir, logDir;
};
