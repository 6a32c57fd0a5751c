#pragma once

// SIGINT and SIGTERM (and SIGUSR1, a service's "transfer now") as calls on the main thread.
// The signals are blocked in every thread from the start of main(), so no handler ever
// interrupts a thread; one watching thread reads them from a signalfd and posts each one
// through MainThread().Post, where it is handled like any other event.

#include <functional>
#include <memory>
#include <thread>

#include "common/base/unique_handle.h"

// Blocks SIGINT, SIGTERM and SIGUSR1 in the calling thread; the threads it starts later
// inherit the mask. The first thing main() does, before any thread exists. A SIGUSR1 nobody
// watches stays pending and does nothing.
void BlockStopSignals();

// Posts onStop to the main thread for each SIGINT or SIGTERM, and onTransferNow (when given)
// for each SIGUSR1, also for one that came (and stayed pending) before it was made. Made and
// destroyed on the main thread: the destructor ends and joins the watching thread, and a
// posted call that has not run by then does nothing.
class TStopSignals {
  public:
    explicit TStopSignals(std::function<void()> onStop,
                          std::function<void()> onTransferNow = nullptr);
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

  private:
    void Watch();

    // Shared with the posted calls, so one that runs late finds the handler gone.
    std::shared_ptr<std::function<void()>> onStop_;
    std::shared_ptr<std::function<void()>> onTransferNow_;
    TUniqueFd signals_;
    TUniqueFd wake_;
    std::thread thread_;
};
