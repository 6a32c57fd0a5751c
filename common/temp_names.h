#pragma once

#include <string>

// A unique new name "~qbXXXX.tmp" in folder (the file is created exclusively, then deleted).
// Raises std::runtime_error when the folder cannot hold it.
std::string MakeTempFileName(const std::string& folder);
// A folder name (at most 8 characters) in folder that does not exist yet; not created.
std::string MakeTempDirName(const std::string& folder);
