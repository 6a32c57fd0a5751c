#pragma once

// The window's timers: a QTimer of the main thread behind ITimer.

#include <QObject>
#include <QTimer>
#include <memory>

#include "common/base/timer.h"

class TQtTimer : public ITimer {
  public:
    TQtTimer() {
        timer_.setSingleShot(false);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (OnTimer) OnTimer();
        });
    }
    void SetInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
    int Interval() const override { return timer_.interval(); }
    void SetEnabled(bool enabled) override {
        if (enabled)
            timer_.start();
        else
            timer_.stop();
    }
    bool Enabled() const override { return timer_.isActive(); }

  private:
    QTimer timer_;
};

inline std::unique_ptr<ITimer> MakeQtTimer() { return std::make_unique<TQtTimer>(); }
