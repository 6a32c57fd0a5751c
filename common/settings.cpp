// The settings records and process-wide flags, their release at close, and small helpers.
#include "common/settings.h"

#include "common/base/datetime.h"
#include "common/syslog.h"

TProgramInfo ProgramInfo;
TCompanyInfo CompanyInfo;
TConnectionInfo ConnectionInfo;
TScheduleInfo ScheduleInfo;
TUpgradeInfo UpgradeInfo;
THousekeepInfo HousekeepInfo;
std::vector<TServiceInfo> Services;

TStringList ImportExtensions;
TStringList InboxLocations;
TStringList ServiceIndex;
TStringList OutboxQueue;

bool DebugMode = false;
bool MultiUser = false;
std::unique_ptr<TIniFile> UserIni;
std::unique_ptr<TIniFile> DvrIni;
std::string ProgramDir;
std::string BaseDir;
std::string UpgradeDir;

std::atomic<bool> SendIdle{true};
std::atomic<bool> RecvIdle{true};
std::atomic<bool> MessageSent{false};
std::atomic<bool> ScheduleEnabled{false};
std::atomic<bool> HousekeepNow{false};
std::atomic<bool> DialIdle{true};
std::atomic<bool> DialedBySelf{false};
TDateTime LastConnectTime = 0;
TDateTime NextConnectTime = 0;

void ReleaseSettings() {
    Services.clear();
    UserIni.reset();
    DvrIni.reset();
    CloseLog();
    OutboxQueue.Clear();
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
