#include "operator/notify_gate.h"

namespace {

void AddLine(std::string& body, const std::string& line) {
    if (!body.empty()) body += "\n";
    body += line;
}

}  // namespace

bool TNotificationGate::HasFindings() const {
    return !errorFiles_.empty() || receiveFailed_ || dialFailed_ || upgradeWaiting_;
}

std::optional<TNotification> TNotificationGate::EndCycle(int64_t nowMs) {
    if (!HasFindings()) return std::nullopt;
    TNotification note;
    note.Title = "Quillbern Dovrant";
    if (upgradeWaiting_)
        AddLine(note.Body, "An upgrade waits to be installed" +
                               (upgradeTitle_.empty() ? std::string() : ": " + upgradeTitle_) +
                               ".");
    if (dialFailed_) AddLine(note.Body, "The dial-up connection could not be made.");
    if (receiveFailed_)
        AddLine(note.Body, "Messages could not be received" +
                               (receiveReason_.empty() ? std::string() : ": " + receiveReason_) +
                               (receiveReason_.empty() || receiveReason_.back() != '.' ? "." : ""));
    if (!errorFiles_.empty()) {
        std::string line = std::to_string(errorFiles_.size()) +
                           (errorFiles_.size() == 1 ? " file went" : " files went") +
                           " to the Error folder: ";
        for (std::size_t i = 0; i < errorFiles_.size() && i < kNamesShown; ++i)
            line += (i ? ", " : "") + errorFiles_[i];
        if (errorFiles_.size() > kNamesShown)
            line += " and " + std::to_string(errorFiles_.size() - kNamesShown) + " more";
        AddLine(note.Body, line + ".");
    }
    errorFiles_.clear();
    receiveFailed_ = dialFailed_ = upgradeWaiting_ = false;
    receiveReason_.clear();
    upgradeTitle_.clear();
    if (!enabled_) return std::nullopt;
    if (last_ && last_->Body == note.Body && nowMs - lastMs_ < kQuietMs) return std::nullopt;
    last_ = note;
    lastMs_ = nowMs;
    return note;
}
