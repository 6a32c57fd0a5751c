#pragma once

// Follows the transfer cycles for the tray and the desktop notifications: which files went
// to the Error folder during a cycle, whether a receive ended unable to receive, a failed
// dial and a forced upgrade that waits. What went wrong is told once per cycle.

#include <functional>
#include <set>
#include <string>

#include "gateway/cycle_event.h"
#include "gateway/gateway_status.h"
#include "operator/notify_gate.h"

class TCycleMonitor {
  public:
    // errorFolder is asked at each event (the settings may not be loaded yet when the
    // monitor is made); lastReceive gives the outcome of the receive cycle that just ended.
    TCycleMonitor(std::function<std::string()> errorFolder,
                  std::function<TCycleOutcome()> lastReceive);

    void Event(TCycleEvent event);

    // Gets the summary of each cycle that had something to tell.
    std::function<void(const TNotification&)> Notify;

    TNotificationGate& Gate() { return gate_; }
    // A failure happened that the operator has not looked at yet.
    bool Attention() const { return attention_; }
    void ClearAttention() { attention_ = false; }

  private:
    std::set<std::string> ErrorNames() const;
    void CycleStarted(bool& running);
    void CollectNewErrorFiles();
    void Flush();

    std::function<std::string()> errorFolder_;
    std::function<TCycleOutcome()> lastReceive_;
    TNotificationGate gate_;
    std::set<std::string> knownErrors_;
    bool sending_ = false;
    bool receiving_ = false;
    bool attention_ = false;
};
