#include "gateway/window_controller.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>

#include "common/base/datetime.h"
#include "common/base/message_pump.h"
#include "common/housekeeping.h"
#include "common/leftovers.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "common/single_instance.h"
#include "common/syslog.h"
#include "common/view.h"
#include "common/window_messages.h"
#include "dialup/connect_mgr.h"
#include "gateway/schedule.h"
#include "history/history_recorder.h"
#include "transfer/recv_thread.h"
#include "transfer/send_thread.h"

void ShowHandlerError(const std::exception& error) {
    OperatorView().MessageBox(TMsgKind::Error, error.what(), "", TMsgButtons::OK);
}

namespace {

// The delayed hang-up interval: minutes to timer milliseconds, kept inside what a timer
// can hold whatever USER.INI says.
int DelayMs(int32_t minutes) {
    const int64_t ms = static_cast<int64_t>(std::max<int32_t>(minutes, 0)) * 60 * 1000;
    return static_cast<int>(std::min<int64_t>(ms, INT_MAX));
}

}  // namespace

TMainController::TMainController(TMainWindowSetup setup, IMainView& view)
    : setup_(std::move(setup)), view_(view) {
    Timer_RecvSchedule = setup_.MakeTimer();
    Timer_Send = setup_.MakeTimer();
    Timer_Delay = setup_.MakeTimer();
    Timer_Status = setup_.MakeTimer();
    Timer_Status->OnTimer = [this] { WriteStatus(); };
    Timer_RecvSchedule->OnTimer = [this] { RunHandler(&TMainController::Timer_RecvScheduleTimer); };
    Timer_Send->OnTimer = [this] { RunHandler(&TMainController::Timer_SendTimer); };
    Timer_Delay->OnTimer = [this] { RunHandler(&TMainController::Timer_DelayTimer); };
    SetMainWindowHandler(
        [this](int message, int wParam, long lParam) { WindowMessage(message, wParam, lParam); });
}

TMainController::~TMainController() {
    // A worker still running finishes without its end handler; its calls to the window are
    // served meanwhile.
    if (sendThread_) sendThread_->OnTerminate = nullptr;
    if (recvThread_) recvThread_->OnTerminate = nullptr;
    while ((sendThread_ && !sendThread_->Ended()) || (recvThread_ && !recvThread_->Ended()))
        PumpMessages(10);
    sendThread_.reset();
    recvThread_.reset();
    StopStatus();
    SetMainWindowHandler({});
    SetCounterSink({});
}

void TMainController::RunHandler(void (TMainController::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& e) {
        ShowHandlerError(e);
    }
    // A dial, or a cycle that could not start, may have been the last transfer a stop
    // waited for.
    CloseIfStopWaits();
}

void TMainController::FormCreate() {
    // The window is created and the program runs on whatever these raise.
    try {
        LoadSettings(setup_.ProgramDir, setup_.ComputerName);
    } catch (const std::exception& e) {
        ShowHandlerError(e);
    }
    if (!ProgramInfo.LogPath.empty())
        history_ = std::make_unique<THistoryRecorder>(ProgramInfo.LogPath + kHistoryFileName,
                                                      [](const std::string& line) {
                                                          try {
                                                              WriteLog(line, 1);
                                                          } catch (const std::exception&) {
                                                          }
                                                      });
    // A killed run's upload copies and half-written files go before any new work starts.
    try {
        if (!ProgramInfo.OutboxPath.empty()) SweepLeftovers(LoadedSettings());
    } catch (const std::exception& e) {
        ShowHandlerError(e);
    }
    // The dial-up connection handle starts at 0 by its own definition.
    MessageSent = false;
    LastConnectTime = Now();
    try {
        CheckForceUpgrade();
    } catch (const std::exception& e) {
        ShowHandlerError(e);
    }
}

void TMainController::FormShow() {
    SetCounterSink([this](const TFolderCounts& counts) { ShowCounters(counts); });
    RefreshCounters();
    Timer_Send->SetInterval(kSendScanMs);
    SetAutoImport(ProgramInfo.AutoImport);
    ShowNextConnection();
    // A scheduled time already past at start is not caught up.
    if (NextConnectTime != 0 && NextConnectTime < Now()) noCatchUp_ = NextConnectTime;
    if (ScheduleEnabled()) {
        Timer_RecvSchedule->SetInterval(kScheduleTickMs);
        Timer_RecvSchedule->SetEnabled(true);
    }
    Timer_Delay->SetEnabled(false);
    Timer_Delay->SetInterval(DelayMs(ConnectionInfo.DialupDelay));
    StartStatus();
}

void TMainController::ShowCounters(const TFolderCounts& counts) {
    counts_ = counts;
    view_.SetText(TMainText::InboxCount, CounterCaption("Inbox", counts.Inbox));
    view_.SetText(TMainText::OutboxCount, CounterCaption("Outbox", counts.Outbox));
    view_.SetText(TMainText::ErrorCount, CounterCaption("Error", counts.Error));
}

bool TMainController::FormClose() {
    if (!(SendIdle && RecvIdle && DialIdle)) {
        OperatorView().MessageBox(
            TMsgKind::Information,
            "Unable to close application now. Message(s) are being sent or received.", "",
            TMsgButtons::OK);
        HousekeepNow = false;
        return false;
    }
    if (Timer_Delay->Enabled()) {
        // A dialled line is held open for a delayed hang-up; it is not hung up here.
        TMsgAnswer answer = OperatorView().MessageBox(
            TMsgKind::Information,
            "If you want to close application now, please disconnect the internet connection "
            "manually.\n\rClose now?",
            "", TMsgButtons::YesNo);
        if (answer != TMsgAnswer::Yes) return false;
        WriteLogQuietly("Close program when internet connection still exists", 1);
        Timer_Delay->SetEnabled(false);
    }
    Timer_RecvSchedule->SetEnabled(false);
    Timer_Send->SetEnabled(false);
    CloseDown();
    return true;
}

void TMainController::CloseDown() {
    // Whatever housekeeping or the log raise, the settings and the lock file are released.
    try {
        if (CheckHousekeeping()) PurgeHistory();
    } catch (const std::exception& e) {
        ShowHandlerError(e);
    }
    WriteLogQuietly("Close program", 1);
    // The last status says the gateway stopped; then nothing rewrites it.
    if (statusStarted_) {
        closing_ = true;
        WriteStatus();
        StopStatus();
    }
    SetCounterSink({});
    SetMainWindowHandler({});
    ReleaseSettings();
    if (setup_.LockFile) setup_.LockFile->Delete();
    closed_ = true;
}

void TMainController::PurgeHistory() {
    if (!history_ || ProgramInfo.HistoryDays <= 0) return;
    const long removed = history_->Purge(Date() - ProgramInfo.HistoryDays);
    if (removed >= 0)
        WriteLog("Purge History(" + history_->Path() + ") - " + std::to_string(removed) +
                     " row(s) deleted.",
                 1);
}

void TMainController::WindowMessage(int message, int /*wParam*/, long lParam) {
    if (message != WM_SENDPROGRESS && message != WM_RECVPROGRESS) return;
    const int position = static_cast<int>(std::clamp<long>(lParam, 0, 100));
    view_.SetProgress(message == WM_SENDPROGRESS ? TMainTransfer::Send : TMainTransfer::Receive,
                      true, position);
}

void TMainController::OpenDataFolder(const char* logText, const std::string& folder) {
    WriteLogQuietly(logText, 1);
    RefreshCounters();
    view_.OpenFolder(folder);  // a start failure is not reported
}

void TMainController::OpenInboxExecute() {
    OpenDataFolder("Open Inbox folder", ProgramInfo.InboxPath);
}

void TMainController::OpenOutboxExecute() {
    OpenDataFolder("Open Outbox folder", ProgramInfo.OutboxPath);
}

void TMainController::OpenErrorExecute() {
    OpenDataFolder("Open Error folder", ProgramInfo.ErrorPath);
}

void TMainController::Exit1Click() { view_.RequestClose(); }

void TMainController::OpenOptionExecute() {
    if (ShowOption) ShowOption();
}

void TMainController::AboutExecute() { view_.ShowAbout(); }

void TMainController::PauseAutoImportExecute() { SetAutoImport(false); }

void TMainController::ResumeAutoImportExecute() {
    if (!autoImport_) SetAutoImport(true);
}

void TMainController::SetAutoImport(bool on) {
    // Not written to USER.INI: a pause lasts until the program ends. A running send reads
    // the switch before each file.
    autoImport_ = on;
    ProgramInfo.AutoImport = on;
    Timer_Send->SetEnabled(on);
    view_.SetActionState(TMainAction::PauseAutoImport, on, on);
    view_.SetActionState(TMainAction::ResumeAutoImport, !on, !on);
    view_.SetText(TMainText::SendCaption, on ? " Send " : " Send (Pause) ");
    WriteLogQuietly(on ? "Resume Auto Import" : "Pause Auto Import", 1);
}

void TMainController::Timer_SendTimer() {
    Timer_Send->SetEnabled(false);
    struct TRearm {
        TMainController* Controller;
        ~TRearm() {
            if (Controller->SendIdle) Controller->Timer_Send->SetEnabled(Controller->autoImport_);
        }
    } rearm{this};
    RefreshCounters();
    OutboxQueue = ScanOutbox(LoadedSettings());
    if (OutboxQueue.Count() > 0) {
        SendIdle = false;
        StartSend();
    }
}

void TMainController::ShowNextConnection() {
    if (!ScheduleEnabled()) {
        view_.SetText(TMainText::Status, "");
        return;
    }
    NextConnectTime = ComputeNextConnection(LastConnectTime);
    WriteLogQuietly(
        "Next connection time is: " + FormatDateTime("yyyy/MM/dd hh:nn AM/PM", NextConnectTime), 2);
    view_.SetText(TMainText::Status, NextConnectionText(NextConnectTime));
}

void TMainController::Timer_RecvScheduleTimer() {
    Timer_RecvSchedule->SetEnabled(false);
    // Also after an error: the schedule goes on unless a receive now runs (its end turns
    // the timer back on).
    struct TRearm {
        TMainController* Controller;
        ~TRearm() {
            if (!Controller->RecvIdle) return;
            Controller->Timer_RecvSchedule->SetEnabled(true);
            try {
                if (Controller->ScheduleEnabled()) Controller->ShowNextConnection();
            } catch (const std::exception&) {
                // Shown once already by the handler's own error box.
            }
        }
    } rearm{this};
    RefreshCounters();
    if (!ScheduleEnabled()) return;
    // Ticks drift and a stopped or suspended program misses them: a shown time already past
    // with no receive started for it is received now, once, or the schedule would stand still.
    const TDateTime shown = NextConnectTime;
    const TDateTime now = Now();
    const bool missed =
        shown != 0 && shown < now && shown != noCatchUp_ && !InScheduledMinute(now, shown);
    ShowNextConnection();
    if (missed) {
        noCatchUp_ = shown;
        WriteLogQuietly("The scheduled connection time " +
                            FormatDateTime("yyyy/MM/dd hh:nn AM/PM", shown) +
                            " was missed; receive now",
                        1);
    }
    if (missed || InScheduledMinute(now, NextConnectTime)) {
        RecvIdle = false;
        StartReceive();
    }
}

bool TMainController::ScheduleEnabled() const { return LoadedSettings().ScheduleEnabled; }

bool TMainController::WaitForWorkers(int ms) {
    const int64_t end = MonotonicMs() + ms;
    // Each end handler frees its worker; pumping serves the workers' calls to the window
    // until then.
    while (sendThread_ || recvThread_) {
        const int64_t left = end - MonotonicMs();
        if (ms >= 0 && left <= 0) return false;
        PumpMessages(ms < 0 ? 1000 : static_cast<int>(std::min<int64_t>(left, 1000)));
    }
    return true;
}
