// quillbern-dovrantd: the gateway without a window and without any toolkit, for a service
// manager. One copy per computer; another copy running ends this one silently with exit
// code 0, a start that cannot run ends with exit code 1 and one line on standard error.

#include "common/base/stop_signals.h"
#include "service/headless.h"
#include "service/program_start.h"

int main(int argc, char* argv[]) {
    // Taken by one watching thread later on; every thread started from here inherits this.
    BlockStopSignals();
    const TCommandLine commandLine = ParseCommandLine(argc, argv, TProgram::Daemon);
    TStartLocks locks;
    if (const auto done = StartProgram(TProgram::Daemon, commandLine, locks)) return *done;
    return RunHeadless(locks, TProgram::Daemon);
}
