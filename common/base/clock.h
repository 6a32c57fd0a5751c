#pragma once

#include <mutex>

// Date-time values are day serials counted from 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// Every "now" and every wait of the program goes through one clock, so tests of timing rules
// can fix the date and let waits pass at once.
class TClock {
 public:
  virtual ~TClock() = default;
  // The current local date and time.
  virtual TDateTime Now() = 0;
  // Blocks the calling thread for ms milliseconds (a fake clock only advances its time).
  virtual void Sleep(int ms) = 0;
};

// The wall clock of the machine: local time, real sleeps.
class TSystemClock : public TClock {
 public:
  TDateTime Now() override;
  void Sleep(int ms) override;
};

// A clock for tests: time stands still until set or advanced; Sleep advances it instantly.
// Safe to use from several threads.
class TManualClock : public TClock {
 public:
  explicit TManualClock(TDateTime start = 0) : now_(start) {}
  TDateTime Now() override;
  void Sleep(int ms) override;
  void Set(TDateTime value);
  void Advance(TDateTime days);
  void AdvanceMs(int ms);

 private:
  std::mutex mutex_;
  TDateTime now_;
};

// The clock in use; the system clock unless a test installed another one.
TClock& Clock();
// Installs clock (not owned; it must outlive its use); nullptr restores the system clock.
void SetClock(TClock* clock);
// Sleeps through the clock in use.
void SleepMs(int ms);
