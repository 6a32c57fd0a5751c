#pragma once

// The status file's account of a cycle, worked out from what its worker handed back.

#include "gateway/gateway_status.h"
#include "transfer/transfer_outcome.h"

TCycleOutcome SendCycleOutcome(const TSendOutcome& outcome, TDateTime ended);
TCycleOutcome ReceiveCycleOutcome(const TReceiveOutcome& outcome, TDateTime ended);
// A cycle that could not start (no connection, an error before its worker ran).
TCycleOutcome CycleNotStarted(const std::string& reason, TDateTime ended);
