#pragma once

#include <string>
#include <vector>

#include "common/base/text.h"

// Small file and folder helpers. Folder texts end with "/".

// folder with a trailing "/" appended when missing (empty stays empty).
std::string IncludeTrailingPathDelimiter(const std::string& folder);
// The name without its folder.
std::string ExtractFileName(const std::string& path);
// The folder part, ending with "/" (empty when there is none).
std::string ExtractFilePath(const std::string& path);
// The extension of the name, from its last "." on, dot included; empty when the name part
// has no ".".
std::string ExtractFileExt(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// The names in folder ("." and ".." left out), sorted; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);
// Creates folder with every missing parent; true when it exists afterwards, else errno
// tells why.
bool ForceDirectories(const std::string& folder);
bool DeleteFile(const std::string& path);
