#include "transfer/auto_upgrade.h"

#include <exception>
#include <stdexcept>

#include "common/base/fileutil.h"
#include "common/base/message_pump.h"
#include "common/base/text.h"
#include "common/base/to_main_thread.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "mail/attached_files.h"
#include "mail/mail_lines.h"
#include "transfer/process_message.h"

namespace {

// Line i of the text, raising the list index error when the message has fewer lines.
std::string Line(const TMailLines& text, std::size_t i) {
    if (i >= text.Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
    return std::string(text[i]);
}

// A release names one folder directly under UpgradeDir; the start-up runs what its
// UPGRADE_PATH points at, so it must not be able to point anywhere else.
bool IsPlainRelease(const std::string& release) {
    if (Trim(release).empty() || release == "." || release.find("..") != std::string::npos)
        return false;
    for (unsigned char c : release)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string CreateUpgradeDir(const std::string& path) {
    if (!ForceDirectoriesSynced(path))
        throw std::runtime_error("Unable to create directory " + path);
    WriteLog(path + " created.", 2);
    return path;
}

}  // namespace

std::string MakeUpgradeDir(const std::string& release) {
    return MakeUpgradeDir(UpgradeDir, release);
}

std::string MakeUpgradeDir(const std::string& upgradeDir, const std::string& release) {
    if (!IsPlainRelease(release))
        throw std::runtime_error("Invalid release name '" + release + "' in Autoupgrade.");
    const std::string path = upgradeDir + release;
    if (!DirectoryExists(path)) return CreateUpgradeDir(path);
    for (int n = 1;; ++n) {
        const std::string candidate = path + "/" + std::to_string(n);
        if (n >= 999 || !DirectoryExists(candidate)) return CreateUpgradeDir(candidate);
    }
}

int ProcessAutoUpgrade(const TAttachedFiles& attachments, const TMailLines& text) {
    return ProcessAutoUpgrade(LoadedSettings(), attachments, text);
}

int ProcessAutoUpgrade(const TSettings& settings, const TAttachedFiles& attachments,
                       const TMailLines& text) {
    if (Trim(text.Text()).empty()) return 1;
    int result = 1;
    try {
        const std::string title = Line(text, 0);
        const std::string release = Line(text, 1);
        const std::string forceDate = Line(text, 2);
        const TDateTime force = DateFromYYYYMMDD(forceDate);
        const std::string effectDate = Line(text, 3);
        if (!Trim(effectDate).empty()) DateFromYYYYMMDD(effectDate);

        WriteLog("Autoupgrade - Title: " + title, 2);
        WriteLog("Autoupgrade - Release: " + release, 2);
        WriteLog("Autoupgrade - Force upgrade date: " + forceDate, 2);
        WriteLog("Autoupgrade - Effective date: " + effectDate, 2);
        if (force == 0)
            throw std::runtime_error("Invalid date format for force upgrade date in Autoupgrade.");

        const std::string folder = MakeUpgradeDir(settings.UpgradeDir, release) + "/";
        const std::string setupPath = folder + "SETUP.EXE";
        for (std::size_t i = 0; i < attachments.Count(); ++i) {
            PumpMessages(0);
            const std::string path = SaveAttachment(attachments[i], folder);
            WriteLog("Autoupgrage - Attachment was saved in: " + path, 2);
        }
        // The keys last: the next start only learns of a release whose files are all there.
        // On the main thread, which owns USER.INI: never beside the options dialog's write.
        MainThread().Synchronize([&] {
            if (!UserIni) throw std::runtime_error("USER.INI is not open");
            UserIni->WriteString("UPGRADE", "UPGRADE_TITLE", title);
            UserIni->WriteString("UPGRADE", "UPGRADE_PATH", setupPath);
            UserIni->WriteString("UPGRADE", "FORCE_UPGDATE", forceDate);
            UserIni->WriteString("UPGRADE", "EFFECT_UPGDATE", effectDate);
        });
        result = 0;
    } catch (const std::exception& e) {
        WriteLog(std::string("Unable to update AutoUpgrade information. ") + e.what(), 1);
        result = 1;
    }
    return result;
}
