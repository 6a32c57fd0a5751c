#include "service/program_start.h"

#include <iostream>

#include "common/base/datetime.h"
#include "service/history_command.h"
#include "service/installation.h"
#include "service/status_command.h"

std::optional<int> StartProgram(TProgram program, const TCommandLine& commandLine,
                                TStartLocks& locks) {
    const std::string name = ProgramName(program);
    const std::string programDir =
        commandLine.Dir.empty() ? DefaultProgramDir() : ResolveProgramDir(commandLine.Dir);
    switch (commandLine.Mode) {
        case TRunMode::Error:
            std::cerr << commandLine.Error << std::endl;
            return kUsageExitCode;
        case TRunMode::Help:
            std::cout << HelpText(program);
            return 0;
        case TRunMode::Version:
            std::cout << VersionText(programDir, InstalledVersion(programDir), program);
            return 0;
        case TRunMode::Init: {
            const std::string error = InitInstallation(commandLine.Dir);
            if (error.empty()) return 0;
            std::cerr << name << ": " << error << std::endl;
            return 1;
        }
        case TRunMode::Status:
            return PrintStatus(commandLine.Dir, std::cout, Now());
        case TRunMode::History:
            return PrintHistory(programDir, commandLine.Filter, commandLine.Json, std::cout,
                                std::cerr);
        case TRunMode::Verify:
            return VerifyFile(programDir, commandLine.VerifyFile, std::cout, std::cerr);
        case TRunMode::Headless:
        case TRunMode::Window:
            break;
    }
    if (!commandLine.Dir.empty()) {
        const std::string error = CheckProgramDir(programDir);
        if (!error.empty()) {
            std::cerr << name << ": " << error << std::endl;
            return 1;
        }
    }
    std::string error;
    switch (AcquireStartLocks(programDir, locks, error)) {
        case TStartLocksResult::Taken:
            return std::nullopt;
        case TStartLocksResult::AnotherCopyRuns:
            return 0;
        case TStartLocksResult::Failed:
            break;
    }
    std::cerr << name << ": " << error << std::endl;
    return 1;
}
