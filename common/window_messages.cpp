#include "common/window_messages.h"

#include <mutex>

namespace {
std::mutex PosterLock;
TPostMessage Poster;
}  // namespace

void SetMainWindowPoster(TPostMessage poster) {
    std::lock_guard<std::mutex> guard(PosterLock);
    Poster = std::move(poster);
}

void PostMainWindowMessage(int message, int wParam, long lParam) {
    std::lock_guard<std::mutex> guard(PosterLock);
    if (Poster) Poster(message, wParam, lParam);
}
