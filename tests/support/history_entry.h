#pragma once

// A row of the transfer history as a test writes it: the name is also the final name.

#include "common/base/datetime.h"
#include "history/history_row.h"

inline THistoryRow HistoryEntry(const std::string& name, int day, int hour,
                                THistoryDirection direction, THistoryOutcome outcome,
                                const std::string& folder, const std::string& partner,
                                int64_t size) {
    THistoryRow row;
    row.Time = EncodeDate(2026, 12, day) + EncodeTime(hour, 0, 0, 0);
    row.Direction = direction;
    row.Name = row.FinalName = name;
    row.Folder = folder;
    row.Service = "demo@example.com";
    row.Partner = partner;
    row.Size = size;
    row.Outcome = outcome;
    return row;
}
