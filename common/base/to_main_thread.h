#pragma once

// The one road from a worker thread to the window: a worker hands the main thread a call,
// either to run later (Post) or to run now while the worker waits (Synchronize). Labels,
// counters and progress messages reach the window only this way.
//
// The window's layer installs its event-loop implementation; without one, calls go to the
// message queue of the program's first thread (core tests run them when they pump messages
// there).

#include <functional>
#include <memory>
#include <thread>

class TMessageQueue;

class IMainThread {
  public:
    virtual ~IMainThread() = default;
    // Runs call on the main thread later; returns at once. Any thread may post.
    virtual void Post(std::function<void()> call) = 0;
    // Runs call on the main thread and returns when it has run; an exception it raises is
    // raised again in the caller. On the main thread itself the call runs at once.
    virtual void Synchronize(const std::function<void()>& call) = 0;
    virtual bool IsMainThread() const = 0;
};

// The main thread served by the message queue of the thread that creates it.
class TQueueMainThread : public IMainThread {
  public:
    TQueueMainThread();
    void Post(std::function<void()> call) override;
    void Synchronize(const std::function<void()>& call) override;
    bool IsMainThread() const override;

  private:
    std::shared_ptr<TMessageQueue> queue_;
    std::thread::id owner_;
};

// The main thread in use: the installed one, else the program's first thread served by its
// message queue.
IMainThread& MainThread();
// Installs mainThread (not owned); nullptr goes back to the queue-served one.
void SetMainThread(IMainThread* mainThread);
