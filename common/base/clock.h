#pragma once

#include <poll.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// Date-time values are day serials counted from 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// Every "now", every wait and every deadline of the program goes through one clock, so tests
// of timing rules can fix the date and let a 60-second wait pass in a moment.
//
// Two readings: Now() is the local wall time (it may jump when the operator sets the
// clock); MonotonicMs() only ever grows and is what deadlines and timer due times use.
class TClock {
  public:
    virtual ~TClock() = default;
    // The current local date and time.
    virtual TDateTime Now() = 0;
    // Milliseconds on a clock that never goes back (its zero is arbitrary).
    virtual int64_t MonotonicMs() = 0;
    // Blocks the calling thread for ms milliseconds.
    virtual void Sleep(int ms) = 0;
    // Waits on condition (lock held by the caller) until ready() or ms milliseconds passed;
    // returns ready().
    virtual bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                         int ms, const std::function<bool()>& ready) = 0;
    // poll(2) through the clock: at most ms milliseconds; same result as poll.
    virtual int Poll(pollfd* fds, nfds_t count, int ms) = 0;
};

// The machine's clocks: local time, CLOCK_MONOTONIC, real waits.
class TSystemClock : public TClock {
  public:
    TDateTime Now() override;
    int64_t MonotonicMs() override;
    void Sleep(int ms) override;
    bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, int ms,
                 const std::function<bool()>& ready) override;
    int Poll(pollfd* fds, nfds_t count, int ms) override;
};

// A clock for tests: time stands still until set or advanced. A wait that nothing ends
// early advances both readings by its full length at once, without blocking (a poll still
// looks at its descriptors, for at most one real millisecond). Safe to use from several
// threads.
class TManualClock : public TClock {
  public:
    explicit TManualClock(TDateTime start = 0) : now_(start) {}
    TDateTime Now() override;
    int64_t MonotonicMs() override;
    void Sleep(int ms) override;
    bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, int ms,
                 const std::function<bool()>& ready) override;
    int Poll(pollfd* fds, nfds_t count, int ms) override;
    // Sets the wall time only, as an operator setting the machine's clock would.
    void Set(TDateTime value);
    // Lets time pass: both readings move on.
    void Advance(TDateTime days);
    void AdvanceMs(int64_t ms);

  private:
    std::mutex mutex_;
    TDateTime now_;
    int64_t monotonicMs_ = 0;
};

// The clock in use; the system clock unless a test installed another one.
TClock& Clock();
// Installs clock (not owned; it must outlive its use); nullptr restores the system clock.
void SetClock(TClock* clock);
// Sleeps through the clock in use.
void SleepMs(int ms);
// The monotonic reading of the clock in use.
int64_t MonotonicMs();
