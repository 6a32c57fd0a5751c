#include "dialogs/about_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "common/settings.h"

namespace {

TEST(AboutBox, ShowsVersionAndTheComputersCharacteristics) {
    ProgramInfo.Version = "2.4.1";
    TAboutDlg about(nullptr, [] {
        TSystemCharacteristics facts;
        facts.ProcessorType = 8664;
        facts.Memory.TotalPhys = 262144ull * 1024;
        facts.Memory.MemoryLoad = 37;
        facts.Version = "Linux 6.1.0";
        return facts;
    });
    about.show();
    QApplication::processEvents();
    EXPECT_EQ(about.size(), QSize(366, 369));
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(about.Label4->text(), "Quillbern Dovrant");
    EXPECT_EQ(about.lblVersion->text(), "Version 2.4.1");
    EXPECT_EQ(about.lblCPU->text(), "8664");
    EXPECT_EQ(about.lblMemory->text(), "262144KB");
    EXPECT_EQ(about.lblFreeRes->text(), "63% Free");
    EXPECT_EQ(about.lblWinVer->text(), "Linux 6.1.0");

    // The "Version" page is reached from the hidden History button and left with System.
    EXPECT_FALSE(about.ExpBtn2->isVisible());
    about.ExpBtn2->click();
    EXPECT_EQ(about.Notebook->currentWidget()->objectName(), "Version");
    about.ExpBtn3->click();
    EXPECT_EQ(about.Notebook->currentWidget()->objectName(), "Default");

    // Escape closes it like OK.
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
