#pragma once

// The transfer history's rows of an ended cycle, worked out from what its worker handed
// back: one per file sent or given up, one per file stored, one per message not stored.

#include <vector>

#include "history/history_row.h"
#include "transfer/transfer_outcome.h"

struct TSettings;

std::vector<THistoryRow> SendHistoryRows(const TSendOutcome& outcome, const TSettings& settings,
                                         TDateTime ended);
std::vector<THistoryRow> ReceiveHistoryRows(const TReceiveOutcome& outcome,
                                            const TSettings& settings, TDateTime ended);
