// The status file of the running gateway: the outcome of the last send and receive cycles
// as their workers handed them back, the folders, the schedule and the line.

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>

#include "common/base/datetime.h"
#include "common/certificate_check.h"
#include "common/lookups.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "dialup/connect_mgr.h"
#include "dialup/ras_conn.h"
#include "gateway/cycle_outcome.h"
#include "gateway/window_controller.h"
#include "history/history_recorder.h"

namespace {

// The files of the Outbox kept as "<name>.sent", by name.
std::vector<std::string> KeptSentFiles(const std::string& outbox) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(outbox, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".sent") == 0 &&
            entry.is_regular_file(error))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string LineState(bool delayedHangUp) {
    if (ConnectionInfo.LeaseLine) return "leased line";
    if (!DialIdle) return "dialling";
    if (DVR_RASConn == 0) return "dial-up not connected";
    return delayedHangUp ? "dial-up connected, held open for a delayed hang-up"
                         : "dial-up connected";
}

}  // namespace

TGatewayStatus TMainController::CurrentStatus() const {
    TGatewayStatus status;
    status.Updated = Now();
    status.Running = !closing_;
    status.Pid = static_cast<int>(getpid());
    status.LastSend = lastSend_;
    status.LastReceive = lastReceive_;
    // Not the Inbox: counting its whole tree every minute is work nobody reads here.
    status.OutboxWaiting = CountFilesWithExtension(
        ProgramInfo.OutboxPath, [](const std::string& e) { return IsImportExtension(e); });
    status.KeptSent = KeptSentFiles(ProgramInfo.OutboxPath);
    status.ErrorFiles = CountFilesWithExtension(
        ProgramInfo.ErrorPath, [](const std::string& e) { return IsImportExtension(e); });
    status.NextConnection = ScheduleEnabled() && !closing_ ? NextConnectTime : 0;
    status.Line = LineState(Timer_Delay->Enabled());
    status.CertificateCheck =
        CertificateCheck(ConnectionInfo.VerifyServerCert, ConnectionInfo.ServerCertSha256);
    if (history_) status.History = history_->Problem();
    return status;
}

void TMainController::WriteStatus() {
    if (ProgramInfo.LogPath.empty()) return;  // no settings: no folder to write to
    try {
        WriteStatusFile(ProgramInfo.LogPath, CurrentStatus());
        statusFailing_ = false;
    } catch (const std::exception& e) {
        if (!statusFailing_) {
            try {
                WriteLog(std::string("Unable to write the status file. Reason: ") + e.what(), 1);
            } catch (const std::exception&) {
            }
        }
        statusFailing_ = true;
    }
}

void TMainController::StartStatus() {
    statusStarted_ = true;
    Timer_Status->SetInterval(kStatusTickMs);
    Timer_Status->SetEnabled(true);
    WriteStatus();
}

void TMainController::StopStatus() {
    if (!statusStarted_) return;
    statusStarted_ = false;
    Timer_Status->SetEnabled(false);
}

void TMainController::CycleEnded(TCycleOutcome& last, TCycleOutcome outcome) {
    last = std::move(outcome);
    WriteStatus();
}

void TMainController::SendNotStarted(const std::string& reason) {
    CycleEnded(lastSend_, CycleNotStarted(reason, Now()));
}

void TMainController::ReceiveNotStarted(const std::string& reason) {
    CycleEnded(lastReceive_, CycleNotStarted(reason, Now()));
}
