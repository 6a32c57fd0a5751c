#pragma once

// The gateway's only window: folder counters, send and receive progress, the schedule line
// in the status bar, and the menus. It builds the widgets, forwards their events to the
// core controller and shows what the controller sets through IMainView.

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>

#include "app/activity_indicator.h"
#include "dialogs/history_dlg.h"
#include "gateway/window_controller.h"

class TQtOperatorView;
class TCycleMonitor;
class TOperatorTray;

class Tso_frmMain : public QMainWindow, public IMainView {
  public:
    explicit Tso_frmMain(TMainWindowSetup setup, QWidget* parent = nullptr);
    ~Tso_frmMain() override;

    // Shows a folder to the operator (xdg-open by default; tests replace it).
    std::function<void(const std::string& folder)> FolderOpener;

    // Components, named as the window's design names them.
    QWidget* Panel1;
    QToolButton* btnInbox;
    QToolButton* btnOutbox;
    QToolButton* btnError;
    QLabel* lblInboxCnt;
    QLabel* lblOutboxCnt;
    QLabel* lblErrorCnt;
    QWidget* RightPanel;
    QGroupBox* GrpbxSend;
    QLabel* lblFileName;
    TActivityIndicator* Animate_Send;
    QProgressBar* ProgressBar_Send;
    QGroupBox* GrpbxRecv;
    QLabel* lblReceive;
    TActivityIndicator* Animate_Receive;
    QProgressBar* ProgressBar_receive;
    QLabel* StatusPanel0;
    QMenu* File1;
    QMenu* Tool1;
    QMenu* About1;
    QMenu* PopupMenu;
    QAction* Exit1;
    QAction* OpenInbox;
    QAction* OpenOutbox;
    QAction* OpenError;
    QAction* ReceiveNow;
    QAction* OpenOption;
    QAction* PauseAutoImport;
    QAction* ResumeAutoImport;
    QAction* About;
    // The operator's extras: the failed-files window, the log view, the tray and its
    // switches (kept in USER.INI).
    QAction* FailedFiles;
    QAction* LogView;
    QAction* History;
    QAction* ShowWindow;
    QAction* Notifications;
    QAction* CloseToTray;
    TOperatorTray* Tray = nullptr;
    // The controller's timers, under the window's names.
    ITimer* Timer_RecvSchedule;
    ITimer* Timer_Send;
    ITimer* Timer_Delay;

    // The window's logic; the handlers of the widgets only forward to it.
    TMainController& Controller() { return *controller_; }
    bool ClosedDown() const { return controller_->ClosedDown(); }

    // IMainView.
    void SetText(TMainText text, const std::string& value) override;
    void SetProgress(TMainTransfer transfer, bool visible, int position) override;
    void SetAnimation(TMainTransfer transfer, bool playing) override;
    void SetActionState(TMainAction action, bool enabled, bool visible) override;
    void OpenFolder(const std::string& folder) override;
    void ShowAbout() override;
    // The options dialog, on the open USER.INI; "Housekeep now" closes the window afterwards.
    void ShowOption();
    void RequestClose() override;
    void ShowFailedFiles();
    void ShowLogView();
    // The transfer history, beside the window; searched again whenever a cycle ends.
    void ShowHistory();
    THistoryDlg* HistoryWindow() const { return historyDlg_; }
    // Brings the window back from the tray (or from behind others).
    void ShowFromTray();
    TCycleMonitor& Monitor() { return *monitor_; }

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void BuildLeftPanel();
    void BuildRightPanel();
    void BuildActions();
    void BuildMenus();
    QAction* ActionOf(TMainAction action) const;
    QLabel* LabelOf(TMainText text) const;
    void BuildOperatorActions();
    void BuildOperatorFeatures();
    void ApplyOperatorSettings();
    void SaveOperatorSwitches();
    // True when a close from the window's own button only hides it into the tray.
    bool HideToTray(QCloseEvent* e);

    std::unique_ptr<TQtOperatorView> operatorView_;
    std::unique_ptr<TMainController> controller_;
    std::unique_ptr<TCycleMonitor> monitor_;
    bool operatorSettingsApplied_ = false;
    bool shown_ = false;
    QPointer<THistoryDlg> historyDlg_;
};
