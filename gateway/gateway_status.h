#pragma once

// The gateway's status for monitoring: a small JSON file in the log folder, rewritten after
// every transfer cycle and once a minute, and the verdict a monitoring system acts on.

#include <string>
#include <vector>

#include "common/base/clock.h"

// The outcome of the last send or receive cycle.
struct TCycleOutcome {
    TDateTime Time = 0;  // when it ended; 0 when none ran since the start
    bool Failed = false;
    long Count = 0;        // files sent, or messages received
    long FailedCount = 0;  // files moved to the Error folder, or messages not stored
    std::string Detail;    // the first failure, in the log's words
};

struct TGatewayStatus {
    TDateTime Updated = 0;
    bool Running = false;  // false once the gateway closed down
    int Pid = 0;
    TCycleOutcome LastSend;
    TCycleOutcome LastReceive;
    long OutboxWaiting = 0;
    long ErrorFiles = 0;
    // Files sent but kept in the Outbox as "<name>.sent" because the Sentbox could not take
    // them; they wait for the operator.
    std::vector<std::string> KeptSent;
    TDateTime NextConnection = 0;  // 0 when no receive is scheduled
    std::string Line;              // "leased line", "dial-up connected", ...
    // How the service's certificate is checked ("verified", "pinned", "verified and pinned",
    // "none"); shown, never a reason for attention. Empty in a status written before it was kept.
    std::string CertificateCheck;
    // Why the transfer history could not be written at the last try; empty when it could.
    std::string History;
};

inline constexpr const char* kStatusFileName = "status.json";
// A status older than this, from a running gateway, counts as stale.
inline constexpr int kStatusMaxAgeMinutes = 10;
// A status written later than now by more than this needs attention.
inline constexpr int kStatusClockSlackMinutes = 2;

std::string StatusToJson(const TGatewayStatus& status);
// A text as a JSON string: every byte outside printable ASCII is written as \u00XX, so the
// output is plain ASCII whatever the text carried and reads back byte for byte.
std::string JsonString(const std::string& text);
// False (with the reason in error) for text that is not a status written by StatusToJson.
bool StatusFromJson(const std::string& text, TGatewayStatus& status, std::string& error);

// What needs attention in status at now; empty when healthy.
std::vector<std::string> StatusProblems(const TGatewayStatus& status, TDateTime now,
                                        int maxAgeMinutes = kStatusMaxAgeMinutes);

// Writes status to logPath + kStatusFileName through the atomic writer, mode 0644 less the
// umask (only the owner may change it); raises on failure.
void WriteStatusFile(const std::string& logPath, const TGatewayStatus& status);
