#pragma once

// SIGINT and SIGTERM for the window, taken by the common stop-signal watcher (they are
// blocked from the start of main()).

#include <QPointer>

#include "common/base/stop_signals.h"

class Tso_frmMain;

// Handles the signals while it lives; made once the QApplication and the main thread's
// event loop exist, before anything can show a box. Until a window is handed over, a signal
// ends every event loop, so a box shown during start-up closes as declined, and
// TerminationRequested() turns true: the start-up then closes the window instead of showing
// it. Afterwards every signal goes to the window's controller, whose stop rule closes the
// window through its close handler once no transfer runs.
class TSignalClose {
  public:
    TSignalClose();
    bool TerminationRequested() const { return requested_; }
    void CloseThrough(Tso_frmMain& window) { window_ = &window; }

  private:
    void OnStop();

    bool requested_ = false;
    QPointer<Tso_frmMain> window_;
    TStopSignals signals_;  // last: ended before the rest goes
};
