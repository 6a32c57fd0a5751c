#pragma once

// What the options dialog shows and the operator edits: one field per control of its five
// pages, as texts where the control holds a text, so the checks see what was typed.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "common/base/clock.h"

enum class TOptionPage { Identification, Schedule, Connection, Network, Housekeep };

// The controls the checks put the focus on.
enum class TOptionField {
    edt_EmailAddr,
    edt_LoginID,
    edt_Pwd,
    edtMin,
    cbxHour,
    chkMon,
    cbxDialup,
    edt_ProxyAddr,
    edt_ProxyPort,
    edt_ProxyUserID,
    edt_ProxyPwd,
    edt_FWAddr,
    edt_FWPort,
    edt_FWUserID,
    edt_FWPwd,
    edt_Timeout,
    edt_CertSha256,
};

// Controls enabled and disabled together by the click rules.
enum class TOptionGroup {
    EveryMinutes,  // edtMin
    AtTime,        // cbxHour, cbxMin, cbxAMPM, rbschedule4 to rbschedule6
    AtDate,        // DTPickerDate
    AtDays,        // the seven day boxes
    Dialup,        // "Dialup Profile:", cbxDialup, grpDisconnection with its texts, spnedtDelay
    Proxy,         // the four proxy edits and their labels
    Firewall,      // the four firewall edits and their labels
    Purge,         // the purge-interval panel and the three age panels
};

// A housekeeping age as shown: a number and one of "Days", "Weeks", "Months".
struct THousekeepAge {
    int Number = 1;
    std::string Unit = "Days";
    bool operator==(const THousekeepAge&) const = default;
};

struct TOptionValues {
    // Identification.
    std::string EmailAddr;
    std::string LoginID;
    std::string Password;
    // Schedule: ConnectOption 1 to 3 is rbschedule1 to rbschedule3, ConnectAtCycle 1 to 3 is
    // rbschedule4 to rbschedule6 (0 = none checked).
    int ConnectOption = 1;
    std::string EveryMin;
    std::string Hour;    // "01" to "12", or empty (no selection)
    std::string Minute;  // "00" to "55", or empty
    std::string AmPm;    // "AM", "PM", or empty
    int ConnectAtCycle = 1;
    TDateTime ConnectAtOn = 0;
    std::array<bool, 7> Days{};  // Monday to Sunday
    // Connection.
    bool LeaseLine = true;
    std::vector<std::string> DialupProfiles;  // the phone-book entries listed
    std::string DialupProfile;                // the selected entry, empty for none
    int DialupDelay = 5;
    // Network.
    bool UseProxy = false;
    std::string ProxyAddr, ProxyPort, ProxyUserID, ProxyPwd;
    bool UseFirewall = false;
    std::string FWAddr, FWPort, FWUserID, FWPwd;
    std::string Timeout;
    bool VerifyServerCert = false;
    std::string ServerCertSha256;  // empty: no pinned certificate
    // Housekeeping.
    bool AutoPurge = false;
    int PurgeInterval = 14;
    THousekeepAge Inbox, Sentbox, SysLog;
    int HistoryDays = 400;  // [SYSTEM] HISTORY_DAYS: the transfer history's rows kept so long
    // Not in USER.INI: the desktop session's autostart entry of this user.
    bool Autostart = false;
};

// The items of the time lists.
std::vector<std::string> HourItems();     // "01" .. "12"
std::vector<std::string> MinuteItems();   // "00", "05" .. "55"
std::vector<std::string> AmPmItems();     // "AM", "PM"
std::vector<std::string> AgeUnitItems();  // "Days", "Weeks", "Months"

// A number of days as shown: weeks when divisible by 7 and not by 30, months when divisible
// by 30, days otherwise.
THousekeepAge AgeFromDays(int days);
// Back to days: a unit other than "Weeks" or "Months" counts as days.
int DaysFromAge(const THousekeepAge& age);

// The key filter of the digit-only edits: digits and Backspace pass.
bool AcceptDigitKey(char key);
