// dovrant-operator-shots DIR: the tray menu, the failed-files window and the log view on a
// throw-away installation, grabbed on the offscreen platform into DIR for the documentation.

#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/failed_files_dlg.h"
#include "app/log_view_dlg.h"
#include "app/operator_tray.h"
#include "app/qt_main_thread.h"
#include "app/so_main.h"
#include "common/base/datetime.h"
#include "common/settings.h"
#include "common/syslog.h"

namespace fs = std::filesystem;

int main(int argc, char* argv[]) {
    if (argc != 2) return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillbern Dovrant");
    const fs::path out = argv[1];

    char templ[] = "/tmp/dovrant-shot-XXXXXX";
    fs::path base = mkdtemp(templ);
    fs::create_directories(base / "DVR");
    std::ofstream(base / "DVR/USER.INI") << "[SYSTEM]\nLOG_LEVEL=2\n[iFile]\nTXT=1\n";
    std::ofstream(base / "DVR/DVR.INI") << "[SYSTEM]\nVERSION=1.0.0\n";
    for (const char* folder : {"INBOX", "OUTBOX", "ERROR"}) fs::create_directories(base / folder);

    TQtMainThreadScope mainThread;
    TMainWindowSetup setup;
    setup.ProgramDir = (base / "DVR").string() + "/";
    setup.ComputerName = "DEMO";
    Tso_frmMain window(std::move(setup));
    window.Timer_Send->SetEnabled(false);

    // A morning's work with two failures, as the log and the Error folder show them.
    const std::string error = ProgramInfo.ErrorPath;
    const std::string outbox = ProgramInfo.OutboxPath;
    WriteLog("Send thread execute", 1);
    WriteLog("Send: Unable to send " + outbox + "A2041.TXT.  Sender: demo@example.com. " +
                 "Receiver E-mail or WebMailSender not found",
             1);
    WriteLog("Move file: A2041.TXT to " + error, 1);
    std::ofstream(error + "A2041.TXT") << std::string(2310, 'x');
    WriteLog("Send: " + outbox + "B17.TXT successfully sent. Sender: demo@example.com", 1);
    WriteLog("Send finish", 1);
    WriteLog("Recv: Receive mails for demo@example.com", 1);
    WriteLog("Recv: 2 mails in mailbox.", 1);
    WriteLog("  Message ID := <7713@mail.example>", 2);
    WriteLog("Receive: Unable to create directory: '/srv/dovrant/INBOX/ORD/'", 1);
    WriteLog("Recv: The received message could not be stored and was moved to " + error +
                 "RECV_20261209093012_7713.eml",
             1);
    std::ofstream(error + "RECV_20261209093012_7713.eml") << std::string(5120, 'm');
    WriteLog("Receive: 2 message(s) was/were received.", 1);
    WriteLog("Receive finish", 1);
    window.show();

    int result = 1;
    QTimer::singleShot(300, [&] {
        result = 0;
        window.Tray->Menu->popup(window.geometry().center());
        QApplication::processEvents();
        if (!window.Tray->Menu->grab().save(
                QString::fromStdString((out / "tray-menu.png").string())))
            result = 1;
        window.Tray->Menu->hide();

        TFailedFilesDlg failed(&window, ProgramInfo.ErrorPath, ProgramInfo.OutboxPath,
                               ProgramInfo.LogPath);
        failed.List->topLevelItem(0)->setSelected(true);
        failed.show();
        QApplication::processEvents();
        if (!failed.grab().save(QString::fromStdString((out / "failed-files.png").string())))
            result = 1;
        failed.hide();

        TLogViewDlg log(&window, ProgramInfo.LogPath);
        log.show();
        QApplication::processEvents();
        if (!log.grab().save(QString::fromStdString((out / "log-view.png").string()))) result = 1;
        log.hide();
        window.close();
        app.quit();
    });
    app.exec();
    fs::remove_all(base);
    return result;
}
