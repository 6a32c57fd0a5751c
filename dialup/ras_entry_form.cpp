#include "dialup/ras_entry_form.h"

#include "common/base/text.h"

TRasEntryForm RasEntryFormOf(const TRasEntry& entry) {
    TRasEntryForm form;
    form.Name = entry.Name;
    form.CommandLine = entry.Line == TRasLineKind::Command;
    form.PhoneNumber = entry.PhoneNumber;
    form.UserName = entry.UserName;
    form.Password = entry.PasswordSaved ? entry.Password : std::string();
    form.SavePassword = entry.PasswordSaved;
    form.Domain = entry.Domain;
    form.UpCommand = entry.UpCommand;
    form.DownCommand = entry.DownCommand;
    form.StatusCommand = entry.StatusCommand;
    form.StatusUpText = entry.StatusUpText;
    form.CommandTimeout = std::to_string(entry.CommandTimeout);
    form.PasswordByEnvironment = entry.PasswordByEnvironment;
    form.SimStates = SimStatesText(entry.SimStates);
    form.SimResults = SimResultsText(entry.SimResults);
    form.SimError = std::to_string(entry.SimError);
    form.SimDropAfter = std::to_string(entry.SimDropAfter);
    form.SimHangUpMs = std::to_string(entry.SimHangUpMs);
    return form;
}

namespace {

// A whole number from lo to hi, else a problem text naming the field.
std::string ReadNumber(const std::string& text, const char* field, int lo, int hi, int& value) {
    int number = 0;
    if (!TryStrToInt(Trim(text), number) || number < lo || number > hi)
        return std::string(field) + " must be a whole number from " + std::to_string(lo) + " to " +
               std::to_string(hi) + ".";
    value = number;
    return "";
}

}  // namespace

std::string ReadRasEntryForm(const TRasEntryForm& form, bool isNew, TRasEntry& entry) {
    const std::string name = form.Name;
    if (!ValidRasEntryName(name))
        return "The entry name must have 1 to 256 characters, without [ ] or =, must not start "
               "with ; or a blank and must not end with a blank.";
    TRasEntry existing;
    if (isNew && ReadRasEntry(name, existing) == 0)
        return "An entry named " + name + " already exists.";
    entry.Name = name;
    entry.Line = form.CommandLine ? TRasLineKind::Command : TRasLineKind::Simulated;
    entry.PhoneNumber = Trim(form.PhoneNumber);
    entry.UserName = Trim(form.UserName);
    entry.PasswordSaved = form.SavePassword && !form.Password.empty();
    entry.Password = entry.PasswordSaved ? form.Password : std::string();
    entry.Domain = Trim(form.Domain);
    if (form.CommandLine) {
        entry.UpCommand = Trim(form.UpCommand);
        entry.DownCommand = Trim(form.DownCommand);
        entry.StatusCommand = Trim(form.StatusCommand);
        entry.StatusUpText = form.StatusUpText;
        if (entry.UpCommand.empty() || entry.DownCommand.empty() || entry.StatusCommand.empty())
            return "A command line needs the commands that bring it up, take it down and "
                   "report its state.";
        if (auto problem = ReadNumber(form.CommandTimeout, "The command time limit", 1, 3600,
                                      entry.CommandTimeout);
            !problem.empty())
            return problem;
        entry.PasswordByEnvironment = form.PasswordByEnvironment;
        return "";
    }
    if (!ParseSimStates(form.SimStates, entry.SimStates))
        return "The states must read like \"0/200 2/1500\": a state and its time in "
               "milliseconds.";
    if (!ParseSimResults(form.SimResults, entry.SimResults))
        return "The outcomes must be a list such as \"busy,connected\".";
    int error = 0;
    if (auto problem = ReadNumber(form.SimError, "The error code", 0, 65535, error);
        !problem.empty())
        return problem;
    entry.SimError = static_cast<unsigned>(error);
    if (auto problem = ReadNumber(form.SimDropAfter, "The drop time", 0, 86400, entry.SimDropAfter);
        !problem.empty())
        return problem;
    return ReadNumber(form.SimHangUpMs, "The hang-up time", 0, 600000, entry.SimHangUpMs);
}
