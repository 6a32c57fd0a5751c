#pragma once

// Certificate fingerprints as operators copy them from tools and browsers.

#include <string>

// A SHA-256 fingerprint as 64 lower-case hex digits, from a text with or without colons,
// blanks or an upper case; empty when the text is no such fingerprint.
std::string NormalizeFingerprint(const std::string& text);
