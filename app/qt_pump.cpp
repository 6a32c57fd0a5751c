#include "app/qt_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "common/base/message_pump.h"

namespace {

// Handles what is pending; when nothing is, sleeps in the event loop until an event arrives,
// at most waitMs (the single-shot timer is the event that ends an idle wait).
void ProcessQtEvents(int waitMs) {
    if (waitMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(waitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace

void InstallQtPumpHook() { SetThreadPumpHook(ProcessQtEvents); }

void RemoveQtPumpHook() { SetThreadPumpHook({}); }
