#include "common/base/clock.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

#include "common/base/datetime.h"

TDateTime TSystemClock::Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return DateTimeFromTimeT(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

int64_t TSystemClock::MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void TSystemClock::Sleep(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool TSystemClock::WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                           int ms, const std::function<bool()>& ready) {
    if (ms <= 0) return ready();
    return condition.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

int TSystemClock::Poll(pollfd* fds, nfds_t count, int ms) {
    return ::poll(fds, count, ms < 0 ? 0 : ms);
}

TDateTime TManualClock::Now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

int64_t TManualClock::MonotonicMs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return monotonicMs_;
}

void TManualClock::Sleep(int ms) { AdvanceMs(ms); }

bool TManualClock::WaitFor(std::condition_variable&, std::unique_lock<std::mutex>& lock, int ms,
                           const std::function<bool()>& ready) {
    if (ready()) return true;
    // The caller's lock is released while time moves on, as a real wait would release it.
    lock.unlock();
    AdvanceMs(ms);
    lock.lock();
    return ready();
}

int TManualClock::Poll(pollfd* fds, nfds_t count, int ms) {
    const int ready = ::poll(fds, count, ms > 0 ? 1 : 0);
    if (ready == 0) AdvanceMs(ms);
    return ready;
}

void TManualClock::Set(TDateTime value) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = value;
}

void TManualClock::Advance(TDateTime days) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += days;
    monotonicMs_ += std::llround(days * kMsPerDay);
}

void TManualClock::AdvanceMs(int64_t ms) {
    if (ms <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += static_cast<double>(ms) / kMsPerDay;
    monotonicMs_ += ms;
}

namespace {
TSystemClock systemClock;
std::atomic<TClock*> installedClock{nullptr};
}  // namespace

TClock& Clock() {
    TClock* clock = installedClock.load();
    return clock ? *clock : systemClock;
}

void SetClock(TClock* clock) { installedClock.store(clock); }

void SleepMs(int ms) { Clock().Sleep(ms); }

int64_t MonotonicMs() { return Clock().MonotonicMs(); }
