#include "common/base/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>

#include "common/base/to_main_thread.h"

namespace {

sigset_t StopSet(bool transferNow) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (transferNow) sigaddset(&set, SIGUSR1);
    return set;
}

}  // namespace

void BlockStopSignals() {
    const sigset_t set = StopSet(true);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TStopSignals::TStopSignals(std::function<void()> onStop, std::function<void()> onTransferNow)
    : onStop_(std::make_shared<std::function<void()>>(std::move(onStop))),
      onTransferNow_(std::make_shared<std::function<void()>>(std::move(onTransferNow))) {
    const sigset_t set = StopSet(*onTransferNow_ != nullptr);
    signals_.Reset(signalfd(-1, &set, SFD_CLOEXEC));
    wake_.Reset(eventfd(0, EFD_CLOEXEC));
    if (!signals_ || !wake_) {
        // Without a watcher a blocked signal would never be seen: the signals get their
        // default action back, so a stop still ends the program.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    thread_ = std::thread([this] { Watch(); });
}

TStopSignals::~TStopSignals() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        ssize_t written = write(wake_.Get(), &one, sizeof one);
        (void)written;  // an eventfd counter this far from full always takes it
        thread_.join();
    }
    *onStop_ = nullptr;
    *onTransferNow_ = nullptr;
}

void TStopSignals::Watch() {
    for (;;) {
        pollfd waits[2] = {{signals_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (waits[1].revents != 0) return;
        signalfd_siginfo info;
        if (read(signals_.Get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
        MainThread().Post([call = info.ssi_signo == SIGUSR1 ? onTransferNow_ : onStop_] {
            if (*call) (*call)();
        });
    }
}
