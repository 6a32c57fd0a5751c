// The History window on the main window: reached from the File menu and the tray, searching
// as the operator types, sorting by the clicked header, opening the row's folder, and
// following the history when a cycle ends.

#include <QHeaderView>
#include <QTest>
#include <filesystem>

#include "app/operator_tray.h"
#include "common/settings.h"
#include "dialogs/history_dlg.h"
#include "history/history_store.h"
#include "support/history_entry.h"
#include "window_fixture.h"

namespace {

QStringList HistoryColumnTexts(QTreeWidget* list, THistoryColumn column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(static_cast<int>(column));
    return texts;
}

}  // namespace

TEST_F(WindowTest, HistoryWindowSearchesSortsOpensFoldersAndFollowsTheCycles) {
    Open();
    Show();
    const std::string database = ProgramInfo.LogPath + kHistoryFileName;
    WriteFile(ProgramInfo.SentboxPath + "A4711.TXT", "order");
    using D = THistoryDirection;
    using O = THistoryOutcome;
    const std::string acme = "orders@acme.example", beta = "bills@beta.example";
    std::vector<THistoryRow> rows = {
        HistoryEntry("A4711.TXT", 9, 8, D::Send, O::Sent, ProgramInfo.SentboxPath, acme, 5),
        HistoryEntry("B17.TXT", 9, 9, D::Send, O::ToError, ProgramInfo.ErrorPath, acme, 700),
        HistoryEntry("INV-88.pdf", 9, 10, D::Receive, O::Stored, ProgramInfo.InboxPath, beta, 40),
        HistoryEntry("7713", 9, 11, D::Receive, O::LeftInMailbox, "", beta, -1),
    };
    rows[0].Sha256 = std::string(64, 'a');
    THistoryStore(database).Add(rows);

    // From the File menu and the tray, one window however often it is asked for.
    EXPECT_TRUE(window->File1->actions().contains(window->History));
    EXPECT_TRUE(window->Tray->Menu->actions().contains(window->History));
    EXPECT_EQ(window->HistoryWindow(), nullptr);
    window->History->trigger();
    THistoryDlg* history = window->HistoryWindow();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    window->History->trigger();
    EXPECT_EQ(window->HistoryWindow(), history);
    QTreeWidget* list = history->List;
    using C = THistoryColumn;
    EXPECT_EQ(HistoryColumnTexts(list, C::Name),
              QStringList({"7713", "INV-88.pdf", "B17.TXT", "A4711.TXT"}));
    EXPECT_EQ(history->lblResult->text(), "4 rows");

    // The search box and the filters narrow the rows as they change.
    QTest::keyClicks(history->edtSearch, "acme");
    EXPECT_EQ(HistoryColumnTexts(list, C::Name), QStringList({"B17.TXT", "A4711.TXT"}));
    history->chkFailed->setChecked(true);
    EXPECT_EQ(HistoryColumnTexts(list, C::Name), QStringList({"B17.TXT"}));
    EXPECT_EQ(HistoryColumnTexts(list, C::Outcome), QStringList({"to Error"}));
    history->edtSearch->clear();
    history->cmbDirection->setCurrentIndex(2);
    EXPECT_EQ(HistoryColumnTexts(list, C::Name), QStringList({"7713"}));
    history->chkFailed->setChecked(false);
    EXPECT_EQ(HistoryColumnTexts(list, C::Name), QStringList({"7713", "INV-88.pdf"}));
    history->cmbDirection->setCurrentIndex(0);
    // A date it cannot read is said, and nothing is shown as found.
    QTest::keyClicks(history->edtFrom, "9.12.2026");
    QTest::keyClick(history->edtFrom, Qt::Key_Return);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_TRUE(history->lblResult->text().startsWith("From needs a date"));
    history->edtFrom->clear();
    QTest::keyClick(history->edtFrom, Qt::Key_Return);
    EXPECT_EQ(list->topLevelItemCount(), 4);

    // A click on a header sorts by it, largest sizes first; a second click turns the order.
    QHeaderView* header = list->header();
    const int sizeSection = static_cast<int>(C::Size);
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(sizeSection) + 5, header->height() / 2));
    EXPECT_EQ(HistoryColumnTexts(list, C::Size), QStringList({"700", "40", "5", ""}));
    EXPECT_EQ(header->sortIndicatorSection(), sizeSection);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    emit header->sectionClicked(sizeSection);
    EXPECT_EQ(HistoryColumnTexts(list, C::Size), QStringList({"", "5", "40", "700"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    // The chosen row's details, and its folder through the window's way of opening folders.
    EXPECT_FALSE(history->btnShowFolder->isEnabled());
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_TRUE(history->lblDetails->text().contains("SHA-256: " + QString(64, 'a')));
    EXPECT_TRUE(history->lblDetails->text().contains("To: orders@acme.example"));
    ASSERT_TRUE(history->btnShowFolder->isEnabled());
    QTest::mouseClick(history->btnShowFolder, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.back(), ProgramInfo.SentboxPath);
    // A message left in the mailbox is in no folder: said, nothing opened.
    list->setCurrentItem(list->topLevelItem(0));
    emit list->itemActivated(list->currentItem(), 0);
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(history->lblResult->text(), "7713 is in no folder: left in the mailbox.");
    // The file left the folder since: the folder opens, and the window says so.
    list->setCurrentItem(list->topLevelItem(2));
    history->ShowFolder();
    EXPECT_EQ(opened.back(), ProgramInfo.InboxPath);
    EXPECT_EQ(history->lblResult->text(),
              QString::fromStdString("INV-88.pdf is no longer in " + ProgramInfo.InboxPath + "."));

    std::filesystem::remove_all(ProgramInfo.InboxPath);
    history->ShowFolder();
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_TRUE(history->lblResult->text().endsWith("INBOX/ is no longer there."));

    // A cycle ends with new rows: they are shown in the chosen order, the chosen row stays.
    THistoryStore(database).Add(
        {HistoryEntry("C5.TXT", 9, 12, D::Send, O::Sent, ProgramInfo.SentboxPath, acme, 60)});
    window->Controller().CycleEvent(TCycleEvent::SendStarted);
    EXPECT_EQ(list->topLevelItemCount(), 4);
    window->Controller().CycleEvent(TCycleEvent::SendEnded);
    EXPECT_EQ(HistoryColumnTexts(list, C::Size), QStringList({"", "5", "40", "60", "700"}));
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text(static_cast<int>(C::Name)), "INV-88.pdf");
    EXPECT_EQ(history->lblResult->text(), "5 rows");

    // Closed, it is gone; a cycle ending then finds no window to update.
    history->btnClose->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window->HistoryWindow(), nullptr);
    window->Controller().CycleEvent(TCycleEvent::ReceiveEnded);
    window->History->trigger();
    ASSERT_NE(window->HistoryWindow(), nullptr);
    EXPECT_EQ(window->HistoryWindow()->List->topLevelItemCount(), 5);
}
