#pragma once

// Auto-upgrade messages: the service delivers a new release of this program as a message with
// the subject "AUTOUPGRADE". Its attachments are the installation files; its text lines are
// the title, the release, the force-upgrade date and the effective date (YYYYMMDD). The files
// go to a new folder under UpgradeDir and the release is recorded in section UPGRADE of
// USER.INI, where the next start finds it.

#include <string>

struct TSettings;
class TAttachedFiles;
class TMailLines;

// Stores the release and records it: 0 on success, 1 on failure (logged here, except for an
// empty text). The UPGRADE keys are written only after every file is stored.
int ProcessAutoUpgrade(const TAttachedFiles& attachments, const TMailLines& text);
// The same on the settings of a receive run, from any thread: USER.INI is written on the
// main thread, which the worker waits for.
int ProcessAutoUpgrade(const TSettings& settings, const TAttachedFiles& attachments,
                       const TMailLines& text);

// A new folder for release under UpgradeDir (without trailing "/"): UpgradeDir + release, or
// when that exists UpgradeDir + release + "/" + n for the first free n (1 to 999; 999 is
// taken even when it exists). A release that is empty, absolute, or holds "/", "\", ".." or
// a control character is refused with an error, so no text of a message chooses a folder
// outside UpgradeDir.
std::string MakeUpgradeDir(const std::string& release);
std::string MakeUpgradeDir(const std::string& upgradeDir, const std::string& release);
