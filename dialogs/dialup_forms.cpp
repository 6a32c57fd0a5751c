#include "dialogs/dialup_forms.h"

#include <QApplication>

#include "dialogs/dial_dlg.h"
#include "dialogs/dial_info_dlg.h"
#include "dialogs/ras_entry_dlg.h"

void InstallDialupForms() {
    TDialupHooks hooks;
    hooks.makeDialInfo = [] {
        return std::make_unique<TfrmDialInfo>(QApplication::activeWindow());
    };
    hooks.makeDialProgress = [] {
        return std::make_unique<TfrmDial>(QApplication::activeWindow());
    };
    hooks.busyCursor = [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    // The process keeps no socket library state to end after a hang-up.
    hooks.socketsCleanup = [] {};
    // Our own dialogs dial; the platform has no dial dialog of its own to offer.
    hooks.platformId = [] { return 1; };
    SetDialupHooks(std::move(hooks));
    InstallRasEntryDialog();
}

void RemoveDialupForms() {
    SetDialupHooks({});
    SetRasEntryEditor({});
}
