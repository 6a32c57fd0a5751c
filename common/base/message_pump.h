#pragma once

// The message pump of one thread. Every wait that "processes pending messages" calls
// PumpMessages: it runs the calling thread's due timers and posted calls, and waits up to
// the given time for new ones when nothing was due. A worker thread therefore keeps its own
// timers alive while it blocks in an HTTPS request, and one of them may interrupt it.
//
// The main thread of the window has its own event loop: the Qt layer registers it with
// SetThreadPumpHook, and PumpMessages on that thread then hands the wait to the hook after
// running this thread's own queue.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/base/timer.h"

class TPumpTimer;

// The queue of posted calls and the timers of one thread. Post and PostQuit may be called
// from any thread; everything else runs on the owning thread.
class TMessageQueue {
  public:
    // The calling thread's queue (created on first use, released when the thread ends).
    static std::shared_ptr<TMessageQueue> Current();

    void Post(std::function<void()> call);
    // A quit request stays pending (as if re-posted) until ClearQuit, so every wait of the
    // thread sees it and ends.
    void PostQuit();
    bool QuitPending() const;
    void ClearQuit();

    // Runs the due timers and the calls posted before this step; when none ran, waits up to
    // waitMs for a post or the next timer and runs what became due. True when something ran.
    bool ProcessMessages(int waitMs);

  private:
    friend class TPumpTimer;
    bool RunDueTimers();
    bool RunPostedCalls();
    // Monotonic milliseconds of the next due timer; INT64_MAX when none.
    int64_t NextTimerDue() const;

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<std::function<void()>> calls_;
    bool quit_ = false;
    // Owner thread only: the live timers by registration number.
    std::map<uint64_t, TPumpTimer*> timers_;
    uint64_t nextTimerId_ = 1;
};

// A timer of the calling thread's queue (the thread that creates it): fires OnTimer from that
// thread's pump steps every Interval milliseconds while enabled. Enabling (again) starts a full
// interval. A handler is never re-entered by a pump step inside itself.
class TPumpTimer : public ITimer {
  public:
    TPumpTimer();
    ~TPumpTimer() override;
    TPumpTimer(const TPumpTimer&) = delete;
    TPumpTimer& operator=(const TPumpTimer&) = delete;

    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }

  private:
    friend class TMessageQueue;
    std::shared_ptr<TMessageQueue> queue_;
    uint64_t id_ = 0;
    int interval_ = 1000;
    bool enabled_ = false;
    bool running_ = false;
    int64_t dueMs_ = 0;  // monotonic reading of the clock
};

// One wait step of the calling thread (see the top of this file).
void PumpMessages(int waitMs);

// Registers (or, with an empty function, removes) the calling thread's own event loop step,
// called as hook(waitMs) by PumpMessages on this thread.
void SetThreadPumpHook(std::function<void(int waitMs)> hook);

// Waits ms milliseconds of the program clock in pump steps of the calling thread: its
// timers, posted calls and (on the main thread) the window's events keep running.
void WaitProcessingMessages(int ms);
