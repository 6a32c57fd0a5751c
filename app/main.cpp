// quillbern-dovrant: the gateway window, or with --headless the same gateway without one.
// One copy per computer; unless the installation is marked multi-user, one computer per
// installation folder. Every refusal ends silently with exit code 0. The command line is
// read before anything of the toolkit exists.

#include <QApplication>
#include <iostream>

#include "app/qt_main_thread.h"
#include "app/signal_close.h"
#include "app/so_main.h"
#include "common/base/datetime.h"
#include "common/base/stop_signals.h"
#include "common/single_instance.h"
#include "service/command_line.h"
#include "service/headless.h"
#include "service/installation.h"
#include "service/start_locks.h"
#include "service/status_command.h"

int main(int argc, char* argv[]) {
    // Taken by one watching thread later on; every thread started from here inherits this.
    BlockStopSignals();
    const TCommandLine commandLine = ParseCommandLine(argc, argv);
    const std::string programDir =
        commandLine.Dir.empty() ? DefaultProgramDir() : ResolveProgramDir(commandLine.Dir);
    switch (commandLine.Mode) {
        case TRunMode::Error:
            std::cerr << commandLine.Error << std::endl;
            return kUsageExitCode;
        case TRunMode::Help:
            std::cout << HelpText();
            return 0;
        case TRunMode::Version:
            std::cout << VersionText(programDir, InstalledVersion(programDir));
            return 0;
        case TRunMode::Init: {
            const std::string error = InitInstallation(commandLine.Dir);
            if (error.empty()) return 0;
            std::cerr << "quillbern-dovrant: " << error << std::endl;
            return 1;
        }
        case TRunMode::Status:
            return PrintStatus(commandLine.Dir, std::cout, Now());
        case TRunMode::Headless:
        case TRunMode::Window:
            break;
    }
    if (!commandLine.Dir.empty()) {
        const std::string error = CheckProgramDir(programDir);
        if (!error.empty()) {
            std::cerr << "quillbern-dovrant: " << error << std::endl;
            return 1;
        }
    }

    TStartLocks locks;
    if (!AcquireStartLocks(programDir, locks)) return 0;
    if (commandLine.Mode == TRunMode::Headless) return RunHeadless(locks);

    QApplication app(argc, argv);
    // The title of message boxes. No display name: the platform would append it to the caption.
    QApplication::setApplicationName("Quillbern Dovrant");
    TQtMainThreadScope mainThread;
    // Before anything can show a box: a stop during start-up must not wait for an answer.
    TSignalClose signalClose;
    TMainWindowSetup setup;
    setup.ProgramDir = locks.ProgramDir;
    setup.ComputerName = locks.ComputerName;
    setup.LockFile = locks.LockFile ? locks.LockFile.get() : nullptr;
    Tso_frmMain window(std::move(setup));
    if (signalClose.TerminationRequested()) {
        // Stopped while the start-up still ran: close down without showing the window.
        window.close();
        return 0;
    }
    signalClose.CloseThrough(window);
    window.show();
    return app.exec();
}
