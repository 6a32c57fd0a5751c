#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/base/clock.h"
#include "common/base/profile.h"
#include "common/base/stringlist.h"

// The settings of the gateway, read once at start from USER.INI and DVR.INI in the program
// folder into the records below. Folder texts end with "/".

struct TProgramInfo {
    std::string Version;
    std::string InboxPath;
    std::string OutboxPath;
    std::string SentboxPath;
    std::string ErrorPath;
    std::string TempPath;
    std::string LogPath;
    std::string EmailContentType;
    int32_t LogLevel = 0;
    int32_t Sequence = 0;
    int32_t HistoryDays = 0;  // rows of the transfer history older than this are purged
    bool AutoImport = false;
};

struct TCompanyInfo {
    std::string EmailAddr;
    std::string LoginID;
    std::string Password;  // held unscrambled; never logged
};

struct TConnectionInfo {
    bool LeaseLine = false;
    std::string DialupProfile;
    int32_t Retry = 0;
    bool SendUseProxy = false;
    bool SendUseFirewall = false;
    bool RecvUseProxy = false;
    bool RecvUseFirewall = false;
    std::string SendProxyAddr, SendProxyPort, SendProxyUserID, SendProxyPassword;
    std::string RecvFirewallAddr, RecvFirewallPort, RecvFirewallUserID, RecvFirewallPassword;
    std::string SendFirewallAddr, SendFirewallPort, SendFirewallUserID, SendFirewallPassword;
    std::string RecvProxyAddr, RecvProxyPort, RecvProxyUserID, RecvProxyPassword;
    int32_t Timeout = 0;  // seconds
    std::string WebMailCounter;
    std::string WebMailDelete;
    std::string WebMailRetriever;
    int32_t FirewallType = 1;
    int32_t DialupDelay = 0;  // minutes
    // The service's certificate: refuse one that fails verification, and/or accept only the
    // one with this SHA-256 fingerprint (as written). Both off: any certificate is taken.
    bool VerifyServerCert = false;
    std::string ServerCertSha256;
};

struct TScheduleInfo {
    std::string ConnectOption;    // "1" manual, "2" every N minutes, "3" at a time
    std::string ConnectAtCycle;   // "1" every day, "2" on one date, "3" on weekdays
    TDateTime ConnectAtTime = 0;  // time of day, date part 0
    std::string ConnectAtTimeText;
    TDateTime ConnectAtOn = 0;  // whole day
    std::string ConnectAtDays;  // weekday digits 1 (Monday) .. 7, each followed by ","
    int32_t ConnectEveryMin = 0;
};

struct TUpgradeInfo {
    std::string UpgradeTitle;
    std::string UpgradePath;
    TDateTime ForceUpgradeDate = 0;   // 0 = none
    TDateTime EffectUpgradeDate = 0;  // 0 = none
};

struct THousekeepInfo {
    bool AutoPurge = false;
    int32_t PurgeInterval = 0;  // days
    TDateTime LastPurge = 0;    // whole day
    int32_t InboxDays = 0;
    int32_t SentboxDays = 0;
    int32_t SystemLogDays = 0;
};

struct TServiceInfo {
    std::string Email;
    std::string WebMailSender;
};

// Everything LoadSettings reads, as one value. The program holds one (the loaded settings,
// which the main thread reads and the options dialog and housekeeping change); a transfer
// cycle takes a read-only copy of it when it starts and reads only that.
struct TSettings {
    TProgramInfo ProgramInfo;
    TCompanyInfo CompanyInfo;
    TConnectionInfo ConnectionInfo;
    TScheduleInfo ScheduleInfo;
    TUpgradeInfo UpgradeInfo;
    THousekeepInfo HousekeepInfo;
    std::vector<TServiceInfo> Services;  // one per line of ServiceIndex, same order
    TStringList ImportExtensions;        // section iFile of USER.INI
    TStringList InboxLocations;          // section INBOX of USER.INI
    TStringList ServiceIndex;            // section IDX of DVR.INI
    bool DebugMode = false;
    bool MultiUser = false;
    bool ScheduleEnabled = false;  // a receive schedule is set (option 2 or 3)
    std::string ProgramDir;        // folder of the program file
    std::string BaseDir;           // its parent: the data folders live here
    std::string UpgradeDir;        // BaseDir + "UPGRADE/"
};

using TSettingsSnapshot = std::shared_ptr<const TSettings>;

// The loaded settings. Main thread only.
TSettings& LoadedSettings();
// A read-only copy of the loaded settings for a cycle; take it on the main thread.
TSettingsSnapshot SettingsSnapshot();

// The parts of the loaded settings under their long-standing names (main thread only).
extern TProgramInfo& ProgramInfo;
extern TCompanyInfo& CompanyInfo;
extern TConnectionInfo& ConnectionInfo;
extern TScheduleInfo& ScheduleInfo;
extern TUpgradeInfo& UpgradeInfo;
extern THousekeepInfo& HousekeepInfo;
extern std::vector<TServiceInfo>& Services;
extern TStringList& ImportExtensions;
extern TStringList& InboxLocations;
extern TStringList& ServiceIndex;
extern bool& DebugMode;
extern bool& MultiUser;
extern std::string& ProgramDir;
extern std::string& BaseDir;
extern std::string& UpgradeDir;

// The open settings files; later writers (options dialog, upgrade handling, housekeeping)
// write through them, on the main thread. Empty before LoadSettings and after ReleaseSettings.
extern std::unique_ptr<TIniFile> UserIni;
extern std::unique_ptr<TIniFile> DvrIni;

// The dial-up phone book beside USER.INI; like USER.INI it may hold a password.
inline constexpr const char* kPhonebookFileName = "DIALUP.PBK";

// Reads USER.INI and DVR.INI of programDir (ending with "/" or not; the executable's folder),
// sets ProgramDir and BaseDir (its parent), creates the data folders, opens the run's system
// log and writes the settings dump into it. computerName is logged in the first line; a file
// holding a password that other users may read or change is warned of after it.
void LoadSettings(const std::string& programDir, const std::string& computerName);
// Empties Services and releases UserIni, DvrIni, the log and the lists (in that order).
void ReleaseSettings();

// "st", "nd", "rd" or "th" for n.
std::string OrdinalSuffix(int n);
// "True" or "False".
std::string BoolToText(bool value);
// The date of an eight-digit YYYYMMDD text (EConvertError when invalid); 0 for any other length.
TDateTime DateFromYYYYMMDD(const std::string& text);
