#pragma once

// A thread that does one job for its owner: Start runs Execute on a new thread; when Execute
// has returned, the end handler runs on the main thread (through MainThread().Post). The
// owner holds the object (a unique_ptr) and may free it from the end handler or later; the
// destructor waits for the thread, so a worker never outlives its owner.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class TWorkerThread {
  public:
    TWorkerThread();
    // Waits until Execute has returned. An end handler not yet run is dropped.
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void Start();
    // Asks Execute to end early; Execute looks at Terminated() where it may stop.
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    // The text of an error that escaped Execute; empty when it ended normally. Read it in
    // the end handler.
    const std::string& FatalError() const { return fatalError_; }
    // True once Execute has returned (any thread); its end call is posted by then.
    bool Ended() const;

    // The end handler, run on the main thread after Execute.
    std::function<void(TWorkerThread& thread)> OnTerminate;

  protected:
    virtual void Execute() = 0;
    // Runs call on the main thread while this thread waits.
    void Synchronize(const std::function<void()>& call);

  private:
    // What the posted end call and the owner share: the end call finds the worker through
    // it only while the worker lives (both sides run on the main thread).
    struct TLink {
        TWorkerThread* Worker = nullptr;
    };
    void Run();

    std::shared_ptr<TLink> link_;
    std::atomic<bool> terminated_{false};
    std::string fatalError_;
    std::atomic<bool> ended_{false};
    std::thread thread_;
};
