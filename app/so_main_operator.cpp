// The operator's extras on the main window: the tray, notifications, the failed-files window,
// the log view, the transfer history, their switches in USER.INI, and the accessible names of the
// window's parts.

#include <QCloseEvent>
#include <exception>

#include "app/create_form_waiting.h"
#include "app/failed_files_dlg.h"
#include "app/log_view_dlg.h"
#include "app/operator_tray.h"
#include "app/so_main.h"
#include "common/folder_counters.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "dialogs/history_dlg.h"
#include "history/history_store.h"
#include "operator/cycle_monitor.h"
#include "operator/operator_settings.h"

void Tso_frmMain::BuildOperatorActions() {
    FailedFiles = new QAction("&Failed Files...", this);
    connect(FailedFiles, &QAction::triggered, this, [this] { ShowFailedFiles(); });
    LogView = new QAction("&Log View...", this);
    connect(LogView, &QAction::triggered, this, [this] { ShowLogView(); });
    History = new QAction("&History...", this);
    connect(History, &QAction::triggered, this, [this] { ShowHistory(); });
    ShowWindow = new QAction("&Show Window", this);
    connect(ShowWindow, &QAction::triggered, this, [this] { ShowFromTray(); });
    Notifications = new QAction("&Notifications", this);
    Notifications->setCheckable(true);
    Notifications->setChecked(true);
    CloseToTray = new QAction("&Close to Tray", this);
    CloseToTray->setCheckable(true);
    // Written when the operator changes them, not when the settings are applied.
    connect(Notifications, &QAction::triggered, this, [this] { SaveOperatorSwitches(); });
    connect(CloseToTray, &QAction::triggered, this, [this] { SaveOperatorSwitches(); });
}

void Tso_frmMain::BuildOperatorFeatures() {
    // What screen readers call the window's parts; the texts they read change with the work.
    lblInboxCnt->setAccessibleName("Inbox count");
    lblOutboxCnt->setAccessibleName("Outbox count");
    lblErrorCnt->setAccessibleName("Error count");
    btnInbox->setAccessibleName("Open Inbox folder");
    btnOutbox->setAccessibleName("Open Outbox folder");
    btnError->setAccessibleName("Open Error folder");
    lblFileName->setAccessibleName("Send status");
    lblReceive->setAccessibleName("Receive status");
    ProgressBar_Send->setAccessibleName("Send progress");
    ProgressBar_receive->setAccessibleName("Receive progress");
    StatusPanel0->setAccessibleName("Next connection");
    for (QToolButton* button : {btnInbox, btnOutbox, btnError})
        button->setFocusPolicy(Qt::StrongFocus);

    monitor_ = std::make_unique<TCycleMonitor>([] { return ProgramInfo.ErrorPath; });
    controller_->SendOutcome = [this](const TSendOutcome& outcome) { monitor_->Sent(outcome); };
    controller_->ReceiveOutcome = [this](const TReceiveOutcome& outcome) {
        monitor_->Received(outcome);
    };
    Tray = new TOperatorTray(*this, *monitor_);
    monitor_->Notify = [this](const TNotification& note) {
        if (Tray) Tray->Notify(note);
    };
    controller_->CycleEvent = [this](TCycleEvent event) {
        // A forced upgrade is found while the settings load, before the switches are applied.
        if (!operatorSettingsApplied_ && UserIni) ApplyOperatorSettings();
        monitor_->Event(event);
        if (Tray) Tray->Refresh();
        // The cycle's rows are written before it is told ended.
        if (historyDlg_ && (event == TCycleEvent::SendEnded || event == TCycleEvent::ReceiveEnded))
            historyDlg_->Reload();
    };
}

void Tso_frmMain::ApplyOperatorSettings() {
    if (!UserIni) return;
    operatorSettingsApplied_ = true;
    const TOperatorSettings settings = LoadOperatorSettings(UserIni.get());
    Notifications->setChecked(settings.Notifications);
    CloseToTray->setChecked(settings.CloseToTray);
    monitor_->Gate().SetEnabled(settings.Notifications);
}

void Tso_frmMain::SaveOperatorSwitches() {
    monitor_->Gate().SetEnabled(Notifications->isChecked());
    if (!UserIni) return;
    TOperatorSettings settings;
    settings.Notifications = Notifications->isChecked();
    settings.CloseToTray = CloseToTray->isChecked();
    try {
        SaveOperatorSettings(*UserIni, settings);
        WriteLog(std::string("Notifications ") + (settings.Notifications ? "on" : "off") +
                     ", close to tray " + (settings.CloseToTray ? "on" : "off"),
                 1);
    } catch (const std::exception& error) {
        ShowHandlerError(error);
    }
}

bool Tso_frmMain::HideToTray(QCloseEvent* e) {
    // Only the window's own close button hides; Exit, a signal and "Housekeep now" close
    // programmatically and keep the close rules. Without a tray icon the window could not
    // come back, so it closes as always.
    if (!CloseToTray->isChecked() || !e->spontaneous() || !Tray || !Tray->IconShown() ||
        controller_->ClosedDown())
        return false;
    hide();
    e->ignore();
    return true;
}

void Tso_frmMain::ShowFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void Tso_frmMain::ShowFailedFiles() {
    monitor_->ClearAttention();
    auto dialog =
        CreateFormWaiting<TFailedFilesDlg>(this, ProgramInfo.ErrorPath, ProgramInfo.OutboxPath,
                                           ProgramInfo.LogPath, monitor_->Reasons());
    dialog->Opener = [this](const std::string& path) { OpenFolder(path); };
    dialog->FilesChanged = [] { RefreshCounters(); };
    dialog->exec();
    if (Tray) Tray->Refresh();
}

void Tso_frmMain::ShowLogView() {
    auto dialog = CreateFormWaiting<TLogViewDlg>(this, ProgramInfo.LogPath);
    dialog->FolderOpener = [this](const std::string& folder) { OpenFolder(folder); };
    dialog->exec();
}

void Tso_frmMain::ShowHistory() {
    if (!historyDlg_) {
        historyDlg_ =
            CreateFormWaiting<THistoryDlg>(this, ProgramInfo.LogPath + kHistoryFileName).release();
        historyDlg_->setAttribute(Qt::WA_DeleteOnClose);
        historyDlg_->FolderOpener = [this](const std::string& folder) { OpenFolder(folder); };
    } else {
        historyDlg_->Reload();
    }
    historyDlg_->show();
    historyDlg_->raise();
    historyDlg_->activateWindow();
}
