#include "operator/operator_settings.h"

#include "common/base/profile.h"

TOperatorSettings LoadOperatorSettings(const TIniFile* ini) {
    TOperatorSettings settings;
    if (!ini) return settings;
    settings.Notifications = ini->ReadBool("SYSTEM", "NOTIFICATIONS", settings.Notifications);
    settings.CloseToTray = ini->ReadBool("SYSTEM", "CLOSE_TO_TRAY", settings.CloseToTray);
    return settings;
}

void SaveOperatorSettings(TIniFile& ini, const TOperatorSettings& settings) {
    ini.WriteInteger("SYSTEM", "NOTIFICATIONS", settings.Notifications ? 1 : 0);
    ini.WriteInteger("SYSTEM", "CLOSE_TO_TRAY", settings.CloseToTray ? 1 : 0);
}
