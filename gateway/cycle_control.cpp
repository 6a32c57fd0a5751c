// The transfer cycles of the main window: when a send or a receive starts, the connection
// it needs, its end, and the hang-up of a line this program dialled. A log line that cannot
// be written never stops a cycle halfway (the idle flags, timers and status would stay as
// they were): the lines here are written quietly.

#include <exception>
#include <stdexcept>

#include "common/base/datetime.h"
#include "common/base/message_pump.h"
#include "common/run_program.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/view.h"
#include "dialup/connect_mgr.h"
#include "dialup/ras_conn.h"
#include "gateway/cycle_outcome.h"
#include "gateway/history_rows.h"
#include "gateway/window_controller.h"
#include "history/history_recorder.h"
#include "transfer/recv_thread.h"
#include "transfer/send_thread.h"

namespace {

std::string Clock12(TDateTime value) { return FormatDateTime("hh:nn AM/PM", value); }

// The outcome of a worker whose end handler runs now, with the error that ended it (logged
// on one line); the worker, done, is freed. An end without a worker reports nothing.
template <class TOutcome, class TWorker>
TOutcome TakeOutcome(std::unique_ptr<TWorker>& slot, const std::string& errorLead) {
    const std::unique_ptr<TWorker> worker = std::move(slot);
    if (!worker) return TOutcome{};
    TOutcome outcome = worker->Outcome();
    if (!worker->FatalError().empty()) {
        outcome.FatalError = worker->FatalError();
        WriteLogQuietly(errorLead + outcome.FatalError, 1);
    }
    return outcome;
}

}  // namespace

void TMainController::ReportCycle(TCycleEvent event) {
    if (!CycleEvent) return;
    try {
        CycleEvent(event);
    } catch (const std::exception&) {
        // A notification that cannot be shown must not stop a transfer.
    }
}

int TMainController::EnsureDialup() {
    if (!DialIdle) return 1;  // a connection check is dialling already
    WriteLogQuietly("No leased line installed, dialup is required.", 1);
    const int result = setup_.CheckConnection ? setup_.CheckConnection() : -1;
    if (result < 0) ReportCycle(TCycleEvent::DialFailed);
    return result;
}

void TMainController::StartSend() {
    try {
        int result = 0;
        if (!ConnectionInfo.LeaseLine && DVR_RASConn == 0) result = EnsureDialup();
        if (result != 0) {
            SendIdle = true;  // the next tick tries again
            if (result < 0) SendNotStarted("Send: No connection to the internet");
            return;
        }
        if (!ConnectionInfo.LeaseLine && DVR_RASConn == 0) {
            SendIdle = true;
            SendNotStarted("Send: No connection to the internet");
            return;
        }
        Timer_Delay->SetEnabled(false);  // a pending delayed hang-up is dropped
        view_.SetText(TMainText::Status, "");
        ReportCycle(TCycleEvent::SendStarted);
        SendIdle = false;
        // The run reads a copy of the settings of this moment and the queue of this scan.
        sendThread_ = std::make_unique<TSendThread>(
            TSendJob{SettingsSnapshot(), OutboxQueue, &autoImport_}, &view_,
            [this](TWorkerThread&) { RunHandler(&TMainController::SendFinish); });
        sendThread_->Start();
    } catch (const std::exception& e) {
        const std::string text = std::string("Send: Error on sending message(s). ") + e.what();
        WriteLogQuietly(text, 1);
        SendIdle = true;
        SendNotStarted(text);
    }
}

bool TMainController::HasCompanyInfo() {
    if (!CompanyInfo.EmailAddr.empty() && !CompanyInfo.LoginID.empty() &&
        !CompanyInfo.Password.empty())
        return true;
    OperatorView().MessageBox(TMsgKind::Information,
                              "Insufficient company information for receiving message(s). "
                              "\n\rPlease update the company profile in Tool-Option.",
                              "", TMsgButtons::OK);
    return false;
}

void TMainController::StartReceive() {
    if (!HasCompanyInfo()) {
        RecvIdle = true;
        ReceiveNotStarted("Recv: Insufficient company information");
        return;
    }
    view_.SetText(TMainText::Status, "");
    Timer_RecvSchedule->SetEnabled(false);
    try {
        int result = 0;
        if (!ConnectionInfo.LeaseLine && DVR_RASConn == 0) result = EnsureDialup();
        if (result != 0) {
            RecvIdle = true;
            if (result < 0) ReceiveNotStarted("Recv: No connection to the internet");
            LastConnectTime = Now();
            if (ScheduleEnabled()) {
                ShowNextConnection();
                Timer_RecvSchedule->SetEnabled(true);
            }
            return;
        }
        if (!ConnectionInfo.LeaseLine && DVR_RASConn == 0) {
            RecvIdle = true;
            ReceiveNotStarted("Recv: No connection to the internet");
            return;
        }
        view_.SetText(TMainText::Status, "");
        ReportCycle(TCycleEvent::ReceiveStarted);
        RecvIdle = false;
        recvThread_ = std::make_unique<TRecvThread>(
            SettingsSnapshot(), &view_,
            [this](TWorkerThread&) { RunHandler(&TMainController::ReceiveFinish); });
        recvThread_->Start();
    } catch (const std::exception& e) {
        const std::string text = std::string("Recv: Error on receiving message(s). ") + e.what();
        WriteLogQuietly(text, 1);
        RecvIdle = true;
        ReceiveNotStarted(text);
    }
}

void TMainController::ReceiveNowExecute() {
    if (!RecvIdle) return;  // one receive cycle at a time
    RecvIdle = false;
    StartReceive();
}

void TMainController::TransferNow() {
    RunHandler(&TMainController::ReceiveNowExecute);
    if (SendIdle && autoImport_) RunHandler(&TMainController::Timer_SendTimer);
}

void TMainController::SendFinish() {
    const TSendOutcome outcome =
        TakeOutcome<TSendOutcome>(sendThread_, "Send: Error on sending message(s). ");
    if (outcome.SentCount() > 0) MessageSent = true;
    view_.SetText(TMainText::SendFile, "");
    view_.SetAnimation(TMainTransfer::Send, false);
    view_.SetProgress(TMainTransfer::Send, false, 0);
    PumpMessages(0);
    SendIdle = true;
    WriteLogQuietly("Send finish", 1);
    const bool lineStays = !HangsUpLine();
    CheckDelayDisconnect("SEND");
    // The send cleared the status bar. With no hang-up to announce there, the next receive's
    // time goes back at once; a receive under way shows it when it ends.
    if (lineStays && RecvIdle && ScheduleEnabled()) ShowNextConnection();
    RefreshCounters();
    if (history_) history_->Record(SendHistoryRows(outcome, LoadedSettings(), Now()));
    CycleEnded(lastSend_, SendCycleOutcome(outcome, Now()));
    if (SendOutcome) SendOutcome(outcome);
    ReportCycle(TCycleEvent::SendEnded);
    Timer_Send->SetEnabled(autoImport_);
    CloseIfStopWaits();
}

void TMainController::ReceiveFinish() {
    const TReceiveOutcome outcome =
        TakeOutcome<TReceiveOutcome>(recvThread_, "Recv: Error on receiving message(s). ");
    view_.SetText(TMainText::ReceiveState, "");
    view_.SetAnimation(TMainTransfer::Receive, false);
    view_.SetProgress(TMainTransfer::Receive, false, 0);
    PumpMessages(0);
    RecvIdle = true;
    WriteLogQuietly("Receive finish", 1);
    CheckDelayDisconnect("RECV");
    RefreshCounters();
    LastConnectTime = Now();
    if (ScheduleEnabled()) {
        ShowNextConnection();
        Timer_RecvSchedule->SetEnabled(true);
    }
    if (history_) history_->Record(ReceiveHistoryRows(outcome, LoadedSettings(), Now()));
    CycleEnded(lastReceive_, ReceiveCycleOutcome(outcome, Now()));
    if (ReceiveOutcome) ReceiveOutcome(outcome);
    ReportCycle(TCycleEvent::ReceiveEnded);
    CloseIfStopWaits();
}

bool TMainController::HangsUpLine() const {
    // A leased line, or a line somebody else dialled, is never hung up here.
    return !ConnectionInfo.LeaseLine && DialedBySelf && DVR_RASConn != 0;
}

void TMainController::CheckDelayDisconnect(const std::string& action) {
    if (!HangsUpLine()) return;
    if (ConnectionInfo.DialupDelay != 0 && MessageSent)
        ScheduleDelayDisconnect(action);
    else
        DisconnectDialup();
}

void TMainController::ScheduleDelayDisconnect(const std::string& action) {
    WriteLogQuietly("Delay - Action is " + action, 2);
    if (action == "SEND") disconnectTime_ = Now() + ConnectionInfo.DialupDelay / 60.0 / 24.0;
    WriteLogQuietly("Delay - Disconnected at " + Clock12(disconnectTime_), 2);
    if (!(MessageSent && SendIdle && RecvIdle)) return;
    const TDateTime now = Now();
    WriteLogQuietly("Delay - current time is " + Clock12(now), 2);
    WriteLogQuietly("Delay - disconnect time is " + Clock12(disconnectTime_), 2);
    WriteLogQuietly(now > disconnectTime_   ? "Delay - Current time > disconnect time"
                    : now < disconnectTime_ ? "Delay - Current time < disconnect time"
                                            : "Delay - Current time = disconnect time",
                    2);
    if (action == "RECV" && now >= disconnectTime_) {
        Timer_Delay->SetEnabled(false);
        DisconnectDialup();
        return;
    }
    const std::string text =
        ConnectionInfo.DialupProfile + " will be disconnected at " + Clock12(disconnectTime_);
    if (action == "SEND") {
        Timer_Delay->SetEnabled(false);
        Timer_Delay->SetEnabled(true);  // a full interval from now
        WriteLogQuietly(text, 1);
    }
    view_.SetText(TMainText::Status, text);
}

void TMainController::Timer_DelayTimer() {
    RefreshCounters();
    WriteLogQuietly("Delay timer execute", 2);
    if (SendIdle && RecvIdle) {
        Timer_Delay->SetEnabled(false);
        DisconnectDialup();
    }
}

bool TMainController::DisconnectDialup() {
    WriteLogQuietly("Try to disconnect dialup", 2);
    if (!SendIdle || !RecvIdle || Timer_Delay->Enabled()) return false;
    MessageSent = false;
    view_.SetText(TMainText::Status, "Disconnect from internet...");
    struct TAfterHangUp {
        TMainController* Controller;
        ~TAfterHangUp() {
            Controller->MessageSent = false;
            Controller->disconnectTime_ = Now();
            Controller->view_.SetText(TMainText::Status, "");
        }
    } after{this};
    if (setup_.HangUpDialup) setup_.HangUpDialup();
    return true;
}

void TMainController::CheckForceUpgrade() {
    const TDateTime force = UpgradeInfo.ForceUpgradeDate;
    if (force == 0 || Date() < force) return;
    WriteLogQuietly("Force Upgrade: " + UpgradeInfo.UpgradeTitle + " detected.", 1);
    ReportCycle(TCycleEvent::ForceUpgradeWaiting);
    const TMsgAnswer answer = OperatorView().MessageBox(
        TMsgKind::Confirmation,
        "Quillbern Dovrant has detected that there is an updated version available. "
        "\r\n\r\nClick 'OK' when you are ready to start the upgrade, \r\nClick 'Cancel' to quit "
        "Quillbern Dovrant",
        "", TMsgButtons::OKCancel);
    if (answer != TMsgAnswer::OK) {
        if (setup_.EndProgram) setup_.EndProgram(0);
        return;
    }
    std::string error;
    if (RunProgram(UpgradeInfo.UpgradePath, 1, error) >= 31) {
        if (setup_.EndProgram) setup_.EndProgram(0);
        return;
    }
    const std::string text = "Unable to execute " + UpgradeInfo.UpgradePath + ". " + error;
    WriteLogQuietly(text, 1);
    throw std::runtime_error(text);
}
