// The operator's extras on the offscreen platform: the failed-files window and its actions,
// the log view, the tray's menu, state and notifications, and the keyboard.

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <set>

#include "app/failed_files_dlg.h"
#include "app/log_view_dlg.h"
#include "app/operator_tray.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/syslog.h"
#include "dialogs/qt_text.h"
#include "operator/cycle_monitor.h"
#include "support/temp_dir.h"
#include "transfer/received_record.h"
#include "window_fixture.h"

namespace {

QStringList Names(QTreeWidget* list) {
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i) names << list->topLevelItem(i)->text(0);
    return names;
}

void Select(QTreeWidget* list, const QStringList& names) {
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (names.contains(list->topLevelItem(i)->text(0)))
            list->topLevelItem(i)->setSelected(true);
}

const char* const kStorableMail =
    "From: Service <service@x.y>\r\nSubject: orders\r\nMessage-ID: <m1@x.y>\r\n"
    "Content-Type: multipart/mixed; boundary=\"BND\"\r\n\r\n"
    "--BND\r\nContent-Type: text/plain\r\n\r\nx\r\n"
    "--BND\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"ORD-7.TXT\"\r\n\r\naGVsbG8=\r\n--BND--\r\n";

TEST_F(WindowTest, FailedFilesWindowRetriesOpensAndDeletes) {
    Open();
    const std::string error = ProgramInfo.ErrorPath;
    const std::string outbox = ProgramInfo.OutboxPath;
    WriteFile(error + "A1.TXT", "first");
    WriteFile(error + "B2.TXT", "second");
    WriteFile(error + "C3.TXT", "third");
    WriteFile(error + "RECV_20261209100000_7.eml", kStorableMail);
    // The receive side's record tells the message from an outgoing file of such a name.
    WriteReceivedRecord(error + "RECV_20261209100000_7.eml", "7",
                        std::string(kStorableMail).size());
    WriteFile(outbox + "A1.TXT", "another file of the name");
    WriteLog("Send: Unable to send " + outbox + "A1.TXT.  Sender: a@b. Receiver not found", 1);
    WriteLog("Move file: A1.TXT to " + error, 1);

    TFailedFilesDlg dialog(window.get(), error, outbox, ProgramInfo.LogPath);
    std::vector<std::string> opened;
    int changes = 0;
    dialog.Opener = [&](const std::string& path) { opened.push_back(path); };
    dialog.FilesChanged = [&] { ++changes; };
    dialog.show();
    EXPECT_EQ(Names(dialog.List),
              QStringList({"A1.TXT", "B2.TXT", "C3.TXT", "RECV_20261209100000_7.eml"}));
    EXPECT_EQ(dialog.List->topLevelItem(0)->text(3),
              QText("Send: Unable to send " + outbox + "A1.TXT.  Sender: a@b. Receiver not found"));
    EXPECT_EQ(dialog.List->topLevelItem(0)->text(1), "5 B");
    EXPECT_FALSE(dialog.btnRetry->isEnabled()) << "nothing selected yet";

    // Retry of a file and a received message: the file goes back beside the one of its name,
    // the message is stored into the Inbox.
    Select(dialog.List, {"A1.TXT", "RECV_20261209100000_7.eml"});
    QTest::mouseClick(dialog.btnRetry, Qt::LeftButton);
    EXPECT_EQ(Names(dialog.List), QStringList({"B2.TXT", "C3.TXT"}));
    EXPECT_EQ(ReadFile(outbox + "A1.TXT"), "another file of the name");
    EXPECT_EQ(ReadFile(outbox + "A1_1.TXT"), "first");
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "ORD-7.TXT"), "hello");
    EXPECT_EQ(dialog.lblResult->text(),
              "A1.TXT is back in the Outbox as A1_1.TXT.\n"
              "RECV_20261209100000_7.eml was stored again.");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(
        Logged("Retry: A1.TXT moved from the Error folder to the Outbox as A1_1.TXT, "
               "since a file of that name is already there"));

    // Open takes one file; Show in Folder the folder.
    Select(dialog.List, {"C3.TXT"});
    QTest::mouseClick(dialog.btnOpen, Qt::LeftButton);
    QTest::mouseClick(dialog.btnShowFolder, Qt::LeftButton);
    EXPECT_EQ(opened, (std::vector<std::string>{error + "C3.TXT", error}));
    Select(dialog.List, {"B2.TXT", "C3.TXT"});
    EXPECT_FALSE(dialog.btnOpen->isEnabled());

    // Delete asks once for the selection; declined, nothing goes.
    view.answers = {TMsgAnswer::No, TMsgAnswer::Yes};
    QTest::mouseClick(dialog.btnDelete, Qt::LeftButton);
    EXPECT_EQ(Names(dialog.List), QStringList({"B2.TXT", "C3.TXT"}));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Delete 2 files from the Error folder?");
    EXPECT_EQ(view.boxes[0].buttons, TMsgButtons::YesNo);
    // The Delete key does the same from the list.
    dialog.activateWindow();
    dialog.List->setFocus();
    QTest::keyClick(dialog.List, Qt::Key_Delete);
    EXPECT_TRUE(Names(dialog.List).isEmpty());
    EXPECT_TRUE(FolderNames(error).empty());
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(Logged("Delete file: B2.TXT from the Error folder"));

    // A file another program put there meanwhile appears on Refresh.
    WriteFile(error + "D4.TXT", "d");
    QTest::mouseClick(dialog.btnRefresh, Qt::LeftButton);
    EXPECT_EQ(Names(dialog.List), QStringList({"D4.TXT"}));
}

TEST_F(WindowTest, FailedFilesOpensFromTheFileMenuAndClearsTheTraysAttention) {
    Open();
    Show();
    WriteFile(ProgramInfo.ErrorPath + "E5.TXT", "e");
    window->Monitor().Event(TCycleEvent::SendStarted);
    WriteFile(ProgramInfo.ErrorPath + "F6.TXT", "f");
    window->Monitor().Event(TCycleEvent::SendEnded);
    window->Tray->Refresh();
    EXPECT_EQ(window->Tray->State(), TTrayState::Attention);
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<TFailedFilesDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        shown = Names(dialog->List);
        dialog->btnClose->click();
    });
    EXPECT_TRUE(window->File1->actions().contains(window->FailedFiles));
    window->FailedFiles->trigger();
    EXPECT_EQ(shown, QStringList({"E5.TXT", "F6.TXT"}));
    EXPECT_EQ(window->Tray->State(), TTrayState::Idle);
}

TEST_F(WindowTest, LogViewFollowsNewLinesFiltersSearchesAndOpensTheFolder) {
    Open();
    TLogViewDlg dialog(window.get(), ProgramInfo.LogPath);
    dialog.PollTimer->stop();  // the test reads at its own pace
    dialog.FolderOpener = [this](const std::string& folder) { opened.push_back(folder); };
    dialog.show();
    const int before = static_cast<int>(dialog.ShownLines().size());
    EXPECT_GT(before, 0) << "this run's settings dump is there already";

    WriteLog("Send: Unable to send /d/OUTBOX/A1.TXT.  Sender: a@b. Receiver not found", 1);
    WriteLog("  Message ID := <x@y>", 2);
    WriteLog("Send finish", 1);
    dialog.Poll();
    QStringList lines = dialog.ShownLines();
    ASSERT_EQ(lines.size(), before + 3);
    EXPECT_TRUE(lines.back().endsWith("] Send finish")) << lines.back().toStdString();
    dialog.Poll();
    EXPECT_EQ(dialog.ShownLines().size(), before + 3) << "each line once";

    // An earlier run of today is shown too, before this one; yesterday's is not.
    WriteFile(ProgramInfo.LogPath + FormatDateTime("yyyymmdd", Date()) + "000000000.log",
              "[x] Early run: Remote connection not available\r\n");
    WriteFile(ProgramInfo.LogPath + FormatDateTime("yyyymmdd", Date() - 1) + "120000000.log",
              "[x] Yesterday failed\r\n");
    dialog.Poll();
    EXPECT_TRUE(dialog.ShownLines().contains("[x] Early run: Remote connection not available"));
    EXPECT_FALSE(dialog.ShownLines().contains("[x] Yesterday failed"));

    dialog.cmbLevel->setCurrentIndex(2);  // problems only
    lines = dialog.ShownLines();
    ASSERT_EQ(lines.size(), 2) << lines.join("|").toStdString();
    EXPECT_TRUE(lines[0].contains("Unable to send"));
    EXPECT_TRUE(lines[1].contains("Early run"));
    dialog.cmbLevel->setCurrentIndex(0);
    QTest::keyClicks(dialog.edtSearch, "message id");
    lines = dialog.ShownLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith("]   Message ID := <x@y>"));
    // New lines pass through the same filter as they come.
    WriteLog("  Message ID := <z@y>", 2);
    WriteLog("Receive finish", 1);
    dialog.Poll();
    EXPECT_EQ(dialog.ShownLines().size(), 2);
    dialog.edtSearch->clear();
    EXPECT_EQ(dialog.ShownLines().size(), before + 6);

    QTest::mouseClick(dialog.btnOpenFolder, Qt::LeftButton);
    EXPECT_EQ(opened, std::vector<std::string>{ProgramInfo.LogPath});

    // Opened after midnight, the view still shows the running program's log.
    TManualClock tomorrow(Date() + 1 + EncodeTime(0, 5, 0, 0));
    SetClock(&tomorrow);
    TLogViewDlg nextDay(window.get(), ProgramInfo.LogPath);
    nextDay.PollTimer->stop();
    SetClock(nullptr);
    EXPECT_TRUE(nextDay.ShownLines().last().endsWith("] Receive finish"));
    EXPECT_FALSE(nextDay.ShownLines().contains("[x] Early run: Remote connection not available"));
}

TEST_F(WindowTest, TrayMenuStateToolTipAndNotificationsFollowTheWindow) {
    Open();
    Show();
    TOperatorTray& tray = *window->Tray;
    QStringList captions;
    for (QAction* action : tray.Menu->actions())
        captions << (action->isSeparator() ? QString("-") : action->text());
    EXPECT_EQ(captions, QStringList({"&Show Window", "-", "&Receive Now", "R&esume Auto Import",
                                     "&Pause Auto Import", "-", "&Open Folder", "&Failed Files...",
                                     "&History...", "-", "E&xit"}));
    // The window's own actions, so their state (Pause or Resume) is the same everywhere.
    EXPECT_TRUE(tray.Menu->actions().contains(window->PauseAutoImport));
    EXPECT_EQ(tray.FolderMenu->actions(),
              QList<QAction*>({window->OpenInbox, window->OpenOutbox, window->OpenError}));
    window->PauseAutoImport->trigger();
    EXPECT_FALSE(window->PauseAutoImport->isVisible());
    EXPECT_TRUE(window->ResumeAutoImport->isVisible());

    window->Controller().ShowCounters({0, 4, 0});
    window->SetText(TMainText::Status, "Next connection time for receive: 2026/12/10 09:30 AM");
    window->Controller().SendIdle = false;
    tray.Refresh();
    window->Controller().SendIdle = true;
    EXPECT_EQ(tray.State(), TTrayState::Sending);
    EXPECT_EQ(tray.ToolTip(),
              "Quillbern Dovrant - Sending\nInbox 0, Outbox 4, Error 0\n"
              "Next connection time for receive: 2026/12/10 09:30 AM");
    DialIdle = false;
    tray.Refresh();
    DialIdle = true;
    EXPECT_EQ(tray.State(), TTrayState::Dialling);

    // A cycle with failures gives one notification; switched off, none, and USER.INI keeps it.
    std::vector<QString> notes;
    tray.NotifySink = [&](const QString&, const QString& body) { notes.push_back(body); };
    window->Monitor().Event(TCycleEvent::ReceiveStarted);
    WriteFile(ProgramInfo.ErrorPath + "RECV_20261209100000_1.eml", "m");
    WriteFile(ProgramInfo.ErrorPath + "RECV_20261209100000_2.eml", "m");
    window->Monitor().Event(TCycleEvent::ReceiveEnded);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0],
              "2 files went to the Error folder: RECV_20261209100000_1.eml, "
              "RECV_20261209100000_2.eml.");
    EXPECT_TRUE(window->Notifications->isChecked());
    window->Notifications->trigger();
    EXPECT_EQ(UserIni->ReadString("SYSTEM", "NOTIFICATIONS", ""), "0");
    EXPECT_EQ(UserIni->ReadString("SYSTEM", "CLOSE_TO_TRAY", ""), "0");
    window->Controller().CycleEvent(TCycleEvent::DialFailed);
    EXPECT_EQ(notes.size(), 1u);
    EXPECT_EQ(tray.State(), TTrayState::Attention);

    // Closing to the tray is on in USER.INI; Exit still closes by the window's rules.
    window->CloseToTray->trigger();
    EXPECT_EQ(UserIni->ReadString("SYSTEM", "CLOSE_TO_TRAY", ""), "1");
    window->Exit1->trigger();
    EXPECT_TRUE(window->ClosedDown());
}

TEST_F(WindowTest, TheSwitchesAreReadFromUserIniWithDefaultsThatKeepTheOldWays) {
    Open();
    EXPECT_TRUE(window->Notifications->isChecked());
    EXPECT_FALSE(window->CloseToTray->isChecked());
    EXPECT_TRUE(window->Monitor().Gate().Enabled());
    window->close();
    window.reset();
    std::string ini = DefaultUserIni();
    ini.insert(ini.find('\n') + 1, "NOTIFICATIONS=0\nCLOSE_TO_TRAY=1\n");
    Open(ini);
    EXPECT_FALSE(window->Notifications->isChecked());
    EXPECT_TRUE(window->CloseToTray->isChecked());
    EXPECT_FALSE(window->Monitor().Gate().Enabled());
}

TEST_F(WindowTest, EveryActionHasItsOwnMnemonicAndTheWindowWorksFromTheKeyboard) {
    Open();
    Show();
    std::vector<QMenu*> menus{window->File1,     window->Tool1,      window->About1,
                              window->PopupMenu, window->Tray->Menu, window->Tray->FolderMenu};
    for (QMenu* menu : menus) {
        std::set<QChar> keys;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) continue;
            const QString text = action->text();
            const qsizetype at = text.indexOf('&');
            ASSERT_TRUE(at >= 0 && at + 1 < text.size()) << text.toStdString();
            // Pause and Resume share a place: only one of them is shown at a time.
            if (!action->isVisible()) continue;
            EXPECT_TRUE(keys.insert(text[at + 1].toLower()).second)
                << menu->title().toStdString() << ": " << text.toStdString();
        }
    }
    for (QWidget* widget : std::initializer_list<QWidget*>{
             window->lblInboxCnt, window->lblOutboxCnt, window->lblErrorCnt, window->lblFileName,
             window->lblReceive, window->StatusPanel0, window->btnInbox, window->ProgressBar_Send})
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();

    // Tab reaches the folder buttons and Space opens the folder.
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->btnOutbox->setFocus();
    QTest::keyClick(window->btnOutbox, Qt::Key_Space);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->btnError);
    QTest::keyClick(window->btnError, Qt::Key_Space);
    EXPECT_EQ(opened, (std::vector<std::string>{ProgramInfo.OutboxPath, ProgramInfo.ErrorPath}));
}

}  // namespace
