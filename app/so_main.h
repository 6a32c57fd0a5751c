#pragma once

// The gateway's only window: folder counters, send and receive progress, the schedule line
// in the status bar, and the menus. It owns the three timers that drive all work; the work
// itself lives in the core.

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>

#include "app/activity_indicator.h"
#include "app/window_timer.h"
#include "common/base/clock.h"
#include "common/folder_counters.h"

class TLockFile;
class TQtOperatorView;

// What the program entry hands the window.
struct TMainWindowSetup {
    std::string ProgramDir;  // ends with "/"
    std::string ComputerName;
    TLockFile* LockFile = nullptr;  // held lock file, none in multi-user mode
    TTimerFactory MakeTimer = MakeQtWindowTimer;
    bool InstallOperatorView = true;  // message boxes of the core go to this window
};

class Tso_frmMain : public QMainWindow {
  public:
    explicit Tso_frmMain(TMainWindowSetup setup, QWidget* parent = nullptr);
    ~Tso_frmMain() override;

    // Shows a folder to the operator (xdg-open); a start failure is not reported.
    std::function<void(const std::string& folder)> OpenFolder;

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
    std::unique_ptr<IWindowTimer> Timer_RecvSchedule;
    std::unique_ptr<IWindowTimer> Timer_Send;
    std::unique_ptr<IWindowTimer> Timer_Delay;

    // Handlers.
    void FormCreate();
    void FormShow();
    // True when the window may close.
    bool FormClose();
    void CloseDown();
    void OpenInboxExecute();
    void OpenOutboxExecute();
    void OpenErrorExecute();
    void Exit1Click();
    void OpenOptionExecute();
    void AboutExecute();
    void ReceiveNowExecute();
    void PauseAutoImportExecute();
    void ResumeAutoImportExecute();
    void SetAutoImport(bool on);
    void Timer_SendTimer();
    void Timer_RecvScheduleTimer();
    void Timer_DelayTimer();

    // Sets the three counter labels; on the main thread only.
    void ShowCounters(const TFolderCounts& counts);
    void SetStatusText(const std::string& text);
    bool ClosedDown() const { return Closed; }

  protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void BuildLeftPanel();
    void BuildRightPanel();
    void BuildActions();
    void BuildMenus();
    void BuildTimers();
    void OpenDataFolder(const char* logText, const std::string& folder);
    // Runs a handler called by Qt; an error is shown in the standard error box.
    void RunHandler(void (Tso_frmMain::*handler)());

    TMainWindowSetup Setup;
    std::unique_ptr<TQtOperatorView> View;
    TDateTime DisconnectTime = 0;  // when a delayed hang-up is due
    bool Shown = false;
    bool Closed = false;
};
