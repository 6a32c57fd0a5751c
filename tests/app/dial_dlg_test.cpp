// The dial-up dialogs as the operator meets them: the information dialog's checks and entry
// loading through its widgets, the progress dialog's Cancel, close box and animation, and a
// dial through both with the simulated line.

#include "dialogs/dial_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <thread>

#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"
#include "dialogs/dial_info_dlg.h"
#include "dialogs/dialup_forms.h"
#include "dialogs/qt_text.h"
#include "dialogs/ras_entry_dlg.h"
#include "dialup/connect_mgr.h"
#include "dialup/ras_phonebook.h"
#include "dialup/ras_sim.h"
#include "on_modal.h"

namespace {

class DialDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock_);
        SetRasPhonebookFile(dir_.Path() + "DIALUP.PBK");
        SimResetLine();
        ASSERT_TRUE(OpenLog(dir_.Path() + "log/", 2));
        SetOperatorView(&boxes_);
        InstallDialupForms();
    }
    void TearDown() override {
        RemoveDialupForms();
        SetOperatorView(nullptr);
        CloseLog();
        SimResetLine();
        SetRasPhonebookFile("");
        SetClock(nullptr);
        ConnectionInfo = TConnectionInfo{};
        DVR_RASConn = 0;
        DialedBySelf = false;
    }
    void Write(const std::string& name, const std::string& user, const std::string& password,
               const std::string& phone = "5551234") {
        TRasEntry e;
        e.Name = name;
        e.PhoneNumber = phone;
        e.UserName = user;
        e.Password = password;
        e.PasswordSaved = !password.empty();
        e.SimStates = {{0, 200}, {14, 300}};
        ASSERT_EQ(WriteRasEntry(e), 0u);
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (const auto& box : boxes_.boxes) texts.push_back(box.text);
        return texts;
    }
    // The operator picks entry index from the list, as with the mouse.
    static void Choose(TfrmDialInfo& dialog, int index) {
        dialog.cboEntries->setCurrentIndex(index);
        emit dialog.cboEntries->activated(index);
    }

    TTempDir dir_;
    TManualClock clock_;
    TScriptedView boxes_;
};

TEST_F(DialDialogTest, InformationDialogChecksItsFieldsInOrderAndLoadsTheChosenEntry) {
    Write("Office", "dovrant", "s3cret");
    Write("Home", "home-user", "");
    TfrmDialInfo dialog;
    ASSERT_EQ(dialog.cboEntries->count(), 2);
    EXPECT_EQ(dialog.cboEntries->itemText(0), "Office");
    EXPECT_FALSE(dialog.cboEntries->isEditable());
    EXPECT_EQ(dialog.windowTitle(), "Connect to");
    EXPECT_EQ(dialog.Label1->text(), " Dial up Connection");

    // The caller's own selection keeps the values it filled in.
    dialog.SelectEntry(std::string("office"));
    dialog.SetUserName("typed");
    EXPECT_EQ(dialog.cboEntries->currentIndex(), 0);
    EXPECT_EQ(dialog.edtUsrID->text(), "typed");

    dialog.show();
    dialog.cboEntries->setCurrentIndex(-1);
    dialog.edtUsrID->setText("u");
    dialog.edtPassword->setText("p");
    QTest::mouseClick(dialog.btnConnect, Qt::LeftButton);
    Choose(dialog, 1);  // Home: a user name, no stored password
    EXPECT_EQ(dialog.edtUsrID->text(), "home-user");
    EXPECT_EQ(dialog.edtPassword->text(), "");
    EXPECT_FALSE(dialog.chkSavepwd->isChecked());
    EXPECT_EQ(dialog.lblEntryName->text(), "Home");
    dialog.edtUsrID->clear();
    QTest::mouseClick(dialog.btnConnect, Qt::LeftButton);
    QTest::keyClicks(dialog.edtUsrID, "u");
    QTest::mouseClick(dialog.btnConnect, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"Please select dialup profile.", "Please input User name.",
                                        "Please input password."}));

    Choose(dialog, 0);  // Office: everything stored
    if (const char* shots = std::getenv("DOVRANT_SHOT_DIR"))
        dialog.grab().save(QString(shots) + "/dial-info.png");
    EXPECT_EQ(dialog.edtUsrID->text(), "dovrant");
    EXPECT_EQ(dialog.edtPassword->text(), "s3cret");
    EXPECT_TRUE(dialog.chkSavepwd->isChecked());
    EXPECT_EQ(dialog.edtPassword->echoMode(), QLineEdit::Password);
    QTest::mouseClick(dialog.btnConnect, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(boxes_.boxes.size(), 3u);
}

TEST_F(DialDialogTest, CreateOnAnEmptyListShowsTheEntryDialogThenSelectsAndLoadsTheNewEntry) {
    TfrmDialInfo dialog;
    ASSERT_EQ(dialog.cboEntries->count(), 0);
    OnModal<TRasEntryDlg>([](TRasEntryDlg* entry) {
        entry->edtName->setText("Mobile");
        entry->cboLine->setCurrentIndex(1);
        entry->edtUser->setText("mobile-user");
        entry->edtPassword->setText("pin");
        entry->chkSavepwd->setChecked(true);
        // Without commands the entry is refused and the dialog stays.
        QTest::mouseClick(entry->btnOK, Qt::LeftButton);
        entry->edtUp->setText("nmcli connection up id Mobile");
        entry->edtDown->setText("nmcli connection down id Mobile");
        entry->edtStatus->setText("nmcli -t -f GENERAL.STATE connection show Mobile");
        QTest::mouseClick(entry->btnOK, Qt::LeftButton);
    });
    QTest::mouseClick(dialog.btnCreate, Qt::LeftButton);
    ASSERT_EQ(dialog.cboEntries->count(), 1);
    EXPECT_EQ(dialog.cboEntries->currentIndex(), 0);
    EXPECT_EQ(dialog.edtUsrID->text(), "mobile-user");
    EXPECT_EQ(dialog.edtPassword->text(), "pin");
    EXPECT_EQ(Boxes().size(), 1u);
    TRasEntry stored;
    ASSERT_EQ(ReadRasEntry("Mobile", stored), 0u);
    EXPECT_EQ(stored.Line, TRasLineKind::Command);
    EXPECT_EQ(ReadFile(RasPhonebookFile()).find("pin"), std::string::npos);

    // A second entry of the same name is refused rather than written over the first.
    OnModal<TRasEntryDlg>([](TRasEntryDlg* entry) {
        entry->edtName->setText("mobile");
        QTest::mouseClick(entry->btnOK, Qt::LeftButton);
        entry->reject();
    });
    QTest::mouseClick(dialog.btnCreate, Qt::LeftButton);
    EXPECT_EQ(dialog.cboEntries->count(), 1);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1], "An entry named mobile already exists.");
}

TEST_F(DialDialogTest, ProgressDialogCancelCloseBoxAnimationAndStatusFromAnotherThread) {
    TfrmDial window;
    TDialProgress form(window);
    window.ShowModeless();
    EXPECT_TRUE(window.imgDial04->isVisible());
    EXPECT_EQ(window.btnCancel->text(), "Cance&l");

    clock_.Set(EncodeDate(2026, 12, 9) + EncodeTime(10, 0, 1, 0));
    form.TimerTick();
    EXPECT_TRUE(window.imgDial03->isVisible());
    EXPECT_FALSE(window.imgDial04->isVisible() || window.ImgDial02->isVisible() ||
                 window.imgDial01->isVisible());

    std::thread service([notify = form.Notifier()] { notify(0, 0, 0); });
    service.join();
    QApplication::processEvents();
    EXPECT_EQ(window.lblMsg->text(), "Status: Opening port...");
    if (const char* shots = std::getenv("DOVRANT_SHOT_DIR")) {
        window.SetCaption("Connecting to Office");
        window.grab().save(QString(shots) + "/dial-progress.png");
    }

    QTest::mouseClick(window.btnCancel, Qt::LeftButton);
    EXPECT_TRUE(form.UserAborted());
    EXPECT_EQ(window.lblMsg->text(), "Status: Disconnecting...");
    EXPECT_TRUE(window.isVisible());  // the dialing run closes it when it ends
}

TEST_F(DialDialogTest, CloseBoxWhileDialingCancelsAndOnlyHides) {
    TfrmDial window;
    {
        TDialProgress form(window);
        window.ShowModeless();
        window.close();  // the close box
        EXPECT_TRUE(form.UserAborted());
        EXPECT_FALSE(window.isVisible());
        window.ShowModeless();
        form.SetDialDone();
        window.Close();
        EXPECT_FALSE(window.isVisible());
    }
    // A status line posted after the form ended is dropped.
    QApplication::processEvents();
    const std::vector<std::string> log = LogMessages(LogFileName());
    EXPECT_EQ(std::count(log.begin(), log.end(), "User aborted the connection"), 1);
}

TEST_F(DialDialogTest, MissingPasswordAsksOnceThenDialsWithTheProgressDialog) {
    Write("Office", "dovrant", "");
    ConnectionInfo.DialupProfile = "Office";
    ConnectionInfo.Retry = 3;
    OnModal<TfrmDialInfo>([](TfrmDialInfo* dialog) {
        EXPECT_EQ(dialog->lblEntryName->text(), "Office");
        EXPECT_EQ(dialog->cboEntries->currentText(), "Office");
        EXPECT_EQ(dialog->edtUsrID->text(), "dovrant");
        QTest::keyClicks(dialog->edtPassword, "typed-pass");
        QTest::mouseClick(dialog->btnConnect, Qt::LeftButton);
    });
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_NE(DVR_RASConn, 0u);
    EXPECT_TRUE(DialedBySelf);
    EXPECT_EQ(SimDialCount("Office"), 1);
    EXPECT_EQ(SimLastDialParams().szPassword, "typed-pass");
    EXPECT_TRUE(Boxes().empty());
    for (const std::string& line : LogMessages(LogFileName()))
        EXPECT_EQ(line.find("typed-pass"), std::string::npos) << line;
    HangUpDialup();
}

}  // namespace
