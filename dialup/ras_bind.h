#pragma once

// The run-time binding of the remote-access functions that are looked up by name
// (RasGetEntryProperties). The service's functions are exported under library names, as
// the platform's libraries export them: rasapi32.dll with the "A" forms, and on the oldest
// platforms rnaph.dll with the plain names of the phone-book functions.

#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "dialup/ras.h"

using TRasProc = void (*)();
using TRasExports = std::map<std::string, TRasProc>;

// Raised by GetRasProc with the binding failure's text.
class ERasBindError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Opens a library by name: its exports, or nullptr when it cannot be opened. The default
// opens rasapi32.dll (this service) only; tests install others. nullptr restores it.
using TRasLibraryLoader = std::function<const TRasExports*(const std::string& library)>;
void SetRasLibraryLoader(TRasLibraryLoader loader);

// The address of function name (its base name, without the character-set suffix). Raises
// ERasBindError "Error opening rasapi.dll", "Error opening rnaph.dll" or
// "Function <name> not found!". Only the library is remembered between calls.
TRasProc GetRasProc(const std::string& name);
// Forgets the library (at program end, and between tests).
void ReleaseRasBinding();

// RasGetEntryProperties bound through GetRasProc, called with the same six arguments.
unsigned RasGetEntryProperties(const char* phoneBook, const char* entryName, RASENTRY* entry,
                               unsigned* entrySize, void* deviceInfo, unsigned* deviceInfoSize);
