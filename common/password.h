#pragma once

#include <string>

#include "common/base/profile.h"

// The one-byte key of the stored passwords.
constexpr unsigned char PasswordKey = 0x6B;
// Every byte of text XOR-ed with key; the same call scrambles and unscrambles.
std::string ScramblePassword(const std::string& text, unsigned char key);
// The stored form of a password: scrambled with PasswordKey, with the bytes a profile line
// cannot hold written as an escape pair. Use these (or the Read/Write helpers) for every
// password in USER.INI.
std::string EncodeStoredPassword(const std::string& password);
std::string DecodeStoredPassword(const std::string& stored);
std::string ReadPassword(const TIniFile& ini, const std::string& section, const std::string& key);
void WritePassword(TIniFile& ini, const std::string& section, const std::string& key,
                   const std::string& password);
