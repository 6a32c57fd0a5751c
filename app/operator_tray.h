#pragma once

// The gateway's icon in the desktop's tray: a picture per state, a tooltip with the counters
// and the next connection, a menu of the window's own actions, and desktop notifications.
// Where the desktop has no tray the menu and the notifications (over D-Bus, where a
// notification service runs) still work; only the icon is missing.

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

#include "operator/notify_gate.h"
#include "operator/tray_state.h"

class Tso_frmMain;
class TCycleMonitor;

class TOperatorTray : public QObject {
  public:
    static constexpr int kRefreshMs = 1000;

    TOperatorTray(Tso_frmMain& window, TCycleMonitor& monitor);
    ~TOperatorTray() override;

    QMenu* Menu;
    QMenu* FolderMenu;
    QSystemTrayIcon* Icon;  // null where the desktop has no tray
    QTimer* RefreshTimer;

    // Shows a summary to the operator; tests replace it.
    std::function<void(const QString& title, const QString& body)> NotifySink;
    void Notify(const TNotification& note);

    // Works out the state and tooltip again.
    void Refresh();
    TTrayState State() const { return state_; }
    QString ToolTip() const { return toolTip_; }
    bool IconShown() const { return Icon && Icon->isVisible(); }

    // The picture of a state: a coloured disc with a mark, drawn so no theme is needed.
    static QIcon IconFor(TTrayState state);

  private:
    void SendNotification(const QString& title, const QString& body);

    Tso_frmMain& window_;
    TCycleMonitor& monitor_;
    TTrayState state_ = TTrayState::Idle;
    QString toolTip_;
};
