#pragma once

#include "common/base/stringlist.h"

struct TSettings;

// The send queue: the files of the Outbox with an enabled extension that no process holds
// open, in name order. A symbolic link or special file (FIFO, socket, device) with an enabled
// extension is listed too, as itself, so that the send worker moves it out of the way.
TStringList ScanOutbox(const TSettings& settings);
