#pragma once

// The picture and tooltip of the tray icon, worked out from the gateway's flags.

#include <string>

enum class TTrayState { Idle, Sending, Receiving, Dialling, Attention };

struct TTrayInputs {
    bool Sending = false;
    bool Receiving = false;
    bool Dialling = false;
    bool Attention = false;  // a failure the operator has not looked at yet
};

// What runs wins over a waiting failure: a dial comes before the transfer it serves, and a
// receive (which the operator asked for or the schedule started) before a send.
TTrayState TrayStateOf(const TTrayInputs& inputs);

// A short name of the state, for the tooltip and the accessible description.
const char* TrayStateName(TTrayState state);

// The number of a counter caption ("Outbox (12)" gives 12); 0 without one.
long CounterOfCaption(const std::string& caption);

// The tooltip: the program's name, the state, the counters and the next connection line
// (when there is one), one per line.
std::string TrayToolTip(TTrayState state, long inbox, long outbox, long error,
                        const std::string& nextConnection);
