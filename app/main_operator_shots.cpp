// dovrant-operator-shots DIR: the tray menu, the failed-files window, the log view and the
// transfer history on a throw-away installation, grabbed on the offscreen platform into DIR for the
// documentation.

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
#include "history/history_store.h"

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
    // The same morning as the history keeps it, after a week of work.
    std::vector<THistoryRow> rows;
    auto add = [&](const char* name, int day, int hour, int minute, THistoryDirection direction,
                   THistoryOutcome outcome, const std::string& folder, const char* partner,
                   int64_t size, const char* reason) {
        THistoryRow row;
        row.Time = EncodeDate(2026, 12, day) + EncodeTime(hour, minute, 12, 0);
        row.Direction = direction;
        row.Name = row.FinalName = name;
        row.Folder = folder;
        row.Service = "demo@example.com";
        row.Partner = partner;
        row.Size = size;
        row.Sha256 = "5f1c0e9a7d3b42c8e6a1f0b9d87c6e5a4b3c2d1e0f9a8b7c6d5e4f3a2b1c0d9e";
        row.Outcome = outcome;
        row.Reason = reason;
        if (direction == THistoryDirection::Receive) {
            row.MessageId = "7713@mail.example";
            row.Subject = std::string(name).substr(0, 3) == "INV" ? "Invoice" : "Despatch advice";
        }
        rows.push_back(row);
    };
    using D = THistoryDirection;
    using O = THistoryOutcome;
    // Folders as an installation under /srv shows them, not the throw-away one's.
    const std::string sent = "/srv/dovrant/SENTBOX/", inbox = "/srv/dovrant/INBOX/",
                      errors = "/srv/dovrant/ERROR/";
    add("A1980.TXT", 7, 9, 30, D::Send, O::Sent, sent, "orders@acme.example", 1840, "");
    add("INV-3310.EDI", 7, 10, 0, D::Receive, O::Stored, inbox, "billing@beta.example", 6512, "");
    add("A1994.TXT", 8, 9, 30, D::Send, O::Sent, sent, "orders@acme.example", 2210, "");
    add("DESADV-88.EDI", 8, 14, 0, D::Receive, O::Stored, inbox, "ship@acme.example", 3077, "");
    add("B17.TXT", 9, 9, 0, D::Send, O::Sent, sent, "orders@beta.example", 960, "");
    add("A2041.TXT", 9, 9, 30, D::Send, O::ToError, errors, "", 2310,
        "Receiver E-mail or WebMailSender not found");
    add("RECV_20261209093012_7713.eml", 9, 9, 30, D::Receive, O::KeptInError, errors,
        "ship@acme.example", 5120, "Unable to create directory: '/srv/dovrant/INBOX/ORD/'");
    add("INV-3321.EDI", 9, 9, 31, D::Receive, O::Stored, inbox, "billing@beta.example", 7004, "");
    THistoryStore(ProgramInfo.LogPath + kHistoryFileName).Add(rows);
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

        window.History->trigger();
        THistoryDlg* history = window.HistoryWindow();
        history->List->setCurrentItem(history->List->topLevelItem(1));
        QApplication::processEvents();
        if (!history->grab().save(QString::fromStdString((out / "history.png").string())))
            result = 1;
        history->close();
        window.close();
        app.quit();
    });
    app.exec();
    fs::remove_all(base);
    return result;
}
