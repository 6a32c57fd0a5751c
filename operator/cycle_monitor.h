#pragma once

// Follows the transfer cycles for the tray and the desktop notifications: which files went
// to the Error folder during a cycle, whether a receive ended unable to receive, a failed
// dial and a forced upgrade that waits. What went wrong is told once per cycle.

#include <functional>
#include <set>
#include <string>

#include "gateway/cycle_event.h"
#include "operator/failed_files.h"
#include "operator/notify_gate.h"
#include "transfer/transfer_outcome.h"

class TCycleMonitor {
  public:
    // errorFolder is asked at each event (the settings may not be loaded yet when the
    // monitor is made).
    explicit TCycleMonitor(std::function<std::string()> errorFolder);

    void Event(TCycleEvent event);
    // The outcome of the send or receive run that ends next; told before its end event.
    void Sent(const TSendOutcome& outcome);
    void Received(const TReceiveOutcome& outcome);
    // Why the files this run's transfers put into the Error folder are there.
    const TFailureReasons& Reasons() const { return reasons_; }

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
    // The run failure of the receive run that ended; told at its end event.
    TFailureReasons reasons_;
    bool receiveFailed_ = false;
    std::string receiveReason_;
    TNotificationGate gate_;
    std::set<std::string> knownErrors_;
    bool sending_ = false;
    bool receiving_ = false;
    bool attention_ = false;
};
