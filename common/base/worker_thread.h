#pragma once

// A thread that does one job and cleans up after itself: Start runs Execute on a new
// thread; when Execute has returned, the end handler runs on the main thread (through
// MainThread().Post) and the object then deletes itself. Create it with new and let go
// of it after Start.

#include <atomic>
#include <functional>
#include <string>

class TWorkerThread {
  public:
    TWorkerThread() = default;
    virtual ~TWorkerThread() = default;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void Start();
    // Asks Execute to end early; Execute looks at Terminated() where it may stop.
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    // The text of an error that escaped Execute; empty when it ended normally. Read it in
    // the end handler.
    const std::string& FatalError() const { return fatalError_; }

    // The end handler, run on the main thread after Execute.
    std::function<void(TWorkerThread& thread)> OnTerminate;

  protected:
    virtual void Execute() = 0;
    // Runs call on the main thread while this thread waits.
    void Synchronize(const std::function<void()>& call);

  private:
    static void Run(TWorkerThread* thread);

    std::atomic<bool> terminated_{false};
    std::string fatalError_;
};
