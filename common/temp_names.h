#pragma once

#include <string>

// A unique new name "~qbXXXX.tmp" in folder (the file is created exclusively, then deleted).
// Raises std::runtime_error when the folder cannot hold it.
std::string MakeTempFileName(const std::string& folder);
// A folder name (at most 8 characters) in folder that does not exist yet; not created.
std::string MakeTempDirName(const std::string& folder);
// A new, empty folder "~qbXXXX" made in folder at once (nothing else is created there on
// the way, so a killed run leaves at most the folder); its path, ending with "/". Raises
// std::runtime_error with the cause when it cannot be made.
std::string MakeTempDir(const std::string& folder);
