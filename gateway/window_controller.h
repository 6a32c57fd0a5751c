#pragma once

// The logic of the main window: start-up, the close rules, the counters, automatic sending
// and the timers that drive all work. It keeps the window's handler names and reaches the
// screen only through IMainView and the operator view, so core tests drive it without a
// display and on the manual clock.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "common/base/clock.h"
#include "common/base/main_view.h"
#include "common/base/stringlist.h"
#include "common/base/timer.h"
#include "common/folder_counters.h"
#include "gateway/cycle_event.h"
#include "gateway/gateway_status.h"

class THistoryRecorder;
class TLockFile;
class TRecvThread;
class TSendThread;
class TWorkerThread;
struct TReceiveOutcome;
struct TSendOutcome;

// What the program entry hands the window.
struct TMainWindowSetup {
    std::string ProgramDir;  // ends with "/"
    std::string ComputerName;
    TLockFile* LockFile = nullptr;    // held lock file, none in multi-user mode
    TTimerFactory MakeTimer;          // the window's timers
    bool InstallOperatorView = true;  // message boxes of the core go to this window
    // The dial-up connection check (0 when a connection is held, -1 otherwise) and the
    // hang-up of the line this program dialled. Without them no line can be dialled.
    std::function<int()> CheckConnection;
    std::function<void()> HangUpDialup;
    // Ends the program at once with an exit code (a refused forced upgrade).
    std::function<void(int code)> EndProgram;
    // Ends the program without unwinding anything, while workers may still run (a second
    // stop signal); std::_Exit unless set.
    std::function<void(int code)> EndProgramAtOnce;
};

class TMainController {
  public:
    static constexpr int kSendScanMs = 5000;
    static constexpr int kScheduleTickMs = 60000;
    static constexpr int kStatusTickMs = 60000;

    TMainController(TMainWindowSetup setup, IMainView& view);
    ~TMainController();
    TMainController(const TMainController&) = delete;
    TMainController& operator=(const TMainController&) = delete;

    const TMainWindowSetup& Setup() const { return setup_; }

    std::unique_ptr<ITimer> Timer_RecvSchedule;
    std::unique_ptr<ITimer> Timer_Send;
    std::unique_ptr<ITimer> Timer_Delay;
    // Rewrites the status file between cycles, so a monitor can tell a quiet gateway from a
    // stopped one.
    std::unique_ptr<ITimer> Timer_Status;
    // Shows the options dialog modally; set by the window.
    std::function<void()> ShowOption;
    // Told of each cycle event; set by the window. Whatever it raises is kept from the cycle.
    std::function<void(TCycleEvent)> CycleEvent;
    // Told of each ended cycle's outcome, on the main thread, before its end event.
    std::function<void(const TSendOutcome&)> SendOutcome;
    std::function<void(const TReceiveOutcome&)> ReceiveOutcome;

    // The runtime state of the gateway. The idle flags are false while a cycle runs (workers
    // and other threads may read them); the rest belongs to the main thread.
    std::atomic<bool> SendIdle{true};
    std::atomic<bool> RecvIdle{true};
    std::atomic<bool> MessageSent{false};  // a file went since the line was dialled
    TDateTime LastConnectTime = 0;         // the last receive attempt
    TDateTime NextConnectTime = 0;         // the next scheduled receive; 0 for none
    TStringList OutboxQueue;               // what the last Outbox scan found
    // Automatic sending, switched by Pause and Resume; a running send reads it before each file.
    bool AutoImport() const { return autoImport_; }
    bool ScheduleEnabled() const;

    // Handlers.
    void FormCreate();
    void FormShow();
    // True when the window may close.
    bool FormClose();
    void CloseDown();
    // SIGINT or SIGTERM, on the main thread. The first closes through the close rules as
    // soon as no send, receive or dial runs; the next one ends the program at once.
    void StopRequested();
    void OpenInboxExecute();
    void OpenOutboxExecute();
    void OpenErrorExecute();
    void Exit1Click();
    void OpenOptionExecute();
    void AboutExecute();
    void ReceiveNowExecute();
    // A service's "transfer now": a receive now, and an Outbox scan unless a send runs or
    // automatic sending is paused.
    void TransferNow();
    void PauseAutoImportExecute();
    void ResumeAutoImportExecute();
    void SetAutoImport(bool on);
    void Timer_SendTimer();
    void Timer_RecvScheduleTimer();
    void Timer_DelayTimer();
    // Works out the next scheduled receive and shows it in the status bar.
    void ShowNextConnection();

    // Transfer cycles.
    int EnsureDialup();
    void StartSend();
    bool HasCompanyInfo();
    void StartReceive();
    void SendFinish();
    void ReceiveFinish();
    // Whether the line in use is this program's to hang up: a dial-up line it dialled.
    bool HangsUpLine() const;
    void CheckDelayDisconnect(const std::string& action);
    void ScheduleDelayDisconnect(const std::string& action);
    bool DisconnectDialup();
    void CheckForceUpgrade();
    TDateTime DisconnectTime() const { return disconnectTime_; }
    // A message a worker posted to the window (1134 send progress, 1144 receive progress).
    void WindowMessage(int message, int wParam, long lParam);

    // Runs a handler for an event of the window; an error is shown in the standard error
    // box and the program goes on.
    void RunHandler(void (TMainController::*handler)());
    void ShowCounters(const TFolderCounts& counts);
    // The folder counts last shown.
    const TFolderCounts& Counts() const { return counts_; }
    bool ClosedDown() const { return closed_; }

    // The status file in the log folder: what it holds now, and writing it (a failure is
    // logged, once until a write succeeds again).
    TGatewayStatus CurrentStatus() const;
    void WriteStatus();

    // The transfer history in the log folder; null until settings with a log folder loaded.
    THistoryRecorder* History() const { return history_.get(); }

    // Waits for the running workers to end and runs their end handlers (SendFinish,
    // ReceiveFinish). At most ms milliseconds through the clock, or for good with -1.
    // True when none runs any more.
    bool WaitForWorkers(int ms = -1);

  private:
    void ReportCycle(TCycleEvent event);
    void OpenDataFolder(const char* logText, const std::string& folder);
    void StartStatus();
    void StopStatus();
    void CycleEnded(TCycleOutcome& last, TCycleOutcome outcome);
    void SendNotStarted(const std::string& reason);
    void ReceiveNotStarted(const std::string& reason);
    bool TransfersIdle() const;
    // Removes the rows of the transfer history older than HISTORY_DAYS.
    void PurgeHistory();
    // After a handler or a cycle ended: asks for the close a stop waits for, once idle.
    void CloseIfStopWaits();

    TMainWindowSetup setup_;
    IMainView& view_;
    bool closed_ = false;
    TDateTime disconnectTime_ = 0;  // when a delayed hang-up is due
    std::atomic<bool> autoImport_{false};
    // The running workers; each is freed once its end handler ran.
    std::unique_ptr<TSendThread> sendThread_;
    std::unique_ptr<TRecvThread> recvThread_;
    std::unique_ptr<THistoryRecorder> history_;
    TCycleOutcome lastSend_;
    TCycleOutcome lastReceive_;
    bool statusStarted_ = false;
    bool statusFailing_ = false;
    bool closing_ = false;
    TFolderCounts counts_;
    // A next connection time that is not caught up when found past: one past at start, or
    // one caught up already.
    TDateTime noCatchUp_ = 0;
    int stops_ = 0;
    bool stopWaits_ = false;
};

// Shows an error that reached a window handler in the application's standard error box.
void ShowHandlerError(const std::exception& error);
