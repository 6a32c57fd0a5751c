#pragma once

// Our phone-book entry dialog, shown to create or change an entry: its name, the kind of line
// (the commands of a real link, or the script of a simulated one) and the stored credentials.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "dialup/ras_entry_form.h"

class TRasEntryDlg : public QDialog {
  public:
    TRasEntryDlg(const TRasEntry& entry, bool isNew, QWidget* parent = nullptr);

    QLineEdit* edtName;
    QComboBox* cboLine;
    QLineEdit *edtPhone, *edtUser, *edtPassword, *edtDomain;
    QCheckBox* chkSavepwd;
    QLineEdit *edtUp, *edtDown, *edtStatus, *edtStatusUpText, *edtTimeout;
    QCheckBox* chkPasswordByEnv;
    QLineEdit *edtSimStates, *edtSimResults, *edtSimError, *edtSimDrop, *edtSimHangUp;
    QPushButton *btnOK, *btnCancel;

    // The entry as saved (after OK).
    const TRasEntry& Entry() const { return entry_; }

  private:
    void btnOKClick();

    TRasEntry entry_;
    bool isNew_;
};

// Installs the dialog as the phone book's entry editor.
void InstallRasEntryDialog();
