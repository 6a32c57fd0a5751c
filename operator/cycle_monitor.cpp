#include "operator/cycle_monitor.h"

#include <dirent.h>
#include <sys/stat.h>

#include <utility>

#include "common/base/clock.h"
#include "common/base/fileutil.h"
#include "common/settings.h"

TCycleMonitor::TCycleMonitor(std::function<std::string()> errorFolder)
    : errorFolder_(std::move(errorFolder)) {}

void TCycleMonitor::Sent(const TSendOutcome& outcome) {
    for (const TFileOutcome& file : outcome.Files)
        if (file.Fate == TFileFate::MovedToError)
            reasons_[ExtractFileName(file.FiledAs)] =
                "Send: Unable to send " + file.Name + ". " + file.Reason;
}

void TCycleMonitor::Received(const TReceiveOutcome& outcome) {
    for (const TMessageOutcome& message : outcome.Messages)
        if (message.Fate == TMessageFate::KeptInError || message.Fate == TMessageFate::Damaged)
            reasons_[ExtractFileName(message.Where)] = message.Reason;
    // A run that could not complete, or ended on an error; messages not stored show as files
    // in the Error folder.
    receiveFailed_ = !outcome.Failure.empty() || !outcome.FatalError.empty();
    receiveReason_ = outcome.Failure.empty() ? outcome.FatalError : outcome.FailureReason;
}

std::set<std::string> TCycleMonitor::ErrorNames() const {
    std::set<std::string> names;
    const std::string folder = errorFolder_ ? errorFolder_() : "";
    if (folder.empty()) return names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

void TCycleMonitor::CycleStarted(bool& running) {
    // Files that came into the Error folder while nothing ran (the operator put them there,
    // or they were there at start) are no news of this cycle. A start without an end (the
    // start failed) counts as ended.
    running = false;
    if (!sending_ && !receiving_) knownErrors_ = ErrorNames();
    running = true;
}

void TCycleMonitor::CollectNewErrorFiles() {
    for (const std::string& name : ErrorNames())
        if (knownErrors_.insert(name).second) gate_.ErrorFile(name);
}

void TCycleMonitor::Flush() {
    if (gate_.HasFindings()) attention_ = true;
    if (auto note = gate_.EndCycle(Clock().MonotonicMs()); note && Notify) Notify(*note);
}

void TCycleMonitor::Event(TCycleEvent event) {
    switch (event) {
        case TCycleEvent::SendStarted:
            CycleStarted(sending_);
            return;
        case TCycleEvent::ReceiveStarted:
            CycleStarted(receiving_);
            return;
        case TCycleEvent::SendEnded:
            sending_ = false;
            CollectNewErrorFiles();
            Flush();
            return;
        case TCycleEvent::ReceiveEnded: {
            receiving_ = false;
            CollectNewErrorFiles();
            if (std::exchange(receiveFailed_, false)) gate_.ReceiveFailed(receiveReason_);
            Flush();
            return;
        }
        case TCycleEvent::DialFailed:
            gate_.DialFailed();
            Flush();
            return;
        case TCycleEvent::ForceUpgradeWaiting:
            gate_.ForceUpgradeWaiting(UpgradeInfo.UpgradeTitle);
            Flush();
            return;
    }
}
