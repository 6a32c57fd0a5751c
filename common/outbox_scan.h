#pragma once

// Rebuilds OutboxQueue from the Outbox: files with an enabled extension that no process
// holds open.
void ScanOutbox();
