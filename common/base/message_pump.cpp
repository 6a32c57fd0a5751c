#include "common/base/message_pump.h"

#include <limits>
#include <utility>

#include "common/base/clock.h"

namespace {

thread_local std::shared_ptr<TMessageQueue> threadQueue;
thread_local std::function<void(int)> threadHook;

}  // namespace

std::shared_ptr<TMessageQueue> TMessageQueue::Current() {
    if (!threadQueue) threadQueue = std::make_shared<TMessageQueue>();
    return threadQueue;
}

void TMessageQueue::Post(std::function<void()> call) {
    // Notified under the lock: once the owner has seen the call, this thread no longer
    // touches the queue, which may then go away with its thread.
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
    posted_.notify_all();
}

void TMessageQueue::PostQuit() {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    posted_.notify_all();
}

bool TMessageQueue::QuitPending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quit_;
}

void TMessageQueue::ClearQuit() {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = false;
}

bool TMessageQueue::RunDueTimers() {
    // A handler may destroy or create timers, so look each one up again before calling it.
    std::vector<uint64_t> due;
    const int64_t now = MonotonicMs();
    for (const auto& [id, timer] : timers_)
        if (timer->enabled_ && !timer->running_ && timer->dueMs_ <= now) due.push_back(id);
    bool ran = false;
    for (uint64_t id : due) {
        auto found = timers_.find(id);
        if (found == timers_.end()) continue;
        TPumpTimer* timer = found->second;
        if (!timer->enabled_ || timer->running_) continue;
        timer->dueMs_ = MonotonicMs() + timer->interval_;
        if (!timer->OnTimer) continue;
        ran = true;
        // Copy the handler: it may reassign OnTimer or delete the timer while it runs.
        auto handler = timer->OnTimer;
        timer->running_ = true;
        struct TRunningGuard {
            TMessageQueue* queue;
            uint64_t id;
            ~TRunningGuard() {
                auto again = queue->timers_.find(id);
                if (again != queue->timers_.end()) again->second->running_ = false;
            }
        } guard{this, id};
        handler();
    }
    return ran;
}

bool TMessageQueue::RunPostedCalls() {
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.swap(calls_);
    }
    for (auto& call : calls)
        if (call) call();
    return !calls.empty();
}

int64_t TMessageQueue::NextTimerDue() const {
    int64_t next = std::numeric_limits<int64_t>::max();
    for (const auto& [id, timer] : timers_)
        if (timer->enabled_ && !timer->running_ && timer->dueMs_ < next) next = timer->dueMs_;
    return next;
}

bool TMessageQueue::ProcessMessages(int waitMs) {
    bool ran = RunDueTimers();
    ran = RunPostedCalls() || ran;
    if (ran || waitMs <= 0) return ran;

    const int64_t now = MonotonicMs();
    int64_t wait = waitMs;
    const int64_t timerDue = NextTimerDue();
    if (timerDue - now < wait) wait = timerDue > now ? timerDue - now : 0;
    if (wait > 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        Clock().WaitFor(posted_, lock, static_cast<int>(wait),
                        [this] { return !calls_.empty() || quit_; });
    }
    ran = RunDueTimers();
    return RunPostedCalls() || ran;
}

TPumpTimer::TPumpTimer() : queue_(TMessageQueue::Current()) {
    id_ = queue_->nextTimerId_++;
    queue_->timers_[id_] = this;
}

TPumpTimer::~TPumpTimer() { queue_->timers_.erase(id_); }

void TPumpTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds < 0 ? 0 : milliseconds;
    if (enabled_) dueMs_ = MonotonicMs() + interval_;
}

void TPumpTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled_) dueMs_ = MonotonicMs() + interval_;
}

void PumpMessages(int waitMs) {
    if (!threadHook) {
        TMessageQueue::Current()->ProcessMessages(waitMs);
        return;
    }
    // The thread's own event loop does the waiting; our queue only runs what is due.
    auto hook = threadHook;
    const bool ran = TMessageQueue::Current()->ProcessMessages(0);
    hook(ran ? 0 : waitMs);
}

void SetThreadPumpHook(std::function<void(int waitMs)> hook) { threadHook = std::move(hook); }

void WaitProcessingMessages(int ms) {
    const int64_t end = MonotonicMs() + ms;
    for (int64_t left = ms; left > 0; left = end - MonotonicMs())
        PumpMessages(static_cast<int>(left < 100 ? left : 100));
    PumpMessages(0);
}
