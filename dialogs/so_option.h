#pragma once

// "Option": the settings of USER.INI on five pages. The form builds and shows the controls
// and forwards their events; TOptionController checks and writes.

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/core/option_controller.h"

class Tso_frmOption : public QDialog, public IOptionView {
  public:
    // ini: the open USER.INI; profiles: the phone-book entries.
    Tso_frmOption(QWidget* parent, TIniFile& ini, std::vector<std::string> profiles = {});
    ~Tso_frmOption() override;

    // Where "Load from confidentiality disk" looks: the drive list and the folder for the
    // private working folder (empty: the system's temporary folder).
    std::vector<std::string> MediaRoots;
    std::string TempBase;

    QTabWidget* PageControl;
    QWidget* ts_Identification;
    QWidget* ts_Schedule;
    QWidget* ts_Connection;
    QWidget* ts_Network;
    QWidget* ts_Housekeep;
    QPushButton* BitBtn_OK;
    QPushButton* BitBtn_Cancel;
    // Identification.
    QLineEdit* edt_EmailAddr;
    QLineEdit* edt_LoginID;
    QLineEdit* edt_Pwd;
    QPushButton* BitBtn_Load;
    // Schedule.
    QRadioButton* rbschedule1;
    QRadioButton* rbschedule2;
    QRadioButton* rbschedule3;
    QRadioButton* rbschedule4;
    QRadioButton* rbschedule5;
    QRadioButton* rbschedule6;
    QLineEdit* edtMin;
    QComboBox* cbxHour;
    QComboBox* cbxMin;
    QComboBox* cbxAMPM;
    QDateEdit* DTPickerDate;
    std::array<QCheckBox*, 7> chkDays;  // chkMon .. chkSun
    // Connection.
    QRadioButton* rbLeaseLine;
    QRadioButton* rbDialup;
    QLabel* lblDialup;
    QComboBox* cbxDialup;
    QGroupBox* grpDisconnection;
    QSpinBox* spnedtDelay;
    QCheckBox* chkAutostart;
    // Network.
    QCheckBox* chkbox_UseProxy;
    QLineEdit* edt_ProxyAddr;
    QLineEdit* edt_ProxyPort;
    QLineEdit* edt_ProxyUserID;
    QLineEdit* edt_ProxyPwd;
    QCheckBox* chkbox_UseFirewall;
    QLineEdit* edt_FWAddr;
    QLineEdit* edt_FWPort;
    QLineEdit* edt_FWUserID;
    QLineEdit* edt_FWPwd;
    QLineEdit* edt_Timeout;
    QCheckBox* chkVerifyCert;
    QLineEdit* edt_CertSha256;
    QLabel* lblCertWarning;  // shown while the rule checks nothing
    // Housekeeping.
    QCheckBox* chkPurge;
    QWidget* pnlPurge;  // the interval and the three ages
    QSpinBox* spnedtPurgeInterval;
    QSpinBox* spnedtInboxTime;
    QComboBox* cbxInboxUnit;
    QSpinBox* spnedtSentboxTime;
    QComboBox* cbxSentboxUnit;
    QSpinBox* spnedtHistoryDays = nullptr;
    QSpinBox* spnedtSysLogTime;
    QComboBox* cbxSysLogUnit;
    QPushButton* btnHousekeep;

    // True after "Housekeep now" was confirmed: the main window is to close.
    bool MainCloseRequested() const { return mainCloseRequested_; }

    // IOptionView.
    void ShowValues(const TOptionValues& values) override;
    TOptionValues Values() const override;
    void SetGroupEnabled(TOptionGroup group, bool enabled) override;
    void ShowCertificateWarning(const std::string& text) override;
    void ShowPage(TOptionPage page) override;
    void FocusField(TOptionField field) override;
    std::optional<TImportedCompany> RunSetupDrive() override;
    void CloseDialog(bool accepted) override;
    void RequestMainClose() override { mainCloseRequested_ = true; }

    // Closing without OK asks first.
    void reject() override;

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    QWidget* BuildIdentification();
    QWidget* BuildSchedule();
    QWidget* BuildConnection();
    QWidget* BuildNetwork();
    QWidget* BuildHousekeep();
    // Runs a handler; an error is shown in the standard error box.
    void Run(void (TOptionController::*handler)());

    std::unique_ptr<TOptionController> controller_;
    std::vector<QWidget*> proxyWidgets_, firewallWidgets_, dialupWidgets_;
    bool mainCloseRequested_ = false;
    bool closing_ = false;
};
