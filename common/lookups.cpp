// The lookups that turn the settings lists into decisions: which extensions are sent, which
// service an outbox file goes to, which folder a received file goes to.
#include "common/lookups.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/settings.h"
#include "common/syslog.h"

bool IsImportExtension(const std::string& extension) {
    return IsImportExtension(LoadedSettings(), extension);
}

bool IsImportExtension(const TSettings& settings, const std::string& extension) {
    if (settings.ImportExtensions.Empty()) return false;
    const std::string key = extension.substr(extension.find('.') + 1);
    return settings.ImportExtensions.Values(key) == "1";
}

void LookupService(const std::string& fileName, std::string& service, std::string& email,
                   std::string& webMailSender) {
    LookupService(LoadedSettings(), fileName, service, email, webMailSender);
}

void LookupService(const TSettings& settings, const std::string& fileName, std::string& service,
                   std::string& email, std::string& webMailSender) {
    const TStringList& ServiceIndex = settings.ServiceIndex;
    const std::vector<TServiceInfo>& Services = settings.Services;
    email.clear();
    webMailSender.clear();
    const std::string name = ExtractFileName(fileName);
    const std::string c = name.substr(0, 1);
    WriteLog("First character: " + c, 2);
    const std::string serviceName = ServiceIndex.Values(c);
    WriteLog("Service: " + serviceName, 1);
    int i = ServiceIndex.IndexOf(c + "=" + serviceName);
    if (i < 0 || static_cast<std::size_t>(i) >= Services.size()) return;
    service = serviceName;
    email = Services[static_cast<std::size_t>(i)].Email;
    webMailSender = Services[static_cast<std::size_t>(i)].WebMailSender;
    WriteLog("  Email: " + email, 1);
    WriteLog("  WebMailSender: " + webMailSender, 1);
}

void GetInboxFolder(const std::string& fileName, std::string& folder) {
    GetInboxFolder(LoadedSettings(), fileName, folder);
}

void GetInboxFolder(const TSettings& settings, const std::string& fileName, std::string& folder) {
    folder = settings.ProgramInfo.InboxPath;
    const std::size_t dash = fileName.find('-');
    const std::string ref = dash == std::string::npos ? std::string() : fileName.substr(0, dash);
    WriteLog("Application refernce: " + ref, 2);
    std::string sub = settings.InboxLocations.Values(ref);
    if (!sub.empty()) {
        sub = IncludeTrailingPathDelimiter(sub);
        if (!DirectoryExists(sub)) {
            WriteLog("Create directory: '" + sub + "'", 1);
            // A folder that cannot be made must fail the save, not send it elsewhere.
            if (!ForceDirectories(sub))
                throw std::runtime_error("Unable to create directory: '" + sub +
                                         "': " + std::strerror(errno));
            FlushFolder(ExtractFilePath(sub.substr(0, sub.size() - 1)));
        }
        folder = sub;
    }
    WriteLog("The sub-directory for received file(" + fileName + "): " + folder, 2);
}
