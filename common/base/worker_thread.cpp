#include "common/base/worker_thread.h"

#include <exception>
#include <thread>

#include "common/base/to_main_thread.h"

void TWorkerThread::Start() { std::thread(&TWorkerThread::Run, this).detach(); }

void TWorkerThread::Synchronize(const std::function<void()>& call) {
    MainThread().Synchronize(call);
}

void TWorkerThread::Run(TWorkerThread* thread) {
    try {
        thread->Execute();
    } catch (const std::exception& e) {
        thread->fatalError_ = e.what();
    } catch (...) {
        thread->fatalError_ = "Unknown error";
    }
    // The last touch of the object on this thread: from here on it belongs to the main
    // thread, which runs the end handler and frees it.
    MainThread().Post([thread] {
        struct TFree {
            TWorkerThread* thread;
            ~TFree() { delete thread; }
        } free{thread};
        if (thread->OnTerminate) thread->OnTerminate(*thread);
    });
}
