#include "app/signal_close.h"

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>

namespace {

int signalPipe[2] = {-1, -1};
bool requested = false;
QPointer<QWidget> target;

void OnSignal(int) {
    char byte = 1;
    ssize_t written = write(signalPipe[1], &byte, 1);
    (void)written;  // nothing else is safe inside a signal handler
}

sigset_t TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

void OnTerminationSignal() {
    char byte;
    ssize_t got = read(signalPipe[0], &byte, 1);
    (void)got;
    const bool first = !requested;
    requested = true;
    if (first && target) {
        target->close();
        return;
    }
    // No window yet, or asked again (for instance while a question at close waits for an
    // answer that no one on an offscreen display can give): every event loop ends, an open
    // box counts as declined and the close or the start-up runs to its end.
    QCoreApplication::exit(0);
}

}  // namespace

void DeferTerminationSignals() {
    sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void HandleTerminationSignals() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, OnTerminationSignal);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool TerminationRequested() { return requested; }

void CloseOnTerminationSignals(QWidget* window) { target = window; }
