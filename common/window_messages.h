#pragma once

// Messages the worker threads post to the main window. Posting never blocks and may happen
// from any thread; the window's handler gets the message later on the main thread, through
// MainThread().Post.

#include <functional>

inline constexpr int WM_USER = 0x0400;
inline constexpr int WM_SENDPROGRESS = WM_USER + 110;  // 1134: LParam = send progress 0..100
inline constexpr int WM_RECVPROGRESS = WM_USER + 120;  // 1144: LParam = receive progress 0..100

using TWindowMessageHandler = std::function<void(int message, int wParam, long lParam)>;

// The main window installs its handler when created and removes it (empty) when it closes.
void SetMainWindowHandler(TWindowMessageHandler handler);

// Posts message to the main window; a message that arrives while no window is there is
// dropped.
void PostMainWindowMessage(int message, int wParam, long lParam);
