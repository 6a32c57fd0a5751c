#pragma once

// The About box: product, version, rights notice and a few characteristics of the computer.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <functional>

#include "common/sysinfo.h"

class TAboutDlg : public QDialog {
  public:
    using TReadFacts = std::function<TSystemCharacteristics()>;

    explicit TAboutDlg(QWidget* parent = nullptr, TReadFacts readFacts = ReadSystemCharacteristics);

    QLabel* Label4;
    QLabel* lblVersion;
    QStackedWidget* Notebook;  // pages "Default" and "Version"
    QLabel* lblCPU;
    QLabel* lblMemory;
    QLabel* lblFreeRes;
    QLabel* lblWinVer;
    QPushButton* ExpBtn1;  // OK
    QPushButton* ExpBtn2;  // &History, hidden
    QPushButton* ExpBtn3;  // &System
    QTreeWidget* OutlineVer;

    void FormShow();

  protected:
    void showEvent(QShowEvent* e) override;
    // Escape works as the OK button.
    void reject() override { accept(); }

  private:
    QWidget* BuildDefaultPage();
    QWidget* BuildVersionPage();
    QWidget* BuildRightsNotice();

    TReadFacts ReadFacts;
};
