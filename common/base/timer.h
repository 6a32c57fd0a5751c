#pragma once

// A repeating timer as the handlers that own one see it: interval, enabled and the tick
// handler. The window's timers and a worker thread's pump timers both look like this, so
// the logic that drives them runs the same under tests on the manual clock.

#include <functional>
#include <memory>

class ITimer {
  public:
    virtual ~ITimer() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    // Enabling (again) starts a full interval.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;

    std::function<void()> OnTimer;
};

using TTimerFactory = std::function<std::unique_ptr<ITimer>()>;
