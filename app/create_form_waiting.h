#pragma once

// Creates a form while the hourglass cursor is shown, then restores the previous cursor.

#include <QApplication>
#include <memory>
#include <utility>

template <class TForm, class... TArgs>
std::unique_ptr<TForm> CreateFormWaiting(TArgs&&... args) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestore {
        ~TRestore() { QApplication::restoreOverrideCursor(); }
    } restore;
    return std::make_unique<TForm>(std::forward<TArgs>(args)...);
}
