#pragma once

#include <string>

// Text read from a file others may write (names of files, failures) as a terminal can show it
// without being steered: control characters (C0, DEL, C1), the characters that break lines or
// turn their direction, and bytes that are no UTF-8 are written as \xNN, byte by byte.
std::string TerminalText(const std::string& text);
