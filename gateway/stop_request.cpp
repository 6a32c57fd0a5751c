// Stop signals: the first closes the gateway once the running transfers have ended, the
// second ends it at once. Every file write is atomic, so even then each file is whole in
// one folder; the lock file left behind is swept at the next start.

#include <cstdlib>

#include "common/settings.h"
#include "common/syslog.h"
#include "dialup/connect_mgr.h"
#include "gateway/window_controller.h"

bool TMainController::TransfersIdle() const { return SendIdle && RecvIdle && DialIdle; }

void TMainController::StopRequested() {
    if (closed_) return;  // the close has run; the program is on its way out
    if (++stops_ > 1) {
        WriteLogQuietly(TransfersIdle() ? "Stopped while the close was waiting"
                                        : "Stopped while a transfer was running",
                        1);
        if (setup_.EndProgramAtOnce)
            setup_.EndProgramAtOnce(1);
        else
            std::_Exit(1);
        return;
    }
    if (TransfersIdle()) {
        view_.RequestClose();
        return;
    }
    WriteLogQuietly("Close when the running transfer ends", 1);
    stopWaits_ = true;
}

void TMainController::CloseIfStopWaits() {
    if (!stopWaits_ || closed_ || !TransfersIdle()) return;
    stopWaits_ = false;
    view_.RequestClose();
}
