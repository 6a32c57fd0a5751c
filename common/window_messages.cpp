#include "common/window_messages.h"

#include <mutex>

#include "common/base/to_main_thread.h"

namespace {
std::mutex handlerLock;
TWindowMessageHandler handler;

TWindowMessageHandler CurrentHandler() {
    std::lock_guard<std::mutex> guard(handlerLock);
    return handler;
}
}  // namespace

void SetMainWindowHandler(TWindowMessageHandler newHandler) {
    std::lock_guard<std::mutex> guard(handlerLock);
    handler = std::move(newHandler);
}

void PostMainWindowMessage(int message, int wParam, long lParam) {
    MainThread().Post([message, wParam, lParam] {
        // Looked up when the message is handled: a window closed meanwhile gets nothing.
        if (TWindowMessageHandler current = CurrentHandler()) current(message, wParam, lParam);
    });
}
