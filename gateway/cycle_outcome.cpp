#include "gateway/cycle_outcome.h"

#include <algorithm>

TCycleOutcome SendCycleOutcome(const TSendOutcome& outcome, TDateTime ended) {
    TCycleOutcome cycle;
    cycle.Time = ended;
    cycle.Count = outcome.SentCount();
    cycle.FailedCount = outcome.ErrorCount();
    cycle.Detail = outcome.FirstFailure();
    // A failed upload is retried; only a file that did not go (given up, left behind or not
    // filed), a lost line or an error that ended the run makes the cycle a failure.
    cycle.Failed = !cycle.Detail.empty() ||
                   std::any_of(outcome.Files.begin(), outcome.Files.end(),
                               [](const TFileOutcome& file) { return FileFailed(file.Fate); });
    return cycle;
}

TCycleOutcome ReceiveCycleOutcome(const TReceiveOutcome& outcome, TDateTime ended) {
    TCycleOutcome cycle;
    cycle.Time = ended;
    cycle.Count = outcome.Received;
    cycle.FailedCount = outcome.NotStoredCount();
    cycle.Detail = outcome.FirstFailure();
    cycle.Failed = !cycle.Detail.empty() || cycle.FailedCount > 0;
    return cycle;
}

TCycleOutcome CycleNotStarted(const std::string& reason, TDateTime ended) {
    TCycleOutcome cycle;
    cycle.Time = ended;
    cycle.Failed = true;
    cycle.Detail = reason;
    return cycle;
}
