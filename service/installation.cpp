#include "service/installation.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/base/atomic_file.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/profile.h"
#include "common/single_instance.h"
#include "service/command_line.h"

namespace fs = std::filesystem;

namespace {

std::string Absolute(const std::string& dir) {
    std::error_code error;
    fs::path path = fs::absolute(dir, error);
    if (error) path = dir;
    return IncludeTrailingPathDelimiter(path.lexically_normal().string());
}

bool HoldsSettings(const std::string& folder) {
    return FileExists(folder + "USER.INI") || FileExists(folder + "DVR.INI");
}

// A new installation sends nothing until the operator enters the company's identification
// and the service's addresses; it receives every 15 minutes over a leased line, and only
// from a service whose certificate the system trusts.
const char* const kUserIniTemplate =
    "[SYSTEM]\r\n"
    "LOG_LEVEL=1\r\n"
    "DEBUGMODE=0\r\n"
    "SEQUENCE=1\r\n"
    "AUTOIMPORT=1\r\n"
    "MULTIUSER=0\r\n"
    "\r\n"
    "[IDENTIFICATION]\r\n"
    "EMAIL_ADDR=\r\n"
    "LOGIN_ID=\r\n"
    "PASSWORD=\r\n"
    "\r\n"
    "[CONNECTION]\r\n"
    "LEASE_LINE=1\r\n"
    "DIALUP_PROFILE=\r\n"
    "RETRY=3\r\n"
    "SEND_USE_PROXY=0\r\n"
    "SEND_USE_FIREWALL=0\r\n"
    "RECV_USE_PROXY=0\r\n"
    "RECV_USE_FIREWALL=0\r\n"
    "TIMEOUT=60\r\n"
    "DIALUP_DELAY=0\r\n"
    "; Refuse a service certificate the system does not trust. For a self-signed service set "
    "VERIFY_SERVER_CERT=0 and pin it instead: SERVER_CERT_SHA256=<fingerprint from openssl x509 "
    "-noout -fingerprint -sha256>\r\n"
    "VERIFY_SERVER_CERT=1\r\n"
    "\r\n"
    "[SCHEDULE]\r\n"
    "CONNECT_OPTION=2\r\n"
    "CONNECT_EVERY_MIN=15\r\n"
    "CONNECT_AT_CYCLE=1\r\n"
    "CONNECT_AT_TIME=09:30AM\r\n"
    "CONNECT_AT_DAYS=1,2,3,4,5,\r\n"
    "\r\n"
    "[HOUSEKEEP]\r\n"
    "AUTO_PURGE=1\r\n"
    "PURGE_INTERVAL=14\r\n"
    "LAST_PURGE=%LAST_PURGE%\r\n"
    "INBOX=30\r\n"
    "SENTBOX=14\r\n"
    "SYSTEMLOG=90\r\n"
    "\r\n"
    "[iFile]\r\n"
    "TXT=1\r\n"
    "XML=1\r\n"
    "CSV=1\r\n"
    "\r\n"
    "[INBOX]\r\n";

std::string DvrIniTemplate() {
    return std::string(
               "; The web-mail service's addresses: fill in the host of your service.\r\n"
               "[SYSTEM]\r\n"
               "VERSION=") +
           kBuildVersion +
           "\r\n"
           "EMAIL_CONTENT_TYPE=multipart/mixed\r\n"
           "\r\n"
           "[CONNECTION]\r\n"
           "WEBMAILCOUNTER=https://webmail.example/webmail/count?user=%s&login=%s&pwd=%s\r\n"
           "WEBMAILRETRIEVER=https://webmail.example/webmail/"
           "retrieve?user=%s&login=%s&pwd=%s&id=%s\r\n"
           "WEBMAILDELETE=https://webmail.example/webmail/delete?user=%s&login=%s&pwd=%s&id=%s\r\n"
           "\r\n"
           "; One line per service: the first character of an Outbox file's name picks it.\r\n"
           "[IDX]\r\n"
           "A=ORDERS\r\n"
           "\r\n"
           "[ORDERS]\r\n"
           "EMAIL=\r\n"
           "WebMailSender=https://webmail.example/webmail/send?from=%s\r\n";
}

const char* const kDataFolders[] = {"INBOX", "OUTBOX", "SENTBOX", "ERROR", "LOG", "TEMP"};

}  // namespace

std::string ResolveProgramDir(const std::string& dir) {
    const std::string folder = Absolute(dir);
    if (HoldsSettings(folder)) return folder;
    if (HoldsSettings(folder + "DVR/")) return folder + "DVR/";
    return folder;
}

std::string DefaultProgramDir() {
    const std::string own = ProgramFolder();
    if (FileExists(own + "USER.INI")) return own;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home != '/') return own;
    const std::string personal = ResolveProgramDir(std::string(home) + "/quillbern-dovrant");
    return FileExists(personal + "USER.INI") ? personal : own;
}

std::string CheckProgramDir(const std::string& programDir) {
    if (FileExists(programDir + "USER.INI")) return "";
    return "no USER.INI in " + programDir +
           " (give the program folder or the folder above its DVR/; --init lays out a new one)";
}

std::string LogFolderOf(const std::string& programDir) {
    fs::path path(programDir);
    if (!path.has_filename()) path = path.parent_path();  // drop the trailing "/"
    return IncludeTrailingPathDelimiter(path.parent_path().string()) + "LOG/";
}

std::string InstalledVersion(const std::string& programDir) {
    if (!FileExists(programDir + "DVR.INI")) return "";
    try {
        return TIniFile(programDir + "DVR.INI").ReadString("SYSTEM", "VERSION", "");
    } catch (const std::exception&) {
        return "";
    }
}

std::string InitInstallation(const std::string& dir) {
    const std::string base = Absolute(dir);
    std::error_code error;
    if (fs::exists(fs::symlink_status(base, error))) {
        if (!fs::is_directory(base, error)) return base + " exists and is not a folder";
        if (!fs::is_empty(base, error) || error)
            return base + " is not empty; --init lays out only a new or empty folder";
    }
    if (!ForceDirectories(base + "DVR/")) return "cannot create " + base + "DVR/";
    for (const char* folder : kDataFolders)
        if (!ForceDirectories(base + folder + "/")) return "cannot create " + base + folder + "/";
    try {
        // USER.INI will hold the scrambled password: readable by its owner only.
        TAtomicFile userIni(base + "DVR/USER.INI");
        // The first purge is due a full interval after the installation, not at once.
        std::string user = kUserIniTemplate;
        const std::string mark = "%LAST_PURGE%";
        user.replace(user.find(mark), mark.size(), std::to_string(static_cast<long>(Date())));
        userIni.Write(user);
        userIni.SetMode(0600);
        userIni.Commit();
        WriteFileAtomic(base + "DVR/DVR.INI", DvrIniTemplate());
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}
