#pragma once

// The main thread of the window: calls posted by workers run in Qt's event loop.

#include "common/base/to_main_thread.h"

class TQtMainThread : public IMainThread {
  public:
    void Post(std::function<void()> call) override;
    void Synchronize(const std::function<void()>& call) override;
    bool IsMainThread() const override;
};

// Installs the event loop's main thread for the lifetime of the object.
class TQtMainThreadScope {
  public:
    TQtMainThreadScope() { SetMainThread(&mainThread_); }
    ~TQtMainThreadScope() { SetMainThread(nullptr); }
    TQtMainThreadScope(const TQtMainThreadScope&) = delete;
    TQtMainThreadScope& operator=(const TQtMainThreadScope&) = delete;

  private:
    TQtMainThread mainThread_;
};
