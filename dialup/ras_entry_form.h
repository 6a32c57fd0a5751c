#pragma once

// The fields of our phone-book entry dialog as texts, and their check before an entry is
// saved. The dialog (dialogs/ras_entry_dlg) only moves texts between these and its widgets.

#include <string>

#include "dialup/ras_phonebook.h"

struct TRasEntryForm {
    std::string Name;
    bool CommandLine = false;  // else the simulated line
    std::string PhoneNumber, UserName, Password, Domain;
    bool SavePassword = false;
    std::string UpCommand, DownCommand, StatusCommand, StatusUpText;
    std::string CommandTimeout = "60";  // seconds
    bool PasswordByEnvironment = false;
    std::string SimStates, SimResults = "connected", SimError = "0", SimDropAfter = "0",
                           SimHangUpMs = "0";
};

TRasEntryForm RasEntryFormOf(const TRasEntry& entry);

// Fills entry from form: an empty text, or the first problem found (for the operator). isNew:
// the name must not be taken yet.
std::string ReadRasEntryForm(const TRasEntryForm& form, bool isNew, TRasEntry& entry);
