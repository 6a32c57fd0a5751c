#pragma once

// A benchmark times the machine itself, never the program's (replaceable) clock.

#include <ctime>

inline double RealSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}
