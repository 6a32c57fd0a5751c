#include "app/signal_close.h"

#include <QCoreApplication>

#include "app/so_main.h"

TSignalClose::TSignalClose() : signals_([this] { OnStop(); }) {}

void TSignalClose::OnStop() {
    if (window_) {
        window_->Controller().StopRequested();
        return;
    }
    // No window yet: every event loop ends, an open box counts as declined and the start-up
    // runs to its end, where it closes instead of showing the window.
    requested_ = true;
    QCoreApplication::exit(0);
}
