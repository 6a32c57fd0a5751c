#pragma once

// The operator's own switches, kept in section SYSTEM of USER.INI beside the other settings:
// NOTIFICATIONS (1 by default) and CLOSE_TO_TRAY (0 by default, so closing the window closes
// the program as it always did).

class TIniFile;

struct TOperatorSettings {
    bool Notifications = true;
    bool CloseToTray = false;
};

// The switches of ini, or the defaults without one.
TOperatorSettings LoadOperatorSettings(const TIniFile* ini);
// Writes both switches; raises EIniFileError when USER.INI cannot be written.
void SaveOperatorSettings(TIniFile& ini, const TOperatorSettings& settings);
