#pragma once

// A message a worker posted to the main window, delivered as a Qt event whose type is the
// message number (1134 send progress, 1144 receive progress; both lie in Qt's user range).

#include <QEvent>

class TWindowMessageEvent : public QEvent {
  public:
    TWindowMessageEvent(int message, int wParam, long lParam)
        : QEvent(static_cast<QEvent::Type>(message)), WParam(wParam), LParam(lParam) {}

    int WParam;
    long LParam;
};
