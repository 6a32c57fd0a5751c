#pragma once

// Messages the worker threads post to the main window. Posting never blocks and may happen
// from any thread; the window handles the message later on the main thread.

#include <functional>

inline constexpr int WM_USER = 0x0400;
inline constexpr int WM_SENDPROGRESS = WM_USER + 110;  // 1134: LParam = send progress 0..100
inline constexpr int WM_RECVPROGRESS = WM_USER + 120;  // 1144: LParam = receive progress 0..100

using TPostMessage = std::function<void(int message, int wParam, long lParam)>;

// The window installs its poster when created and removes it (empty) when it closes.
void SetMainWindowPoster(TPostMessage poster);

// Posts message to the main window; does nothing while no window is there.
void PostMainWindowMessage(int message, int wParam, long lParam);
