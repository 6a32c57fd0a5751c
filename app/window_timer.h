#pragma once

// The window's timers behind a small interface: the window's handlers only see interval,
// enabled and the tick handler, so tests can fire a tick by hand.

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class IWindowTimer {
  public:
    virtual ~IWindowTimer() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    // Enabling (again) starts a full interval.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;

    std::function<void()> OnTimer;
};

class TQtWindowTimer : public IWindowTimer {
  public:
    TQtWindowTimer() {
        Timer.setSingleShot(false);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (OnTimer) OnTimer();
        });
    }
    void SetInterval(int milliseconds) override { Timer.setInterval(milliseconds); }
    int Interval() const override { return Timer.interval(); }
    void SetEnabled(bool enabled) override {
        if (enabled)
            Timer.start();
        else
            Timer.stop();
    }
    bool Enabled() const override { return Timer.isActive(); }

  private:
    QTimer Timer;
};

using TTimerFactory = std::function<std::unique_ptr<IWindowTimer>()>;

inline std::unique_ptr<IWindowTimer> MakeQtWindowTimer() {
    return std::make_unique<TQtWindowTimer>();
}
