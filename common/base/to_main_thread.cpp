#include "common/base/to_main_thread.h"

#include <atomic>
#include <exception>
#include <future>

#include "common/base/message_pump.h"

TQueueMainThread::TQueueMainThread()
    : queue_(TMessageQueue::Current()), owner_(std::this_thread::get_id()) {}

void TQueueMainThread::Post(std::function<void()> call) { queue_->Post(std::move(call)); }

void TQueueMainThread::Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    queue_->Post([done, &call] {
        try {
            call();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    done->get_future().get();
}

bool TQueueMainThread::IsMainThread() const { return std::this_thread::get_id() == owner_; }

namespace {

std::atomic<IMainThread*> installed{nullptr};
// Made while the program's static objects are built, which happens on its first thread.
TQueueMainThread programThread;

}  // namespace

IMainThread& MainThread() {
    IMainThread* mainThread = installed.load();
    return mainThread ? *mainThread : programThread;
}

void SetMainThread(IMainThread* mainThread) { installed.store(mainThread); }
