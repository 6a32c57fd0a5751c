#pragma once

// Runs the calling thread's posted calls and timers until done() holds or limitMs of real
// time have passed; true when done() held. A manual clock installed by the test does not
// move while it waits: only the code under test moves it.

#include <functional>

#include "common/base/message_pump.h"
#include "support/real_time.h"

inline bool PumpUntil(const std::function<bool()>& done, int64_t limitMs = 60000) {
    const int64_t end = RealMs() + limitMs;
    while (!done()) {
        if (RealMs() >= end) return false;
        PumpMessages(0);
        TSystemClock().Sleep(1);
    }
    return true;
}
