#pragma once

// Moments of the transfer cycles that the tray and the desktop notifications follow.
enum class TCycleEvent {
    SendStarted,
    SendEnded,
    ReceiveStarted,
    ReceiveEnded,
    DialFailed,
    ForceUpgradeWaiting
};
