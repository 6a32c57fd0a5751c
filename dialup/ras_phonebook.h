#pragma once

// The phone book of the remote-access service: a profile file of our own (by default
// DIALUP.PBK beside USER.INI). Section "Entries" lists the entry names (value 1; 0 once
// deleted), in the order they were made; each entry has a section of its own:
//
//   [Office ISP]
//   LINE=simulated            ; or command
//   PHONE_NUMBER=5551234
//   USER_NAME=dovrant
//   PASSWORD=...              ; scrambled (EncodeStoredPassword), only when saved
//   DOMAIN=
//   SIM_STATES=0/200 2/1500 14/300   ; states passed, each held for its time in ms
//   SIM_RESULTS=busy,connected       ; outcome of the 1st, 2nd, ... dial; the last repeats
//   SIM_ERROR=691                    ; the code of an "error" or "fail" outcome
//   SIM_DROP_AFTER=0                 ; seconds from connected to dropped (0: never)
//   SIM_HANGUP_MS=0                  ; from hang-up to gone
//   UP_COMMAND=nmcli connection up id Office
//   DOWN_COMMAND=nmcli connection down id Office
//   STATUS_COMMAND=nmcli -t -f GENERAL.STATE connection show Office
//   STATUS_UP_TEXT=activated  ; the status output must hold this text (empty: exit code only)
//   COMMAND_TIMEOUT=60        ; seconds each command may run
//   PASSWORD_INPUT=stdin      ; or env (DOVRANT_PASSWORD); never on the command line

#include <functional>
#include <string>
#include <vector>

enum class TRasLineKind { Simulated, Command };

// What one simulated dial does after passing through its states.
enum class TSimOutcome {
    Connected,  // reaches RASCS_Connected
    Busy,       // disconnected with ERROR_LINE_BUSY
    NoAnswer,   // disconnected with ERROR_NO_ANSWER
    Error,      // disconnected with SimError
    Fail,       // RasDial itself returns SimError
    Never,      // stays in its last state until hung up
};

struct TSimStep {
    int state = 0;
    int delayMs = 0;  // how long the state lasts before the next one
};

struct TRasEntry {
    std::string Name;
    TRasLineKind Line = TRasLineKind::Simulated;
    std::string PhoneNumber;
    std::string UserName;
    std::string Password;  // plain in memory; scrambled in the file
    bool PasswordSaved = false;
    std::string Domain;
    // Simulated line.
    std::vector<TSimStep> SimStates;
    std::vector<TSimOutcome> SimResults{TSimOutcome::Connected};
    unsigned SimError = 0;
    int SimDropAfter = 0;  // seconds
    int SimHangUpMs = 0;
    // Command line.
    std::string UpCommand;
    std::string DownCommand;
    std::string StatusCommand;
    std::string StatusUpText;
    int CommandTimeout = 60;             // seconds
    bool PasswordByEnvironment = false;  // else through standard input
};

// The phone-book file in use: the one set, else DIALUP.PBK in the folder of USER.INI (the
// program folder). Empty text restores the default.
void SetRasPhonebookFile(const std::string& fileName);
std::string RasPhonebookFile();

// A name the phone book can hold: 1 to RAS_MaxEntryName characters, no "[", "]" or "=", not
// starting with ";" or a blank, not ending with a blank.
bool ValidRasEntryName(const std::string& name);
// Reads entry name (found without regard to case; entry.Name as stored): 0,
// ERROR_CANNOT_FIND_PHONEBOOK_ENTRY or ERROR_CANNOT_OPEN_PHONEBOOK.
unsigned ReadRasEntry(const std::string& name, TRasEntry& entry);
// Writes the whole entry (made when new): 0, ERROR_INVALID_NAME or
// ERROR_CANNOT_WRITE_PHONEBOOK.
unsigned WriteRasEntry(const TRasEntry& entry);
// Takes the entry out of the list: 0 or ERROR_CANNOT_FIND_PHONEBOOK_ENTRY.
unsigned DeleteRasEntry(const std::string& name);
// The names listed, in order: 0 or ERROR_CANNOT_OPEN_PHONEBOOK.
unsigned ListRasEntries(std::vector<std::string>& names);

// The script texts of a simulated entry: "0/200 2/1500" and "busy,no answer,connected".
std::string SimStatesText(const std::vector<TSimStep>& steps);
bool ParseSimStates(const std::string& text, std::vector<TSimStep>& steps);
std::string SimResultsText(const std::vector<TSimOutcome>& results);
bool ParseSimResults(const std::string& text, std::vector<TSimOutcome>& results);

// The editor of RasCreatePhonebookEntryA / RasEditPhonebookEntryA: given the entry (empty for
// a new one), true when the operator saved it (then written). None set: nothing is made.
using TRasEntryEditor = std::function<bool(TRasEntry& entry, bool isNew)>;
void SetRasEntryEditor(TRasEntryEditor editor);
TRasEntryEditor RasEntryEditor();
