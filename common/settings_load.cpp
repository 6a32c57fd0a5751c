// LoadSettings: reads USER.INI and DVR.INI into the settings records, creates the data
// folders, opens the run's system log and writes the settings dump into it. The order of the
// steps decides what is logged: the log opens once the log level is known.
//
// A failure in one step (a log write on a full disk, an unreadable settings file) does not
// stop the others: a gateway without its Outbox extensions, services or schedule would run
// and silently do nothing. The first failure is raised once, after every step has run.
#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/text.h"
#include "common/certificate_check.h"
#include "common/password.h"
#include "common/settings.h"
#include "common/syslog.h"

namespace {

const char* const kUser = "USER.INI";
const char* const kDvr = "DVR.INI";

std::string ParentFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::string parent = ExtractFilePath(path);
    // The parent of a root folder is the root itself.
    return parent.empty() ? IncludeTrailingPathDelimiter(folder) : parent;
}

// The first failure of this start, raised when LoadSettings ends.
std::exception_ptr firstFailure;

void KeepFirstFailure() {
    if (!firstFailure) firstFailure = std::current_exception();
}

void Log(const std::string& text) {
    try {
        WriteLog(text, 1);
    } catch (const std::exception&) {
        KeepFirstFailure();
    }
}

// Runs one step of the start; a failure is kept and the next step runs.
void Step(void (*step)()) {
    try {
        step();
    } catch (const std::exception&) {
        KeepFirstFailure();
    }
}

void OpenRunLog() {
    ProgramInfo.LogPath = BaseDir + "LOG/";
    std::string error;
    if (!OpenLog(ProgramInfo.LogPath, ProgramInfo.LogLevel, &error) && !error.empty())
        throw std::runtime_error(error);
}

// The scrambling of a stored password is undone by anybody who can read the file.
void WarnOfOpenSecrets() {
    for (const std::string& file : {ProgramDir + kUser, ProgramDir + kPhonebookFileName}) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || (st.st_mode & 077) == 0) continue;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        Log("Warning: " + file + " holds a password but other users may " +
            ((st.st_mode & 044) ? "read" : "change") + " it (mode " + mode +
            "); make it private with: chmod 600 " + file);
    }
}

std::string DateText(TDateTime value) { return FormatDateTime("yyyy/MM/dd", value); }

// One key: value is its default and gets the file's value. When the file cannot be read the
// failure is kept and the default stays, and the other keys are still read: an empty folder
// text would put the data into the working folder.
void ReadKey(const TIniFile& ini, const char* key, std::string& value) {
    try {
        value = ini.ReadString("SYSTEM", key, value);
    } catch (const std::exception&) {
        KeepFirstFailure();
    }
}

void ReadKey(const TIniFile& ini, const char* key, int32_t& value) {
    try {
        value = ini.ReadInteger("SYSTEM", key, value);
    } catch (const std::exception&) {
        KeepFirstFailure();
    }
}

void ReadKey(const TIniFile& ini, const char* key, bool& value) {
    try {
        value = ini.ReadBool("SYSTEM", key, value);
    } catch (const std::exception&) {
        KeepFirstFailure();
    }
}

void ReadProgramInfo() {
    TProgramInfo& p = ProgramInfo;
    p.Version = "";
    p.LogLevel = 1;
    p.InboxPath = BaseDir + "INBOX/";
    p.OutboxPath = BaseDir + "OUTBOX/";
    p.SentboxPath = BaseDir + "SENTBOX/";
    p.ErrorPath = BaseDir + "ERROR/";
    p.TempPath = BaseDir + "TEMP/";
    p.EmailContentType = "multipart/mixed";
    DebugMode = false;
    p.Sequence = 1;
    p.HistoryDays = 400;
    p.AutoImport = true;
    MultiUser = false;
    const TIniFile& user = *UserIni;
    ReadKey(*DvrIni, "VERSION", p.Version);
    ReadKey(user, "LOG_LEVEL", p.LogLevel);
    ReadKey(user, "INBOX", p.InboxPath);
    ReadKey(user, "OUTBOX", p.OutboxPath);
    ReadKey(user, "SENTBOX", p.SentboxPath);
    ReadKey(user, "ERROR", p.ErrorPath);
    ReadKey(user, "TEMPDIR", p.TempPath);
    ReadKey(*DvrIni, "EMAIL_CONTENT_TYPE", p.EmailContentType);
    ReadKey(user, "DEBUGMODE", DebugMode);
    ReadKey(user, "SEQUENCE", p.Sequence);
    ReadKey(user, "HISTORY_DAYS", p.HistoryDays);
    ReadKey(user, "AUTOIMPORT", p.AutoImport);
    ReadKey(user, "MULTIUSER", MultiUser);
}

void CreateDataFolders() {
    for (std::string* path :
         {&ProgramInfo.InboxPath, &ProgramInfo.OutboxPath, &ProgramInfo.SentboxPath,
          &ProgramInfo.ErrorPath, &ProgramInfo.TempPath})
        *path = IncludeTrailingPathDelimiter(*path);
    UpgradeDir = BaseDir + "UPGRADE/";
    for (const std::string* path :
         {&ProgramInfo.InboxPath, &ProgramInfo.OutboxPath, &ProgramInfo.SentboxPath,
          &ProgramInfo.ErrorPath, &ProgramInfo.TempPath}) {
        if (DirectoryExists(*path)) continue;
        Log("Create directory: '" + *path + "'");
        // A folder that cannot be made is reported by the operations that use it.
        ForceDirectories(*path);
    }
}

void LogPlatform() {
    utsname name{};
    if (uname(&name) == 0) Log(std::string("  Platform = ") + name.sysname + " " + name.release);
}

void DumpProgramInfo() {
    Log("  Version = " + ProgramInfo.Version);
    Log("  Log level = " + std::to_string(ProgramInfo.LogLevel));
    Log("  Inbox Path = " + ProgramInfo.InboxPath);
    Log("  Outbox Path = " + ProgramInfo.OutboxPath);
    Log("  Sentbox Path = " + ProgramInfo.SentboxPath);
    Log("  Error Path = " + ProgramInfo.ErrorPath);
    Log("  Temp Path = " + ProgramInfo.TempPath);
    Log("  EMAIL_CONTENT_TYPE = " + ProgramInfo.EmailContentType);
    Log("  Debug Mode = " + BoolToText(DebugMode));
    Log("  AutoImport = " + BoolToText(ProgramInfo.AutoImport));
}

void ReadCompanyInfo() {
    CompanyInfo.EmailAddr = UserIni->ReadString("IDENTIFICATION", "EMAIL_ADDR", "");
    CompanyInfo.LoginID = UserIni->ReadString("IDENTIFICATION", "LOGIN_ID", "");
    CompanyInfo.Password = ReadPassword(*UserIni, "IDENTIFICATION", "PASSWORD");
    Log("  Company Email address = " + CompanyInfo.EmailAddr);
    Log("  Company Login ID = " + CompanyInfo.LoginID);
}

// Address, port and user ID of one proxy or firewall, and its password.
void ReadEndpoint(const std::string& prefix, std::string& addr, std::string& port,
                  std::string& userID, std::string& password) {
    addr = UserIni->ReadString("CONNECTION", prefix + "_ADDR", "");
    port = UserIni->ReadString("CONNECTION", prefix + "_PORT", "");
    userID = UserIni->ReadString("CONNECTION", prefix + "_USERID", "");
    password = ReadPassword(*UserIni, "CONNECTION", prefix + "_PASSWORD");
}

void ReadConnectionInfo() {
    TConnectionInfo& c = ConnectionInfo;
    const TIniFile& user = *UserIni;
    c.LeaseLine = user.ReadBool("CONNECTION", "LEASE_LINE", false);
    c.DialupProfile = user.ReadString("CONNECTION", "DIALUP_PROFILE", "");
    c.Retry = user.ReadInteger("CONNECTION", "RETRY", 3);
    c.SendUseProxy = user.ReadBool("CONNECTION", "SEND_USE_PROXY", false);
    c.SendUseFirewall = user.ReadBool("CONNECTION", "SEND_USE_FIREWALL", false);
    c.RecvUseProxy = user.ReadBool("CONNECTION", "RECV_USE_PROXY", false);
    c.RecvUseFirewall = user.ReadBool("CONNECTION", "RECV_USE_FIREWALL", false);
    ReadEndpoint("SEND_PROXY", c.SendProxyAddr, c.SendProxyPort, c.SendProxyUserID,
                 c.SendProxyPassword);
    ReadEndpoint("RECV_FIREWALL", c.RecvFirewallAddr, c.RecvFirewallPort, c.RecvFirewallUserID,
                 c.RecvFirewallPassword);
    ReadEndpoint("SEND_FIREWALL", c.SendFirewallAddr, c.SendFirewallPort, c.SendFirewallUserID,
                 c.SendFirewallPassword);
    ReadEndpoint("RECV_PROXY", c.RecvProxyAddr, c.RecvProxyPort, c.RecvProxyUserID,
                 c.RecvProxyPassword);
    c.Timeout = user.ReadInteger("CONNECTION", "TIMEOUT", 60);
    c.WebMailCounter = DvrIni->ReadString("CONNECTION", "WEBMAILCOUNTER", "");
    c.WebMailDelete = DvrIni->ReadString("CONNECTION", "WEBMAILDELETE", "");
    c.WebMailRetriever = DvrIni->ReadString("CONNECTION", "WEBMAILRETRIEVER", "");
    c.FirewallType = 1;
    c.DialupDelay = user.ReadInteger("CONNECTION", "DIALUP_DELAY", 5);
    c.VerifyServerCert = user.ReadBool("CONNECTION", "VERIFY_SERVER_CERT", false);
    c.ServerCertSha256 = Trim(user.ReadString("CONNECTION", "SERVER_CERT_SHA256", ""));
}

void DumpConnectionInfo() {
    const TConnectionInfo& c = ConnectionInfo;
    Log("  Lease line = " + BoolToText(c.LeaseLine));
    Log("  Dialup profile = " + c.DialupProfile);
    Log("  Retry = " + std::to_string(c.Retry));
    Log("  Send Use Proxy = " + BoolToText(c.SendUseProxy));
    Log("  Send Proxy Address = " + c.SendProxyAddr);
    Log("  Send Proxy Port = " + c.SendProxyPort);
    Log("  Send Proxy User ID = " + c.SendProxyUserID);
    Log("  Send Use Firewall = " + BoolToText(c.SendUseFirewall));
    Log("  Send Firewall Address = " + c.SendFirewallAddr);
    Log("  Send Firewall Port = " + c.SendFirewallPort);
    Log("  Send Firewall User ID = " + c.SendFirewallUserID);
    Log("  Receive Use Firewall = " + BoolToText(c.RecvUseFirewall));
    Log("  Receive Firewall Address = " + c.RecvFirewallAddr);
    Log("  Receive Firewall Port = " + c.RecvFirewallPort);
    Log("  Receive Firewall User ID = " + c.RecvFirewallUserID);
    Log("  Receive Use Proxy = " + BoolToText(c.RecvUseProxy));
    Log("  Receive Proxy Address = " + c.RecvProxyAddr);
    Log("  Receive Proxy Port = " + c.RecvProxyPort);
    Log("  Receive Proxy User ID = " + c.RecvProxyUserID);
    Log("  Timeout = " + std::to_string(c.Timeout));
    Log("  WebMailCounter = " + c.WebMailCounter);
    Log("  WebMailDelete = " + c.WebMailDelete);
    Log("  WebMailRetriever = " + c.WebMailRetriever);
    Log("  FireWall Type = 1");
    Log("  Dialup Delay = " + std::to_string(c.DialupDelay));
    Log("  Verify Server Certificate = " + BoolToText(c.VerifyServerCert));
    Log("  Server Certificate SHA-256 = " + c.ServerCertSha256);
    if (CertificateCheck(c.VerifyServerCert, c.ServerCertSha256) == kNoCertificateCheck)
        Log(kNoCertificateCheckWarning);
}

// CONNECT_AT_TIME is read even when no timed schedule is chosen. An empty value (a fresh
// installation) means 00:00; a value that is not a time is logged and also taken as 00:00,
// so a hand-edited file never stops the program from starting.
void ReadSchedule() {
    TScheduleInfo& s = ScheduleInfo;
    s.ConnectOption = UserIni->ReadString("SCHEDULE", "CONNECT_OPTION", "1");
    s.ConnectEveryMin = UserIni->ReadInteger("SCHEDULE", "CONNECT_EVERY_MIN", 1);
    s.ConnectAtCycle = UserIni->ReadString("SCHEDULE", "CONNECT_AT_CYCLE", "");
    s.ConnectAtTimeText = UserIni->ReadString("SCHEDULE", "CONNECT_AT_TIME", "");
    s.ConnectAtTime = 0;
    if (!s.ConnectAtTimeText.empty() && !TryStrToTime(s.ConnectAtTimeText, s.ConnectAtTime)) {
        s.ConnectAtTime = 0;
        Log("  Invalid CONNECT_AT_TIME '" + s.ConnectAtTimeText + "' ignored");
    }
    s.ConnectAtOn = UserIni->ReadInteger("SCHEDULE", "CONNECT_AT_ON", 1);
    s.ConnectAtDays = UserIni->ReadString("SCHEDULE", "CONNECT_AT_DAYS", "");
    LoadedSettings().ScheduleEnabled = s.ConnectOption == "2" || s.ConnectOption == "3";
    Log("  Connect option = " + s.ConnectOption);
    Log("  Connect every min = " + std::to_string(s.ConnectEveryMin));
    Log("  Connect at cycle = " + s.ConnectAtCycle);
    Log("  Connect at time = " + FormatDateTime("hh:nn AM/PM", s.ConnectAtTime));
    Log("  Connect at on = " + DateText(s.ConnectAtOn));
    Log("  Connect at days = " + s.ConnectAtDays);
}

// An upgrade date that is eight characters but no date is logged and taken as "none" (0):
// a damaged record must not keep the program from starting.
TDateTime ReadUpgradeDate(const char* key, const std::string& text) {
    try {
        return DateOf(DateFromYYYYMMDD(text));
    } catch (const EConvertError&) {
        Log(std::string("  Invalid ") + key + " '" + text + "' ignored");
        return 0;
    }
}

void ReadUpgradeInfo() {
    TUpgradeInfo& u = UpgradeInfo;
    u.UpgradeTitle = UserIni->ReadString("UPGRADE", "UPGRADE_TITLE", "");
    u.UpgradePath = UserIni->ReadString("UPGRADE", "UPGRADE_PATH", "");
    const std::string force = UserIni->ReadString("UPGRADE", "FORCE_UPGDATE", "0");
    const std::string effect = UserIni->ReadString("UPGRADE", "EFFECT_UPGDATE", "0");
    u.ForceUpgradeDate = ReadUpgradeDate("FORCE_UPGDATE", force);
    u.EffectUpgradeDate = ReadUpgradeDate("EFFECT_UPGDATE", effect);
    if (u.UpgradeTitle.empty()) return;
    Log("  Upgrade title = " + u.UpgradeTitle);
    Log("  Upgrade path = " + u.UpgradePath);
    Log("  Force upgrade date = " + DateText(u.ForceUpgradeDate));
    if (effect != "0") Log("  Effective upgrade date = " + DateText(u.EffectUpgradeDate));
}

void ReadHousekeepInfo() {
    THousekeepInfo& h = HousekeepInfo;
    h.AutoPurge = UserIni->ReadBool("HOUSEKEEP", "AUTO_PURGE", false);
    h.PurgeInterval = UserIni->ReadInteger("HOUSEKEEP", "PURGE_INTERVAL", 14);
    h.LastPurge = UserIni->ReadInteger("HOUSEKEEP", "LAST_PURGE", 1);
    h.InboxDays = UserIni->ReadInteger("HOUSEKEEP", "INBOX", 30);
    h.SentboxDays = UserIni->ReadInteger("HOUSEKEEP", "SENTBOX", 14);
    h.SystemLogDays = UserIni->ReadInteger("HOUSEKEEP", "SYSTEMLOG", 90);
    Log("  Auto purge = " + BoolToText(h.AutoPurge));
    Log("  Purge interval = " + std::to_string(h.PurgeInterval));
    Log("  Last purge date = " + DateText(h.LastPurge));
    Log("  No. of days for Inbox = " + std::to_string(h.InboxDays));
    Log("  No. of days for Sendbox = " + std::to_string(h.SentboxDays));
    Log("  No. of days for System Log = " + std::to_string(h.SystemLogDays));
}

void ReadList(const char* section, TStringList& list, const char* heading) {
    UserIni->ReadSectionValues(section, list);
    Log(heading);
    for (std::size_t i = 0; i < list.Count(); ++i)
        Log("    " + list.Names(i) + " = " + list.ValueFromIndex(i));
}

void ReadServices() {
    DvrIni->ReadSectionValues("IDX", ServiceIndex);
    Services.assign(ServiceIndex.Count(), TServiceInfo());
    TStringList scratch;
    for (std::size_t i = 0; i < ServiceIndex.Count(); ++i) {
        const std::string section = Trim(ServiceIndex.ValueFromIndex(i));
        DvrIni->ReadSectionValues(section, scratch);
        Services[i].Email = scratch.Values("EMAIL");
        Services[i].WebMailSender = scratch.Values("WebMailSender");
        Log("  Service: " + section);
        Log("    Email = " + Services[i].Email);
        Log("    WebMailSender = " + Services[i].WebMailSender);
    }
}

}  // namespace

void LoadSettings(const std::string& programDir, const std::string& computerName) {
    firstFailure = nullptr;

    ProgramDir = IncludeTrailingPathDelimiter(programDir);
    BaseDir = ParentFolder(ProgramDir);
    UserIni = std::make_unique<TIniFile>(ProgramDir + kUser, TIniAccess::OwnerOnly);
    DvrIni = std::make_unique<TIniFile>(ProgramDir + kDvr);

    Step(ReadProgramInfo);
    Step(OpenRunLog);
    Log("Start program in computer: " + computerName);
    Step(WarnOfOpenSecrets);

    for (void (*step)() :
         {CreateDataFolders, LogPlatform, DumpProgramInfo, ReadCompanyInfo, ReadConnectionInfo,
          DumpConnectionInfo, ReadSchedule, ReadUpgradeInfo, ReadHousekeepInfo})
        Step(step);
    Step([] { ReadList("iFile", ImportExtensions, "  File extensions for import"); });
    Step([] { ReadList("INBOX", InboxLocations, "  Inbox file type and location"); });
    Step(ReadServices);

    if (std::exception_ptr failure = std::exchange(firstFailure, nullptr))
        std::rethrow_exception(failure);
}
