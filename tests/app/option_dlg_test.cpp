#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "common/base/profile.h"
#include "common/housekeeping.h"
#include "common/password.h"
#include "dialogs/core/autostart.h"
#include "dialogs/qt_text.h"
#include "dialogs/so_option.h"
#include "dialogs/so_setupd.h"
#include "on_modal.h"
#include "window_fixture.h"

namespace {

const std::string kUserIni =
    "[SYSTEM]\nLOG_LEVEL=2\n"
    "[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=45\n"
    "[SCHEDULE]\nCONNECT_OPTION=2\nCONNECT_EVERY_MIN=30\nCONNECT_AT_TIME=09:30AM\n"
    "[HOUSEKEEP]\nAUTO_PURGE=1\nINBOX=14\n";

std::string Pad(const std::string& text, size_t width) {
    std::string out = text;
    out.resize(width, ' ');
    return out;
}

// A key disk's company profile holding the three identification values.
std::string CompanyProfile(const std::string& email, const std::string& login,
                           const std::string& password) {
    std::string record(669, ' ');
    record.replace(414, 50, Pad(email, 50));
    record.replace(464, 20, Pad(login, 20));
    record.replace(484, 35, Pad(password, 35));
    std::string plain = Pad("COMPANY", 20) + Pad("ACME", 20) + Pad("669", 10) + " " + record;
    std::string out(16, '\0');
    for (char c : plain) out += static_cast<char>(c ^ ProfileKey);
    return out;
}

class OptionDialogTest : public WindowTest {
  protected:
    void OpenWindow() {
        // The stored password is scrambled, as the program stores it.
        Open(kUserIni +
             "[IDENTIFICATION]\nEMAIL_ADDR=1234567@mail.dovrant.example\nLOGIN_ID=acme01\n"
             "PASSWORD=" +
             EncodeStoredPassword("pw1") + "\n");
        Show();
    }
    std::string Stored(const std::string& section, const std::string& key) {
        return TIniFile(programDir + "USER.INI").ReadString(section, key, "");
    }
};

}  // namespace

TEST_F(OptionDialogTest, OpensFromTheWindowWithTheStoredValuesAndOkWritesThem) {
    OpenWindow();
    bool seen = false;
    OnModal<Tso_frmOption>([&](Tso_frmOption* dialog) {
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), "Option");
        EXPECT_EQ(dialog->PageControl->currentWidget(), dialog->ts_Identification);
        EXPECT_EQ(dialog->edt_EmailAddr->text(), "1234567@mail.dovrant.example");
        EXPECT_EQ(dialog->edt_LoginID->text(), "acme01");
        EXPECT_EQ(dialog->edt_Pwd->text(), "pw1");
        EXPECT_TRUE(dialog->rbschedule2->isChecked());
        EXPECT_EQ(dialog->edtMin->text(), "30");
        EXPECT_TRUE(dialog->edtMin->isEnabled());
        EXPECT_FALSE(dialog->cbxHour->isEnabled());
        EXPECT_TRUE(dialog->rbLeaseLine->isChecked());
        EXPECT_FALSE(dialog->cbxDialup->isEnabled());
        EXPECT_EQ(dialog->edt_Timeout->text(), "45");
        EXPECT_EQ(dialog->spnedtInboxTime->value(), 2);
        EXPECT_EQ(dialog->cbxInboxUnit->currentText(), "Weeks");

        // A failing check shows its page and message and keeps the dialog open.
        dialog->edt_LoginID->setText(" ");
        dialog->PageControl->setCurrentIndex(3);
        dialog->BitBtn_OK->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->PageControl->currentWidget(), dialog->ts_Identification);
        ASSERT_FALSE(view.boxes.empty());
        EXPECT_EQ(view.boxes.back().text, "Login ID must be entered.");

        dialog->edt_LoginID->setText("new01");
        dialog->rbschedule3->click();
        EXPECT_TRUE(dialog->cbxHour->isEnabled());
        EXPECT_FALSE(dialog->edtMin->isEnabled());
        dialog->cbxHour->setCurrentText("07");
        dialog->cbxMin->setCurrentText("45");
        dialog->cbxAMPM->setCurrentText("PM");
        dialog->cbxInboxUnit->setCurrentText("Months");
        dialog->BitBtn_OK->click();
        if (dialog->isVisible()) dialog->done(QDialog::Rejected);
    });
    window->OpenOption->trigger();
    EXPECT_TRUE(seen);
    ASSERT_FALSE(view.boxes.empty());
    EXPECT_EQ(view.boxes.back().text,
              "You must restart Quillbern Dovrant before the new setting will take effect.");
    EXPECT_EQ(Stored("IDENTIFICATION", "LOGIN_ID"), "new01");
    EXPECT_EQ(Stored("SCHEDULE", "CONNECT_OPTION"), "3");
    EXPECT_EQ(Stored("SCHEDULE", "CONNECT_AT_TIME"), "07:45PM");
    EXPECT_EQ(Stored("CONNECTION", "LEASE_LINE"), "1");
    EXPECT_EQ(Stored("HOUSEKEEP", "INBOX"), "60");
    EXPECT_TRUE(Logged("Option modified."));
}

TEST_F(OptionDialogTest, CancelAsksAndWritesNothing) {
    OpenWindow();
    const std::string before = ReadFile(programDir + "USER.INI");
    OnModal<Tso_frmOption>([&](Tso_frmOption* dialog) {
        dialog->edt_LoginID->setText("changed");
        view.answers = {TMsgAnswer::No};
        dialog->BitBtn_Cancel->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(view.boxes.back().text, "Do you want to close without save?");
        view.answers = {TMsgAnswer::Yes};
        dialog->BitBtn_Cancel->click();
        if (dialog->isVisible()) dialog->done(QDialog::Rejected);
    });
    window->OpenOption->trigger();
    EXPECT_EQ(ReadFile(programDir + "USER.INI"), before);
    EXPECT_TRUE(Logged("Quit option without save."));
    EXPECT_FALSE(Logged("Option modified."));
}

TEST_F(OptionDialogTest, TheKeyDiskFillsTheThreeIdentificationFields) {
    OpenWindow();
    const std::string disk = dir.Path() + "KEYDISK/";
    const std::string temp = dir.Path() + "KEYTMP/";
    mkdir(disk.c_str(), 0755);
    mkdir(temp.c_str(), 0755);
    WriteFile(disk + "COMPANY.PRO",
              CompanyProfile("7654321@mail.dovrant.example", "acme02", "kpw"));
    const std::string before = ReadFile(programDir + "USER.INI");
    OnModal<Tso_frmOption>([&](Tso_frmOption* dialog) {
        dialog->MediaRoots = {disk};
        dialog->TempBase = temp;
        OnModal<TSetupDriveDlg>([&](TSetupDriveDlg* drive) {
            EXPECT_EQ(drive->windowTitle(), "Insert Disk");
            EXPECT_EQ(drive->cbDrive->count(), 2);
            EXPECT_EQ(drive->cbDrive->currentText(), QText(disk));
            EXPECT_EQ(drive->cbDrive->itemText(1), "Other folder...");
            drive->btnOK->click();
            if (drive->isVisible()) drive->done(QDialog::Rejected);
        });
        dialog->BitBtn_Load->click();
        EXPECT_EQ(dialog->edt_EmailAddr->text(), "7654321@mail.dovrant.example");
        EXPECT_EQ(dialog->edt_LoginID->text(), "acme02");
        EXPECT_EQ(dialog->edt_Pwd->text(), "kpw");
        EXPECT_EQ(ReadFile(programDir + "USER.INI"), before);
        dialog->done(QDialog::Rejected);
    });
    window->OpenOption->trigger();
    EXPECT_EQ(view.boxes.back().text,
              "Information is extracted from Confidentiality Key Disk successfully!");
    EXPECT_TRUE(FolderNames(temp).empty());
}

// Each page renders with its caption; with DOVRANT_SHOT_DIR set, the pictures of the pages
// are written there for the documentation.
TEST_F(OptionDialogTest, EveryPageRenders) {
    OpenWindow();
    Tso_frmOption dialog(window.get(), *UserIni, {"Office ISP", "Backup ISP"});
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.size(), QSize(384, 400));
    const QStringList titles = {"Identification", "Schedule", "Connection", "Network",
                                "Housekeeping"};
    const char* shots = std::getenv("DOVRANT_SHOT_DIR");
    ASSERT_EQ(dialog.PageControl->count(), titles.size());
    for (int i = 0; i < titles.size(); ++i) {
        EXPECT_EQ(dialog.PageControl->tabText(i), titles[i]);
        dialog.PageControl->setCurrentIndex(i);
        QApplication::processEvents();
        const QPixmap picture = dialog.grab();
        EXPECT_FALSE(picture.isNull());
        if (shots) picture.save(QString(shots) + "/option-" + titles[i].toLower() + ".png");
    }
    if (shots) {
        TSetupDriveDlg drive(window.get(), {"/media/floppy/"});
        drive.show();
        QApplication::processEvents();
        drive.grab().save(QString(shots) + "/insert-disk.png");
    }
    dialog.done(QDialog::Accepted);
}

TEST_F(OptionDialogTest, HousekeepNowClosesTheWindowWithHousekeepingForced) {
    OpenWindow();
    const std::string before = ReadFile(programDir + "USER.INI");
    OnModal<Tso_frmOption>([&](Tso_frmOption* dialog) {
        view.answers = {TMsgAnswer::Yes};
        dialog->btnHousekeep->click();
        if (dialog->isVisible()) dialog->done(QDialog::Rejected);
    });
    window->OpenOption->trigger();
    EXPECT_EQ(view.boxes.back().text,
              "Quillbern Dovrant is going to exit and perform housekeeping now.\n\rDo you want "
              "to continue?");
    EXPECT_TRUE(window->ClosedDown());
    EXPECT_FALSE(Logged("Quit option without save."));
    // The pages were not saved; the purge at close recorded its date.
    EXPECT_EQ(Stored("SCHEDULE", "CONNECT_OPTION"), "2");
    EXPECT_EQ(before.find("LAST_PURGE"), std::string::npos);
    EXPECT_NE(Stored("HOUSEKEEP", "LAST_PURGE"), "");
    HousekeepNow = false;
}

TEST_F(OptionDialogTest, TheCertificateRuleAndTheAutostartBoxTravelThroughTheirControls) {
    const std::string config = dir.Path() + "config";
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    OpenWindow();
    std::string pin;
    for (int i = 0; i < 32; ++i) pin += std::string(i ? ":" : "") + "0A";
    OnModal<Tso_frmOption>([&](Tso_frmOption* dialog) {
        EXPECT_FALSE(dialog->chkAutostart->isChecked());
        EXPECT_FALSE(dialog->chkVerifyCert->isChecked());
        EXPECT_EQ(dialog->edt_CertSha256->text(), "");
        // The warning under the rule goes once the box is ticked.
        EXPECT_FALSE(dialog->lblCertWarning->isHidden());
        dialog->chkVerifyCert->click();
        EXPECT_TRUE(dialog->lblCertWarning->isHidden());
        dialog->chkAutostart->setChecked(true);
        // A fingerprint cut short is refused on its page, and nothing is written yet.
        dialog->edt_CertSha256->setText(QText(pin.substr(3)));
        dialog->BitBtn_OK->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->PageControl->currentWidget(), dialog->ts_Network);
        EXPECT_EQ(view.boxes.back().text,
                  "The certificate fingerprint must be 64 hexadecimal digits (SHA-256).");
        EXPECT_FALSE(AutostartEnabled());
        dialog->edt_CertSha256->setText(QText(pin));
        dialog->BitBtn_OK->click();
        if (dialog->isVisible()) dialog->done(QDialog::Rejected);
    });
    window->OpenOption->trigger();
    EXPECT_EQ(Stored("CONNECTION", "VERIFY_SERVER_CERT"), "1");
    EXPECT_EQ(Stored("CONNECTION", "SERVER_CERT_SHA256"), pin);
    const std::string entry = ReadFile(config + "/autostart/quillbern-dovrant.desktop");
    EXPECT_NE(entry.find(" --dir " + programDir + "\n"), std::string::npos) << entry;
    if (saved)
        setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
