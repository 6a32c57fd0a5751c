#include "common/base/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "common/base/datetime.h"

TDateTime TSystemClock::Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return DateTimeFromTimeT(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

void TSystemClock::Sleep(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TDateTime TManualClock::Now() {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_;
}

void TManualClock::Sleep(int ms) { AdvanceMs(ms); }

void TManualClock::Set(TDateTime value) {
  std::lock_guard<std::mutex> lock(mutex_);
  now_ = value;
}

void TManualClock::Advance(TDateTime days) {
  std::lock_guard<std::mutex> lock(mutex_);
  now_ += days;
}

void TManualClock::AdvanceMs(int ms) {
  if (ms > 0) Advance(ms / kMsPerDay);
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
