// dovrant-window-shot OUT.png [ABOUT.png]: the main window on a throw-away installation with
// a few files and a send under way (and the About box), grabbed on the offscreen platform for
// the documentation.

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/qt_main_thread.h"
#include "app/so_main.h"
#include "common/settings.h"
#include "common/window_messages.h"
#include "dialogs/about_dlg.h"

namespace fs = std::filesystem;

int main(int argc, char* argv[]) {
    if (argc != 2 && argc != 3) return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillbern Dovrant");

    char templ[] = "/tmp/dovrant-shot-XXXXXX";
    fs::path base = mkdtemp(templ);
    fs::create_directories(base / "DVR");
    std::ofstream(base / "DVR/USER.INI") << "[SYSTEM]\nLOG_LEVEL=0\n[iFile]\nTXT=1\n";
    std::ofstream(base / "DVR/DVR.INI") << "[SYSTEM]\nVERSION=1.0.0\n";
    for (const char* folder : {"INBOX/ORD", "OUTBOX", "ERROR"})
        fs::create_directories(base / folder);
    for (const char* file : {"INBOX/I2001.TXT", "INBOX/ORD/ORD-17.TXT", "INBOX/ORD/ORD-18.TXT",
                             "OUTBOX/A100.TXT", "OUTBOX/A101.TXT", "ERROR/B7.TXT"})
        std::ofstream(base / file) << "x";

    TQtMainThreadScope mainThread;
    TMainWindowSetup setup;
    setup.ProgramDir = (base / "DVR").string() + "/";
    setup.ComputerName = "DEMO";
    Tso_frmMain window(std::move(setup));
    window.show();
    window.lblFileName->setText("A100.TXT");
    window.Animate_Send->Play();
    PostMainWindowMessage(WM_SENDPROGRESS, 0, 60);
    window.SetText(TMainText::Status, "Next connection time for receive: 2026/12/10 09:30 AM");

    int result = 1;
    QTimer::singleShot(300, [&] {
        result = window.grab().save(argv[1]) ? 0 : 1;
        if (argc == 3) {
            TAboutDlg about(&window);
            about.show();
            QApplication::processEvents();
            if (!about.grab().save(argv[2])) result = 1;
        }
        window.Timer_Send->SetEnabled(false);
        window.close();
        app.quit();
    });
    app.exec();
    fs::remove_all(base);
    return result;
}
