#include "dialogs/core/option_controller.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/base/text.h"
#include "common/certificate_check.h"
#include "common/fingerprint.h"
#include "common/housekeeping.h"
#include "common/password.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/view.h"
#include "dialogs/core/autostart.h"

namespace {

constexpr const char* kIdentification = "IDENTIFICATION";
constexpr const char* kSchedule = "SCHEDULE";
constexpr const char* kConnection = "CONNECTION";
constexpr const char* kHousekeep = "HOUSEKEEP";

bool Blank(const std::string& text) { return Trim(text).empty(); }

// The item when it is one of items, else empty text (no selection).
std::string Item(const std::string& text, const std::vector<std::string>& items) {
    return std::find(items.begin(), items.end(), text) != items.end() ? text : "";
}

}  // namespace

std::optional<TOptionCheck> CheckOptions(const TOptionValues& v) {
    using P = TOptionPage;
    using F = TOptionField;
    if (Blank(v.EmailAddr))
        return TOptionCheck{P::Identification, F::edt_EmailAddr, "E-mail address must be entered."};
    if (Trim(v.EmailAddr).find('@') == std::string::npos)
        return TOptionCheck{P::Identification, F::edt_EmailAddr,
                            "Invalid format of E-mail address."};
    if (Blank(v.LoginID))
        return TOptionCheck{P::Identification, F::edt_LoginID, "Login ID must be entered."};
    if (Blank(v.Password))
        return TOptionCheck{P::Identification, F::edt_Pwd, "Password must be entered."};
    if (v.ConnectOption == 2) {
        if (Blank(v.EveryMin))
            return TOptionCheck{P::Schedule, F::edtMin,
                                "Time interval of connection must be entered."};
        int minutes = 0;
        if (!TryStrToInt(Trim(v.EveryMin), minutes))
            return TOptionCheck{P::Schedule, F::edtMin,
                                "'" + Trim(v.EveryMin) + "' is not a valid integer value"};
        if (minutes < 5)
            return TOptionCheck{P::Schedule, F::edtMin,
                                "Time interval of connection must at least 5 mins."};
    }
    if (v.ConnectOption == 3) {
        if (Blank(v.Hour) || Blank(v.Minute) || Blank(v.AmPm))
            return TOptionCheck{P::Schedule, F::cbxHour,
                                "Scheduled Time of connection must be entered."};
        // The day boxes count only when "On the selected days only:" is chosen; it is
        // enabled exactly while a time is chosen.
        if (v.ConnectAtCycle == 3 && std::none_of(v.Days.begin(), v.Days.end(), std::identity{}))
            return TOptionCheck{P::Schedule, F::chkMon,
                                "At least one day must be selected for scheduled connection."};
    }
    if (!v.LeaseLine && v.DialupProfile.empty())
        return TOptionCheck{P::Connection, F::cbxDialup, "Dialup Profile must be entered."};
    if (v.UseProxy) {
        if (Blank(v.ProxyAddr))
            return TOptionCheck{P::Network, F::edt_ProxyAddr,
                                "Proxy Server Location server must be entered."};
        if (Blank(v.ProxyPort))
            return TOptionCheck{P::Network, F::edt_ProxyPort, "Proxy Server Port must be entered."};
        if (Blank(v.ProxyUserID))
            return TOptionCheck{P::Network, F::edt_ProxyUserID,
                                "Proxy Server User ID must be entered."};
        if (Blank(v.ProxyPwd))
            return TOptionCheck{P::Network, F::edt_ProxyPwd,
                                "Proxy Server Password must be entered."};
    }
    if (v.UseFirewall) {
        if (Blank(v.FWAddr))
            return TOptionCheck{P::Network, F::edt_FWAddr, "Firewall Location must be entered."};
        if (Blank(v.FWPort))
            return TOptionCheck{P::Network, F::edt_FWPort, "Firewall Port must be entered."};
        if (Blank(v.FWUserID))
            return TOptionCheck{P::Network, F::edt_FWUserID, "Firewall User ID must be entered."};
        if (Blank(v.FWPwd))
            return TOptionCheck{P::Network, F::edt_FWPwd, "Firewall Password must be entered."};
    }
    if (Blank(v.Timeout))
        return TOptionCheck{P::Network, F::edt_Timeout, "Server timeout must be entered."};
    if (!Blank(v.ServerCertSha256) && NormalizeFingerprint(v.ServerCertSha256).empty())
        return TOptionCheck{P::Network, F::edt_CertSha256,
                            "The certificate fingerprint must be 64 hexadecimal digits (SHA-256)."};
    return std::nullopt;
}

TOptionValues OptionValuesFromSettings(const std::vector<std::string>& profiles) {
    TOptionValues v;
    v.EmailAddr = CompanyInfo.EmailAddr;
    v.LoginID = CompanyInfo.LoginID;
    v.Password = CompanyInfo.Password;

    const TScheduleInfo& s = ScheduleInfo;
    if (s.ConnectOption == "1" || s.ConnectOption == "2" || s.ConnectOption == "3")
        v.ConnectOption = s.ConnectOption[0] - '0';
    if (s.ConnectAtCycle == "1" || s.ConnectAtCycle == "2" || s.ConnectAtCycle == "3")
        v.ConnectAtCycle = s.ConnectAtCycle[0] - '0';
    v.EveryMin = std::to_string(s.ConnectEveryMin);
    const std::string& time = s.ConnectAtTimeText;
    if (!time.empty()) {
        v.Hour = Item(time.substr(0, 2), HourItems());
        if (time.size() > 3) v.Minute = Item(time.substr(3, 2), MinuteItems());
        if (time.size() > 5) v.AmPm = Item(time.substr(5, 2), AmPmItems());
    }
    v.ConnectAtOn = s.ConnectAtOn;
    for (int day = 0; day < 7; ++day)
        v.Days[static_cast<size_t>(day)] =
            s.ConnectAtDays.find(static_cast<char>('1' + day)) != std::string::npos;

    const TConnectionInfo& c = ConnectionInfo;
    v.LeaseLine = c.LeaseLine;
    v.DialupProfiles = profiles;
    v.DialupProfile = Item(c.DialupProfile, profiles);
    v.DialupDelay = c.DialupDelay;
    v.UseProxy = c.SendUseProxy;
    v.ProxyAddr = c.SendProxyAddr;
    v.ProxyPort = c.SendProxyPort;
    v.ProxyUserID = c.SendProxyUserID;
    v.ProxyPwd = c.SendProxyPassword;
    v.UseFirewall = c.RecvUseFirewall;
    v.FWAddr = c.RecvFirewallAddr;
    v.FWPort = c.RecvFirewallPort;
    v.FWUserID = c.RecvFirewallUserID;
    v.FWPwd = c.RecvFirewallPassword;
    v.Timeout = std::to_string(c.Timeout);
    v.VerifyServerCert = c.VerifyServerCert;
    v.ServerCertSha256 = c.ServerCertSha256;

    const THousekeepInfo& h = HousekeepInfo;
    v.AutoPurge = h.AutoPurge;
    v.PurgeInterval = h.PurgeInterval;
    v.Inbox = AgeFromDays(h.InboxDays);
    v.Sentbox = AgeFromDays(h.SentboxDays);
    v.SysLog = AgeFromDays(h.SystemLogDays);
    v.HistoryDays = ProgramInfo.HistoryDays;
    v.Autostart = AutostartEnabled();
    return v;
}

void SaveOptions(const TOptionValues& v, TIniFile& ini) {
    ini.WriteString(kIdentification, "EMAIL_ADDR", Trim(v.EmailAddr));
    ini.WriteString(kIdentification, "LOGIN_ID", Trim(v.LoginID));
    WritePassword(ini, kIdentification, "PASSWORD", Trim(v.Password));
    WriteLog("Option - Identification saved", 2);

    if (v.ConnectOption == 1) {
        ini.WriteString(kSchedule, "CONNECT_OPTION", "1");
    } else if (v.ConnectOption == 2) {
        ini.WriteString(kSchedule, "CONNECT_OPTION", "2");
        ini.WriteString(kSchedule, "CONNECT_EVERY_MIN", Trim(v.EveryMin));
    } else if (v.ConnectOption == 3) {
        ini.WriteString(kSchedule, "CONNECT_OPTION", "3");
        ini.WriteString(kSchedule, "CONNECT_AT_TIME", v.Hour + ":" + v.Minute + v.AmPm);
        if (v.ConnectAtCycle == 1) {
            ini.WriteString(kSchedule, "CONNECT_AT_CYCLE", "1");
        } else if (v.ConnectAtCycle == 2) {
            ini.WriteString(kSchedule, "CONNECT_AT_CYCLE", "2");
            ini.WriteString(kSchedule, "CONNECT_AT_ON",
                            std::to_string(static_cast<long long>(std::floor(v.ConnectAtOn))));
        } else if (v.ConnectAtCycle == 3) {
            ini.WriteString(kSchedule, "CONNECT_AT_CYCLE", "3");
            std::string days;
            for (int day = 0; day < 7; ++day)
                if (v.Days[static_cast<size_t>(day)]) days += std::to_string(day + 1) + ",";
            ini.WriteString(kSchedule, "CONNECT_AT_DAYS", days);
        }
    }
    WriteLog("Option - Schedule saved", 2);

    if (v.LeaseLine) {
        ini.WriteBool(kConnection, "LEASE_LINE", true);
    } else {
        ini.WriteBool(kConnection, "LEASE_LINE", false);
        ini.WriteString(kConnection, "DIALUP_PROFILE", v.DialupProfile);
        ini.WriteInteger(kConnection, "DIALUP_DELAY", v.DialupDelay);
    }
    WriteLog("Option - Connection saved", 2);

    // The texts of the network page are written as typed.
    ini.WriteBool(kConnection, "SEND_USE_PROXY", v.UseProxy);
    if (v.UseProxy) {
        for (const char* direction : {"SEND", "RECV"}) {
            const std::string prefix = std::string(direction) + "_PROXY_";
            ini.WriteString(kConnection, prefix + "ADDR", v.ProxyAddr);
            ini.WriteString(kConnection, prefix + "PORT", v.ProxyPort);
            ini.WriteString(kConnection, prefix + "USERID", v.ProxyUserID);
            WritePassword(ini, kConnection, prefix + "PASSWORD", v.ProxyPwd);
        }
    }
    ini.WriteBool(kConnection, "RECV_USE_FIREWALL", v.UseFirewall);
    if (v.UseFirewall) {
        for (const char* direction : {"RECV", "SEND"}) {
            const std::string prefix = std::string(direction) + "_FIREWALL_";
            ini.WriteString(kConnection, prefix + "ADDR", v.FWAddr);
            ini.WriteString(kConnection, prefix + "PORT", v.FWPort);
            ini.WriteString(kConnection, prefix + "USERID", v.FWUserID);
            WritePassword(ini, kConnection, prefix + "PASSWORD", v.FWPwd);
        }
    }
    ini.WriteString(kConnection, "TIMEOUT", v.Timeout);
    ini.WriteBool(kConnection, "VERIFY_SERVER_CERT", v.VerifyServerCert);
    ini.WriteString(kConnection, "SERVER_CERT_SHA256", Trim(v.ServerCertSha256));
    WriteLog("Option - Network saved", 2);

    ini.WriteBool(kHousekeep, "AUTO_PURGE", v.AutoPurge);
    if (v.AutoPurge) {
        ini.WriteInteger(kHousekeep, "PURGE_INTERVAL", v.PurgeInterval);
        ini.WriteInteger(kHousekeep, "INBOX", DaysFromAge(v.Inbox));
        ini.WriteInteger(kHousekeep, "SENTBOX", DaysFromAge(v.Sentbox));
        ini.WriteInteger(kHousekeep, "SYSTEMLOG", DaysFromAge(v.SysLog));
    }
    ini.WriteInteger("SYSTEM", "HISTORY_DAYS", v.HistoryDays);
    WriteLog("Option - Housekeep saved", 2);
}

TOptionController::TOptionController(IOptionView& view, TIniFile& ini,
                                     std::vector<std::string> profiles)
    : view_(view), ini_(ini), profiles_(std::move(profiles)) {}

void TOptionController::FormCreate() {
    WriteLog("Open - Option", 1);
    const TOptionValues values = OptionValuesFromSettings(profiles_);
    shownAutostart_ = values.Autostart;
    view_.ShowValues(values);
    ApplyEnabling(values);
}

void TOptionController::FormShow() { view_.ShowPage(TOptionPage::Identification); }

void TOptionController::ApplyEnabling(const TOptionValues& v) {
    const bool atTime = v.ConnectOption == 3;
    view_.SetGroupEnabled(TOptionGroup::EveryMinutes, v.ConnectOption == 2);
    view_.SetGroupEnabled(TOptionGroup::AtTime, atTime);
    view_.SetGroupEnabled(TOptionGroup::AtDate, atTime && v.ConnectAtCycle == 2);
    view_.SetGroupEnabled(TOptionGroup::AtDays, atTime && v.ConnectAtCycle == 3);
    view_.SetGroupEnabled(TOptionGroup::Dialup, !v.LeaseLine);
    view_.SetGroupEnabled(TOptionGroup::Proxy, v.UseProxy);
    view_.SetGroupEnabled(TOptionGroup::Firewall, v.UseFirewall);
    view_.SetGroupEnabled(TOptionGroup::Purge, v.AutoPurge);
    const bool unchecked =
        CertificateCheck(v.VerifyServerCert, v.ServerCertSha256) == kNoCertificateCheck;
    view_.ShowCertificateWarning(unchecked ? kNoCertificateCheckCaption : "");
}

void TOptionController::rbschedule1Click() { ApplyEnabling(view_.Values()); }
void TOptionController::rbschedule4Click() { ApplyEnabling(view_.Values()); }
void TOptionController::rbLeaseLineClick() { ApplyEnabling(view_.Values()); }
void TOptionController::chkbox_UseProxyClick() { ApplyEnabling(view_.Values()); }
void TOptionController::chkbox_UseFirewallClick() { ApplyEnabling(view_.Values()); }
void TOptionController::chkPurgeClick() { ApplyEnabling(view_.Values()); }
void TOptionController::CertificateRuleChange() { ApplyEnabling(view_.Values()); }

void TOptionController::BitBtn_OKClick() {
    const TOptionValues values = view_.Values();
    if (auto failed = CheckOptions(values)) {
        view_.ShowPage(failed->Page);
        view_.FocusField(failed->Field);
        OperatorView().MessageBox(TMsgKind::Error, failed->Message, "", TMsgButtons::OK);
        return;
    }
    SaveOptions(values, ini_);
    if (values.Autostart != shownAutostart_) ApplyAutostart(values.Autostart);
    OperatorView().MessageBox(
        TMsgKind::Information,
        "You must restart Quillbern Dovrant before the new setting will take effect.", "",
        TMsgButtons::OK);
    WriteLog("Option modified.", 1);
    view_.CloseDialog(true);
}

void TOptionController::ApplyAutostart(bool enabled) {
    // The entry names this program and its installation, so a copy started at log-in runs
    // the same installation whatever folder the program file lies in.
    std::vector<std::string> args;
    if (!ProgramDir.empty()) args = {"--dir", ProgramDir};
    const std::string failure = SetAutostart(enabled, RunningProgramPath(), args);
    if (failure.empty()) {
        WriteLog(enabled ? "Option - Start with the desktop session switched on"
                         : "Option - Start with the desktop session switched off",
                 1);
        return;
    }
    WriteLog("Option - Start with the desktop session not changed: " + failure, 1);
    OperatorView().MessageBox(TMsgKind::Error,
                              "The start with the desktop session could not be changed: " + failure,
                              "", TMsgButtons::OK);
}

void TOptionController::BitBtn_CancelClick() { view_.CloseDialog(false); }

bool TOptionController::FormClose(bool accepted) {
    if (accepted) return true;
    if (OperatorView().MessageBox(TMsgKind::Confirmation, "Do you want to close without save?", "",
                                  TMsgButtons::YesNo) == TMsgAnswer::No)
        return false;
    WriteLog("Quit option without save.", 1);
    return true;
}

void TOptionController::BitBtn_LoadClick() {
    if (auto imported = view_.RunSetupDrive()) {
        TOptionValues values = view_.Values();
        values.EmailAddr = imported->EmailAddr;
        values.LoginID = imported->LoginID;
        values.Password = imported->Password;
        view_.ShowValues(values);
    }
}

void TOptionController::btnHousekeepClick() {
    if (OperatorView().MessageBox(TMsgKind::Confirmation,
                                  "Quillbern Dovrant is going to exit and perform housekeeping "
                                  "now.\n\rDo you want to continue?",
                                  "", TMsgButtons::YesNo) != TMsgAnswer::Yes)
        return;
    HousekeepNow = true;
    view_.CloseDialog(true);
    view_.RequestMainClose();
}
