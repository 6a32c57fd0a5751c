// The loaded settings, their release at close, and small helpers.
#include "common/settings.h"

#include "common/base/datetime.h"
#include "common/syslog.h"

namespace {

TSettings loaded;

}  // namespace

TSettings& LoadedSettings() { return loaded; }

TSettingsSnapshot SettingsSnapshot() { return std::make_shared<const TSettings>(loaded); }

TProgramInfo& ProgramInfo = loaded.ProgramInfo;
TCompanyInfo& CompanyInfo = loaded.CompanyInfo;
TConnectionInfo& ConnectionInfo = loaded.ConnectionInfo;
TScheduleInfo& ScheduleInfo = loaded.ScheduleInfo;
TUpgradeInfo& UpgradeInfo = loaded.UpgradeInfo;
THousekeepInfo& HousekeepInfo = loaded.HousekeepInfo;
std::vector<TServiceInfo>& Services = loaded.Services;
TStringList& ImportExtensions = loaded.ImportExtensions;
TStringList& InboxLocations = loaded.InboxLocations;
TStringList& ServiceIndex = loaded.ServiceIndex;
bool& DebugMode = loaded.DebugMode;
bool& MultiUser = loaded.MultiUser;
std::string& ProgramDir = loaded.ProgramDir;
std::string& BaseDir = loaded.BaseDir;
std::string& UpgradeDir = loaded.UpgradeDir;

std::unique_ptr<TIniFile> UserIni;
std::unique_ptr<TIniFile> DvrIni;

void ReleaseSettings() {
    Services.clear();
    UserIni.reset();
    DvrIni.reset();
    CloseLog();
    ImportExtensions.Clear();
    InboxLocations.Clear();
    ServiceIndex.Clear();
}

std::string OrdinalSuffix(int n) {
    int last = (n < 0 ? -n : n) % 10;
    int tens = (n < 0 ? -n : n) / 10 % 10;
    if (tens != 1) {
        if (last == 1) return "st";
        if (last == 2) return "nd";
        if (last == 3) return "rd";
    }
    return "th";
}

std::string BoolToText(bool value) { return value ? "True" : "False"; }

TDateTime DateFromYYYYMMDD(const std::string& text) {
    if (text.size() != 8) return 0;
    for (char c : text)
        if (c < '0' || c > '9') throw EConvertError("'" + text + "' is not a valid date");
    int year = std::stoi(text.substr(0, 4));
    int month = std::stoi(text.substr(4, 2));
    int day = std::stoi(text.substr(6, 2));
    return EncodeDate(year, month, day);
}
