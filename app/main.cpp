// quillbern-dovrant: the gateway window. One copy per computer; unless the installation is
// marked multi-user, one computer per installation folder. Every refusal ends silently with
// exit code 0.

#include <QApplication>
#include <exception>

#include "app/qt_main_thread.h"
#include "app/signal_close.h"
#include "app/so_main.h"
#include "common/base/profile.h"
#include "common/settings.h"
#include "common/single_instance.h"

int main(int argc, char* argv[]) {
    DeferTerminationSignals();
    // Held until the process ends.
    if (CreateInstanceMutex(InstanceLockPath(kInstanceMutexName)) == TInstanceMutex::AlreadyExists)
        return 0;

    std::string programDir = ProgramFolder();
    try {
        MultiUser = TIniFile(programDir + "USER.INI").ReadBool("SYSTEM", "MULTIUSER", false);
    } catch (const std::exception&) {
        // An unreadable USER.INI is reported by the window's start-up; until then the
        // installation counts as single-user, the safer of the two.
        MultiUser = false;
    }

    // A lock file that cannot be deleted belongs to a copy running on another computer.
    if (SweepStaleLocks(programDir) > 0) return 0;

    std::string computerName = ReadComputerName();
    TLockFile lockFile(programDir + computerName + ".lck");
    if (!MultiUser && !lockFile.Create()) return 0;

    QApplication app(argc, argv);
    // Before anything can show a box: a stop during start-up must not wait for an answer.
    HandleTerminationSignals();
    // The title of message boxes. No display name: the platform would append it to the caption.
    QApplication::setApplicationName("Quillbern Dovrant");
    TQtMainThreadScope mainThread;
    TMainWindowSetup setup;
    setup.ProgramDir = programDir;
    setup.ComputerName = computerName;
    setup.LockFile = MultiUser ? nullptr : &lockFile;
    Tso_frmMain window(std::move(setup));
    if (TerminationRequested()) {
        // Stopped while the start-up still ran: close down without showing the window.
        window.close();
        return 0;
    }
    CloseOnTerminationSignals(&window);
    window.show();
    return app.exec();
}
