#pragma once

// Follows what the send and receive workers report to the system log and keeps the outcome
// of the cycle in progress: how many files or messages went through and the first failure.
// The workers report only through the log, so this reads its messages (every one, whatever
// the log level) rather than the workers' insides.

#include <mutex>
#include <string>

#include "gateway/gateway_status.h"

class TCycleReport {
  public:
    // Any thread.
    void Observe(const std::string& message);
    // Ends the current cycle at value and returns its outcome; the next one starts empty.
    TCycleOutcome EndSend(TDateTime value);
    TCycleOutcome EndReceive(TDateTime value);
    // A cycle that could not start (no connection, an error before the worker ran).
    void SendFailed(const std::string& detail);
    void ReceiveFailed(const std::string& detail);

  private:
    static void Fail(TCycleOutcome& outcome, const std::string& detail);
    std::mutex mutex_;
    TCycleOutcome send_;
    TCycleOutcome receive_;
};
