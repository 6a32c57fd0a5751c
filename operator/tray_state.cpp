#include "operator/tray_state.h"

TTrayState TrayStateOf(const TTrayInputs& inputs) {
    if (inputs.Dialling) return TTrayState::Dialling;
    if (inputs.Receiving) return TTrayState::Receiving;
    if (inputs.Sending) return TTrayState::Sending;
    if (inputs.Attention) return TTrayState::Attention;
    return TTrayState::Idle;
}

const char* TrayStateName(TTrayState state) {
    switch (state) {
        case TTrayState::Idle:
            return "Idle";
        case TTrayState::Sending:
            return "Sending";
        case TTrayState::Receiving:
            return "Receiving";
        case TTrayState::Dialling:
            return "Dialling";
        case TTrayState::Attention:
            return "A failure needs attention";
    }
    return "";
}

std::string TrayToolTip(TTrayState state, long inbox, long outbox, long error,
                        const std::string& nextConnection) {
    std::string tip = "Quillbern Dovrant - ";
    tip += TrayStateName(state);
    tip += "\nInbox " + std::to_string(inbox) + ", Outbox " + std::to_string(outbox) + ", Error " +
           std::to_string(error);
    if (!nextConnection.empty()) tip += "\n" + nextConnection;
    return tip;
}

long CounterOfCaption(const std::string& caption) {
    const std::size_t open = caption.rfind('(');
    if (open == std::string::npos) return 0;
    long value = 0;
    for (std::size_t i = open + 1; i < caption.size() && caption[i] != ')'; ++i) {
        if (caption[i] < '0' || caption[i] > '9') return 0;
        if (value > 100000000000L) return value;  // far beyond any folder
        value = value * 10 + (caption[i] - '0');
    }
    return value;
}
