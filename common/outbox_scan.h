#pragma once

#include "common/base/stringlist.h"

struct TSettings;

// The send queue: the files of the Outbox with an enabled extension that no process holds
// open, in name order.
TStringList ScanOutbox(const TSettings& settings);
