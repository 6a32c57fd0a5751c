#pragma once

// Desktop notifications without flooding: what goes wrong during a transfer cycle is
// collected and said once when the cycle ends, as one summary, however many files failed.
// The same summary again within a quiet period is held back, so a line that stays down does
// not repeat itself every scheduled minute.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TNotification {
    std::string Title;
    std::string Body;
};

class TNotificationGate {
  public:
    static constexpr int64_t kQuietMs = 15 * 60 * 1000;
    static constexpr std::size_t kNamesShown = 3;

    // Switched off, findings are still collected (the tray shows them) but nothing is said.
    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_; }

    void ErrorFile(const std::string& name) { errorFiles_.push_back(name); }
    void ReceiveFailed(const std::string& reason) {
        receiveFailed_ = true;
        if (!reason.empty()) receiveReason_ = reason;
    }
    void DialFailed() { dialFailed_ = true; }
    void ForceUpgradeWaiting(const std::string& title) {
        upgradeWaiting_ = true;
        upgradeTitle_ = title;
    }

    // Whether anything went wrong since the last EndCycle.
    bool HasFindings() const;
    // Ends the cycle at nowMs (monotonic): the summary of its findings, or nothing when there
    // were none, notifications are off or the same summary was given within the quiet period.
    // The findings are dropped either way.
    std::optional<TNotification> EndCycle(int64_t nowMs);

  private:
    bool enabled_ = true;
    std::vector<std::string> errorFiles_;
    bool receiveFailed_ = false;
    std::string receiveReason_;
    bool dialFailed_ = false;
    bool upgradeWaiting_ = false;
    std::string upgradeTitle_;
    std::optional<TNotification> last_;
    int64_t lastMs_ = 0;
};
