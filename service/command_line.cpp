#include "service/command_line.h"

#include <vector>

#include "service/terminal_text.h"

const char* const kBuildVersion = DOVRANT_BUILD_VERSION;

namespace {

struct TOptionRule {
    const char* Name;
    TRunMode Mode;  // Window for an option that only modifies a mode
    bool TakesDir;
};

const TOptionRule kOptions[] = {
    {"--help", TRunMode::Help, false},       {"-h", TRunMode::Help, false},
    {"--version", TRunMode::Version, false}, {"--headless", TRunMode::Headless, false},
    {"--init", TRunMode::Init, true},        {"--status", TRunMode::Status, true},
    {"--dir", TRunMode::Window, true},       {"--history", TRunMode::History, true},
};

// The options of --history that take a value, and --verify, which names a file.
const char* const kValueOptions[] = {"--since",   "--until",     "--name",
                                     "--partner", "--direction", "--verify"};

// Applies a value option; an error text when its value is none it takes.
std::string TakeValue(const std::string& option, const std::string& value, TCommandLine& line) {
    THistoryFilter& filter = line.Filter;
    if (option == "--since" && !ParseHistoryTime(value, false, filter.Since))
        return "--since needs a date (YYYY-MM-DD[ hh:mm[:ss]])";
    if (option == "--until" && !ParseHistoryTime(value, true, filter.Until))
        return "--until needs a date (YYYY-MM-DD[ hh:mm[:ss]])";
    if (option == "--name") filter.Name = value;
    if (option == "--partner") filter.Partner = value;
    if (option == "--direction") {
        THistoryDirection direction;
        if (!HistoryDirectionFromText(value, direction)) return "--direction takes send or receive";
        filter.Direction = direction;
    }
    if (option == "--verify") line.VerifyFile = value;
    return "";
}

}  // namespace

const char* ProgramName(TProgram program) {
    return program == TProgram::Daemon ? "quillbern-dovrantd" : "quillbern-dovrant";
}

TCommandLine ParseCommandLine(int argc, const char* const argv[], TProgram program) {
    auto Fail = [program](const std::string& text) {
        TCommandLine failed;
        failed.Mode = TRunMode::Error;
        // One line on a terminal or in a journal: an argument's control characters are shown
        // as \xNN, never passed on.
        failed.Error =
            std::string(ProgramName(program)) + ": " + TerminalText(text) + " (see --help)";
        return failed;
    };
    TCommandLine result;
    if (program == TProgram::Daemon) result.Mode = TRunMode::Headless;
    bool modeGiven = false;
    bool help = false;
    bool version = false;
    bool dirGiven = false;
    bool filtered = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const auto equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
                hasInlineValue = true;
            }
        }
        if (arg == "--failed" || arg == "--json") {
            if (hasInlineValue) return Fail(arg + " takes no value");
            (arg == "--json" ? result.Json : result.Filter.FailedOnly) = true;
            filtered = true;
            continue;
        }
        bool valueOption = false;
        for (const char* option : kValueOptions) valueOption = valueOption || arg == option;
        if (valueOption) {
            if (!hasInlineValue) {
                if (i + 1 >= argc || !argv[i + 1]) return Fail(arg + " needs a value");
                value = argv[++i];
            }
            if (value.empty()) return Fail(arg + " needs a value");
            const std::string error = TakeValue(arg, value, result);
            if (!error.empty()) return Fail(error);
            filtered = filtered || arg != "--verify";
            continue;
        }
        const TOptionRule* rule = nullptr;
        for (const auto& option : kOptions)
            if (arg == option.Name) rule = &option;
        if (!rule) {
            if (arg.empty() || arg[0] != '-') return Fail("unexpected argument '" + arg + "'");
            return Fail("unknown option '" + arg + "'");
        }
        if (rule->TakesDir) {
            if (!hasInlineValue) {
                if (i + 1 >= argc || !argv[i + 1]) return Fail(arg + " needs a folder");
                value = argv[++i];
            }
            if (value.empty()) return Fail(arg + " needs a folder");
            if (dirGiven) return Fail("a folder is given twice");
            dirGiven = true;
            result.Dir = value;
        } else if (hasInlineValue) {
            return Fail(arg + " takes no value");
        }
        switch (rule->Mode) {
            case TRunMode::Help:
                help = true;
                break;
            case TRunMode::Version:
                version = true;
                break;
            case TRunMode::Window:
                break;
            default:
                if (modeGiven)
                    return Fail("--headless, --init, --status and --history exclude each other");
                modeGiven = true;
                result.Mode = rule->Mode;
        }
    }
    if (!result.VerifyFile.empty()) {
        if (modeGiven && result.Mode != TRunMode::History)
            return Fail("--verify goes with --history or --dir only");
        result.Mode = TRunMode::Verify;
    } else if (filtered && result.Mode != TRunMode::History) {
        return Fail(
            "--since, --until, --name, --partner, --direction, --failed and --json go "
            "with --history");
    }
    // Help and version answer whatever else was asked.
    if (help)
        result.Mode = TRunMode::Help;
    else if (version)
        result.Mode = TRunMode::Version;
    return result;
}

std::string HelpText(TProgram program) {
    const std::string usage =
        program == TProgram::Daemon
            ? "Usage: quillbern-dovrantd [--dir DIR]             run the gateway without a window\n"
              "       quillbern-dovrantd --init DIR              lay out a new installation in "
              "DIR\n"
              "       quillbern-dovrantd --status DIR            report the gateway's status\n"
              "       quillbern-dovrantd --history DIR [FILTERS] search the transfer history\n"
              "       quillbern-dovrantd --verify FILE [--dir DIR] was FILE ever sent or "
              "received?\n"
              "       quillbern-dovrantd --version | --help\n"
            : "Usage: quillbern-dovrant [--dir DIR]              start the gateway window\n"
              "       quillbern-dovrant --headless [--dir DIR]   run the gateway without a window\n"
              "       quillbern-dovrant --init DIR               lay out a new installation in "
              "DIR\n"
              "       quillbern-dovrant --status DIR             report the gateway's status\n"
              "       quillbern-dovrant --history DIR [FILTERS]  search the transfer history\n"
              "       quillbern-dovrant --verify FILE [--dir DIR] was FILE ever sent or received?\n"
              "       quillbern-dovrant --version | --help\n";
    const char* headless =
        program == TProgram::Daemon
            ? "  --headless     the daemon always runs so; accepted as the window program takes "
              "it.\n"
              "                 Questions take their default answer and are logged; every line\n"
              "                 the log keeps at level 1 also goes to standard error (the\n"
              "                 journal, under systemd). SIGTERM or SIGINT closes down once a\n"
              "                 running transfer ends; a second signal ends at once. SIGUSR1\n"
              "                 receives now and sends what the Outbox holds.\n"
            : "  --headless     run the schedule, the transfers, housekeeping and the log without\n"
              "                 a window, for a service. Questions take their default answer and\n"
              "                 are logged; SIGTERM or SIGINT closes down as closing the window\n"
              "                 would (after a running transfer ends; a second signal ends at "
              "once).\n"
              "                 SIGUSR1 receives now and sends what the Outbox holds.\n";
    return usage +
           "\n"
           "Options:\n"
           "  --dir DIR      the installation to run: the program folder holding USER.INI and\n"
           "                 DVR.INI, or a folder whose DVR/ sub-folder holds them. The data\n"
           "                 folders (INBOX, OUTBOX, SENTBOX, ERROR, LOG, TEMP) live in the\n"
           "                 program folder's parent. Default: the folder of the program file,\n"
           "                 or ~/quillbern-dovrant when that holds no USER.INI.\n" +
           headless +
           "  --init DIR     make DIR/DVR/ with USER.INI and DVR.INI templates and the data\n"
           "                 folders under DIR; DIR must be missing or empty.\n"
           "  --status DIR   print the status the gateway keeps in LOG/status.json of the\n"
           "                 installation DIR (as for --dir). Exit status 0 when healthy, 1 when\n"
           "                 attention is needed: files in the Error folder, a failed last send\n"
           "                 or receive, a gateway that stopped, a status older than 10 minutes\n"
           "                 or none at all.\n"
           "  --history DIR  print the transfer history the gateway keeps in LOG/history.db of\n"
           "                 the installation DIR (as for --dir), newest first. Filters:\n"
           "                 --since DATE, --until DATE (YYYY-MM-DD[ hh:mm[:ss]]; a date alone\n"
           "                 up to the end of that day), --name PATTERN (* and ?, any case),\n"
           "                 --partner TEXT (part of the address), --direction send|receive,\n"
           "                 --failed (only what did not simply go or arrive). --json prints\n"
           "                 one JSON object a line instead of a table.\n"
           "  --verify FILE  tell whether a file with exactly the bytes of FILE was ever sent or\n"
           "                 received, and when. Exit status 0 when it was, 1 when not.\n"
           "  --version      print the program's version and the installation's DVR.INI version.\n"
           "  --help         print this text.\n"
           "\n"
           "An unknown option ends the program with exit status 2; a gateway that cannot start\n"
           "(its lock file or its log cannot be written) ends with exit status 1 and one line\n"
           "on standard error; when another copy runs, it ends at once with exit status 0.\n";
}

std::string VersionText(const std::string& programDir, const std::string& installedVersion,
                        TProgram program) {
    std::string text = std::string(ProgramName(program)) + " " + kBuildVersion + "\n";
    if (installedVersion.empty())
        text += "installation version: unknown (no VERSION in " + programDir + "DVR.INI)\n";
    else
        text += "installation version: " + installedVersion + " (" + programDir + "DVR.INI)\n";
    return text;
}
