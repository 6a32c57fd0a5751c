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
