#pragma once

// The machine's own time, for test servers, peers and limits that run in real time whatever
// clock a test installs for the code under test.

#include <cstdint>

#include "common/base/clock.h"

inline int64_t RealMs() { return TSystemClock().MonotonicMs(); }
