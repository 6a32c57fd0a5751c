#pragma once

#include <string>

// Starts commandLine through /bin/sh without waiting. Returns 33 when started; otherwise
// 0, 2 (file not found), 3 (path not found), 11 (not executable) with errorText set.
int RunProgram(const std::string& commandLine, int showMode, std::string& errorText);
