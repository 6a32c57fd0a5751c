// quillbern-dovrant: the gateway window, or with --headless the same gateway without one.
// One copy per computer; unless the installation is marked multi-user, one computer per
// installation folder. Another copy running ends this one silently with exit code 0. The
// command line is read before anything of the toolkit exists.

#include <QApplication>

#include "app/qt_main_thread.h"
#include "app/signal_close.h"
#include "app/so_main.h"
#include "common/base/stop_signals.h"
#include "service/headless.h"
#include "service/program_start.h"

int main(int argc, char* argv[]) {
    // Taken by one watching thread later on; every thread started from here inherits this.
    BlockStopSignals();
    const TCommandLine commandLine = ParseCommandLine(argc, argv);
    TStartLocks locks;
    if (const auto done = StartProgram(TProgram::Window, commandLine, locks)) return *done;
    if (commandLine.Mode == TRunMode::Headless) return RunHeadless(locks, TProgram::Window);

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
