#pragma once

#include <string>

struct TSettings;

// extension as ExtractFileExt gives it (".TXT", may be empty): true when its key in
// ImportExtensions has the value "1".
bool IsImportExtension(const std::string& extension);
bool IsImportExtension(const TSettings& settings, const std::string& extension);
// Routes an outbox file by the first character of its name through ServiceIndex; the outputs
// stay empty when no service matches (service is left as passed then).
void LookupService(const std::string& fileName, std::string& service, std::string& email,
                   std::string& webMailSender);
void LookupService(const TSettings& settings, const std::string& fileName, std::string& service,
                   std::string& email, std::string& webMailSender);
// The folder for a received file: the InboxLocations entry of the name's part before the
// first "-" (created when missing), else the Inbox.
void GetInboxFolder(const std::string& fileName, std::string& folder);
void GetInboxFolder(const TSettings& settings, const std::string& fileName, std::string& folder);
// The forms without settings read the loaded settings (main thread only).
