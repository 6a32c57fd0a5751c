#include "common/base/worker_thread.h"

#include <exception>

#include "common/base/to_main_thread.h"

TWorkerThread::TWorkerThread() : link_(std::make_shared<TLink>()) { link_->Worker = this; }

TWorkerThread::~TWorkerThread() {
    link_->Worker = nullptr;
    if (thread_.joinable()) thread_.join();
}

void TWorkerThread::Start() { thread_ = std::thread(&TWorkerThread::Run, this); }

void TWorkerThread::Synchronize(const std::function<void()>& call) {
    MainThread().Synchronize(call);
}

bool TWorkerThread::Ended() const { return ended_; }

void TWorkerThread::Run() {
    try {
        Execute();
    } catch (const std::exception& e) {
        fatalError_ = e.what();
    } catch (...) {
        fatalError_ = "Unknown error";
    }
    // The end call is posted before the end is told: an owner that waited for the end and
    // then frees the worker finds the call dropped, never half run.
    MainThread().Post([link = link_] {
        TWorkerThread* worker = link->Worker;
        if (!worker || !worker->OnTerminate) return;
        // A copy: the handler may free the worker, and with it the original.
        const auto handler = worker->OnTerminate;
        handler(*worker);
    });
    ended_ = true;
}
