#include "dialup/ras_phonebook.h"

#include <mutex>
#include <sstream>

#include "common/base/profile.h"
#include "common/base/text.h"
#include "common/password.h"
#include "common/settings.h"
#include "dialup/ras.h"

namespace {

const char* const kEntries = "Entries";

std::mutex& PhonebookMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& PhonebookOverride() {
    static std::string fileName;
    return fileName;
}

TRasEntryEditor& Editor() {
    static TRasEntryEditor editor;
    return editor;
}

struct TOutcomeName {
    TSimOutcome outcome;
    const char* name;
};
constexpr TOutcomeName kOutcomeNames[] = {
    {TSimOutcome::Connected, "connected"}, {TSimOutcome::Busy, "busy"},
    {TSimOutcome::NoAnswer, "no answer"},  {TSimOutcome::Error, "error"},
    {TSimOutcome::Fail, "fail"},           {TSimOutcome::Never, "never"},
};

// The listed name that matches name without regard to case; empty when none.
std::string ListedName(const TIniFile& ini, const std::string& name) {
    TStringList values;
    ini.ReadSectionValues(kEntries, values);
    for (std::size_t i = 0; i < values.Count(); ++i)
        if (SameText(values.Names(i), name) && Trim(values.ValueFromIndex(i)) != "0")
            return values.Names(i);
    return {};
}

}  // namespace

void SetRasPhonebookFile(const std::string& fileName) {
    std::lock_guard<std::mutex> lock(PhonebookMutex());
    PhonebookOverride() = fileName;
}

std::string RasPhonebookFile() {
    std::lock_guard<std::mutex> lock(PhonebookMutex());
    if (!PhonebookOverride().empty()) return PhonebookOverride();
    return ProgramDir + kPhonebookFileName;
}

bool ValidRasEntryName(const std::string& name) {
    if (name.empty() || name.size() > RAS_MaxEntryName) return false;
    if (name.find_first_of("[]=") != std::string::npos) return false;
    if (name.front() == ';' || static_cast<unsigned char>(name.front()) <= ' ' ||
        static_cast<unsigned char>(name.back()) <= ' ')
        return false;
    for (const char c : name)
        if (c == '\r' || c == '\n') return false;
    return true;
}

unsigned ReadRasEntry(const std::string& name, TRasEntry& entry) {
    try {
        const TIniFile ini(RasPhonebookFile());
        const std::string listed = ListedName(ini, name);
        if (listed.empty()) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        TRasEntry e;
        e.Name = listed;
        e.Line = SameText(ini.ReadString(listed, "LINE", "simulated"), "command")
                     ? TRasLineKind::Command
                     : TRasLineKind::Simulated;
        e.PhoneNumber = ini.ReadString(listed, "PHONE_NUMBER", "");
        e.UserName = ini.ReadString(listed, "USER_NAME", "");
        e.Password = ReadPassword(ini, listed, "PASSWORD");
        e.PasswordSaved = !e.Password.empty();
        e.Domain = ini.ReadString(listed, "DOMAIN", "");
        ParseSimStates(ini.ReadString(listed, "SIM_STATES", ""), e.SimStates);
        if (!ParseSimResults(ini.ReadString(listed, "SIM_RESULTS", "connected"), e.SimResults))
            e.SimResults = {TSimOutcome::Connected};
        e.SimError = static_cast<unsigned>(ini.ReadInteger(listed, "SIM_ERROR", 0));
        e.SimDropAfter = ini.ReadInteger(listed, "SIM_DROP_AFTER", 0);
        e.SimHangUpMs = ini.ReadInteger(listed, "SIM_HANGUP_MS", 0);
        e.UpCommand = ini.ReadString(listed, "UP_COMMAND", "");
        e.DownCommand = ini.ReadString(listed, "DOWN_COMMAND", "");
        e.StatusCommand = ini.ReadString(listed, "STATUS_COMMAND", "");
        e.StatusUpText = ini.ReadString(listed, "STATUS_UP_TEXT", "");
        e.CommandTimeout = ini.ReadInteger(listed, "COMMAND_TIMEOUT", 60);
        e.PasswordByEnvironment =
            SameText(ini.ReadString(listed, "PASSWORD_INPUT", "stdin"), "env");
        entry = std::move(e);
        return ERROR_SUCCESS;
    } catch (const EIniFileError&) {
        return ERROR_CANNOT_OPEN_PHONEBOOK;
    }
}

unsigned WriteRasEntry(const TRasEntry& entry) {
    if (!ValidRasEntryName(entry.Name)) return ERROR_INVALID_NAME;
    try {
        TIniFile ini(RasPhonebookFile(), TIniAccess::OwnerOnly);
        std::string name = ListedName(ini, entry.Name);
        if (name.empty()) {
            name = entry.Name;
            ini.WriteString(kEntries, name, "1");
        }
        ini.WriteString(name, "LINE",
                        entry.Line == TRasLineKind::Command ? "command" : "simulated");
        ini.WriteString(name, "PHONE_NUMBER", entry.PhoneNumber);
        ini.WriteString(name, "USER_NAME", entry.UserName);
        // A password not saved is overwritten with an empty one; the key stays as the mark
        // of "saved" only when it holds one.
        if (entry.PasswordSaved)
            WritePassword(ini, name, "PASSWORD", entry.Password);
        else if (ini.ValueExists(name, "PASSWORD"))
            ini.WriteString(name, "PASSWORD", "");
        ini.WriteString(name, "DOMAIN", entry.Domain);
        ini.WriteString(name, "SIM_STATES", SimStatesText(entry.SimStates));
        ini.WriteString(name, "SIM_RESULTS", SimResultsText(entry.SimResults));
        ini.WriteInteger(name, "SIM_ERROR", static_cast<int>(entry.SimError));
        ini.WriteInteger(name, "SIM_DROP_AFTER", entry.SimDropAfter);
        ini.WriteInteger(name, "SIM_HANGUP_MS", entry.SimHangUpMs);
        ini.WriteString(name, "UP_COMMAND", entry.UpCommand);
        ini.WriteString(name, "DOWN_COMMAND", entry.DownCommand);
        ini.WriteString(name, "STATUS_COMMAND", entry.StatusCommand);
        ini.WriteString(name, "STATUS_UP_TEXT", entry.StatusUpText);
        ini.WriteInteger(name, "COMMAND_TIMEOUT", entry.CommandTimeout);
        ini.WriteString(name, "PASSWORD_INPUT", entry.PasswordByEnvironment ? "env" : "stdin");
        return ERROR_SUCCESS;
    } catch (const EIniFileError&) {
        return ERROR_CANNOT_WRITE_PHONEBOOK;
    }
}

unsigned DeleteRasEntry(const std::string& name) {
    try {
        TIniFile ini(RasPhonebookFile(), TIniAccess::OwnerOnly);
        const std::string listed = ListedName(ini, name);
        if (listed.empty()) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        ini.WriteString(kEntries, listed, "0");
        // The stored password goes with the entry.
        if (ini.ValueExists(listed, "PASSWORD")) ini.WriteString(listed, "PASSWORD", "");
        return ERROR_SUCCESS;
    } catch (const EIniFileError&) {
        return ERROR_CANNOT_WRITE_PHONEBOOK;
    }
}

unsigned ListRasEntries(std::vector<std::string>& names) {
    names.clear();
    try {
        const TIniFile ini(RasPhonebookFile());
        TStringList values;
        ini.ReadSectionValues(kEntries, values);
        for (std::size_t i = 0; i < values.Count(); ++i)
            if (Trim(values.ValueFromIndex(i)) != "0") names.push_back(values.Names(i));
        return ERROR_SUCCESS;
    } catch (const EIniFileError&) {
        return ERROR_CANNOT_OPEN_PHONEBOOK;
    }
}

std::string SimStatesText(const std::vector<TSimStep>& steps) {
    std::string text;
    for (const TSimStep& step : steps) {
        if (!text.empty()) text += ' ';
        text += std::to_string(step.state) + "/" + std::to_string(step.delayMs);
    }
    return text;
}

bool ParseSimStates(const std::string& text, std::vector<TSimStep>& steps) {
    std::vector<TSimStep> parsed;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        const auto slash = word.find('/');
        TSimStep step;
        if (slash == std::string::npos || !TryStrToInt(word.substr(0, slash), step.state) ||
            !TryStrToInt(word.substr(slash + 1), step.delayMs) || step.delayMs < 0)
            return false;
        parsed.push_back(step);
    }
    steps = std::move(parsed);
    return true;
}

std::string SimResultsText(const std::vector<TSimOutcome>& results) {
    std::string text;
    for (const TSimOutcome outcome : results)
        for (const TOutcomeName& n : kOutcomeNames)
            if (n.outcome == outcome) text += (text.empty() ? "" : ",") + std::string(n.name);
    return text;
}

bool ParseSimResults(const std::string& text, std::vector<TSimOutcome>& results) {
    std::vector<TSimOutcome> parsed;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string word = Trim(text.substr(start, comma - start));
        bool known = false;
        for (const TOutcomeName& n : kOutcomeNames)
            if (SameText(word, n.name)) parsed.push_back(n.outcome), known = true;
        if (!known) return false;
        start = comma + 1;
    }
    if (parsed.empty()) return false;
    results = std::move(parsed);
    return true;
}

void SetRasEntryEditor(TRasEntryEditor editor) { Editor() = std::move(editor); }
TRasEntryEditor RasEntryEditor() { return Editor(); }
