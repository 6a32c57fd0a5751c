#pragma once

// The record the receive side writes beside each raw message it keeps in the Error folder
// (".RECV_<time>_<id>.eml.received", hidden like the atomic writer's temporary files, so
// neither the counters nor Failed Files list it). The record, not the file's name, tells a
// received message from an outgoing file that happens to carry such a name: only a raw copy
// whose record holds its size is parsed and stored again; any other file goes back to the
// Outbox.

#include <cstdint>
#include <string>

std::string ReceivedRecordPath(const std::string& rawPath);
// Writes, whole and flushed, the record of a raw message of size bytes that is to be kept as
// rawPath; raises on failure.
void WriteReceivedRecord(const std::string& rawPath, const std::string& msgId, uint64_t size);
// Whether rawPath is a regular file with a record of its size beside it.
bool IsRecordedReceived(const std::string& rawPath);
// Removes the record of rawPath, if any.
void RemoveReceivedRecord(const std::string& rawPath);
