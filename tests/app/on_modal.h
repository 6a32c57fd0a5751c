#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>

// Runs act on the modal dialog of type T once its event loop runs; gives up after a number
// of event-loop turns without it.
template <class T>
void OnModal(std::function<void(T*)> act, int turns = 2000) {
    QTimer::singleShot(0, [act, turns] {
        if (auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget()))
            act(dialog);
        else if (turns > 0)
            OnModal<T>(act, turns - 1);
        else
            ADD_FAILURE() << "the dialog was not shown";
    });
}
