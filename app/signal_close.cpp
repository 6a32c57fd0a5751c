#include "app/signal_close.h"

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
    char byte = 1;
    ssize_t written = write(SignalPipe[1], &byte, 1);
    (void)written;  // nothing else is safe inside a signal handler
}

sigset_t TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void DeferTerminationSignals() {
    sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void CloseOnTerminationSignals(QWidget* window) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        ssize_t got = read(SignalPipe[0], &byte, 1);
        (void)got;
        static bool asked = false;
        if (!asked) {
            asked = true;
            window->close();
        } else {
            // Asked again, for instance while a question at close waits for an answer that
            // no one on an offscreen display can give: every event loop ends, an open box
            // counts as declined and the close runs to its end.
            QCoreApplication::exit(0);
        }
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}
