#include "app/operator_tray.h"

#include <QPainter>
#include <QPixmap>

#include "app/so_main.h"
#include "common/settings.h"
#include "dialogs/qt_text.h"
#include "dialup/connect_mgr.h"
#include "operator/cycle_monitor.h"

#ifdef DOVRANT_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

TOperatorTray::TOperatorTray(Tso_frmMain& window, TCycleMonitor& monitor)
    : QObject(&window), window_(window), monitor_(monitor) {
    Menu = new QMenu(&window);
    Menu->addAction(window.ShowWindow);
    Menu->addSeparator();
    Menu->addAction(window.ReceiveNow);
    Menu->addAction(window.ResumeAutoImport);
    Menu->addAction(window.PauseAutoImport);
    Menu->addSeparator();
    FolderMenu = Menu->addMenu("&Open Folder");
    FolderMenu->addAction(window.OpenInbox);
    FolderMenu->addAction(window.OpenOutbox);
    FolderMenu->addAction(window.OpenError);
    Menu->addAction(window.FailedFiles);
    Menu->addAction(window.History);
    Menu->addSeparator();
    Menu->addAction(window.Exit1);

    Icon = nullptr;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        Icon = new QSystemTrayIcon(IconFor(TTrayState::Idle), this);
        Icon->setContextMenu(Menu);
        connect(
            Icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    window_.ShowWindow->trigger();
            });
        connect(Icon, &QSystemTrayIcon::messageClicked, this,
                [this] { window_.FailedFiles->trigger(); });
        Icon->show();
    }
    NotifySink = [this](const QString& title, const QString& body) {
        SendNotification(title, body);
    };
    RefreshTimer = new QTimer(this);
    RefreshTimer->setInterval(kRefreshMs);
    connect(RefreshTimer, &QTimer::timeout, this, [this] { Refresh(); });
    RefreshTimer->start();
    Refresh();
}

TOperatorTray::~TOperatorTray() {
    if (Icon) Icon->hide();
}

void TOperatorTray::Refresh() {
    TTrayInputs inputs;
    const TMainController& controller = window_.Controller();
    inputs.Sending = !controller.SendIdle;
    inputs.Receiving = !controller.RecvIdle;
    inputs.Dialling = !DialIdle;
    inputs.Attention = monitor_.Attention();
    const TTrayState state = TrayStateOf(inputs);
    const TFolderCounts& counts = controller.Counts();
    toolTip_ = QText(TrayToolTip(state, counts.Inbox, counts.Outbox, counts.Error,
                                 StdText(window_.StatusPanel0->text())));
    if (Icon) {
        if (state != state_ || Icon->icon().isNull()) Icon->setIcon(IconFor(state));
        Icon->setToolTip(toolTip_);
    }
    state_ = state;
}

void TOperatorTray::Notify(const TNotification& note) {
    Refresh();
    if (NotifySink) NotifySink(QText(note.Title), QText(note.Body));
}

void TOperatorTray::SendNotification(const QString& title, const QString& body) {
    if (IconShown() && QSystemTrayIcon::supportsMessages()) {
        Icon->showMessage(title, body, QSystemTrayIcon::Warning);
        return;
    }
#ifdef DOVRANT_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    // Sent as a bare message, without waiting for an answer or asking the service to
    // describe itself first: a slow or absent notification service must not hold the window.
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                       "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    call << QString("Quillbern Dovrant") << 0u << QString("dialog-warning") << title << body
         << QStringList() << QVariantMap() << -1;
    bus.send(call);
#else
    (void)title;
    (void)body;
#endif
}

QIcon TOperatorTray::IconFor(TTrayState state) {
    QColor disc;
    QString mark;
    switch (state) {
        case TTrayState::Idle:
            disc = QColor(138, 0, 0);  // the folder panel's red
            mark = "Q";
            break;
        case TTrayState::Sending:
            disc = QColor(40, 90, 200);  // the send wheel's blue
            mark = QString::fromUtf8("\u2191");
            break;
        case TTrayState::Receiving:
            disc = QColor(40, 150, 60);  // the receive wheel's green
            mark = QString::fromUtf8("\u2193");
            break;
        case TTrayState::Dialling:
            disc = QColor(200, 140, 0);
            mark = QString::fromUtf8("\u260E");
            break;
        case TTrayState::Attention:
            disc = QColor(230, 60, 20);
            mark = "!";
            break;
    }
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(disc);
        painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(size * 2 / 3);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, mark);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
