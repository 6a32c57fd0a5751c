#pragma once

// The dial-up information dialog: entry choice, user name, password and "Save password". Its
// handlers are TDialInfoLogic's; the dialing code fills it and reads it through IDialInfoView.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialup/dial_info.h"
#include "dialup/dial_views.h"

class TfrmDialInfo : public QDialog, public IDialInfoView, public IDialInfoControls {
  public:
    explicit TfrmDialInfo(QWidget* parent = nullptr);
    ~TfrmDialInfo() override;

    QLabel* Image1;
    QLabel* Label1;
    QLabel* lblEntryName;
    QLabel* Label5;
    QComboBox* cboEntries;
    QLabel* Label2;
    QLineEdit* edtUsrID;
    QLabel* Label3;
    QLineEdit* edtPassword;
    QCheckBox* chkSavepwd;
    QPushButton* btnConnect;
    QPushButton* btnCancel;
    QPushButton* btnCreate;
    QPushButton* btnSetting;

    // IDialInfoView.
    void SetEntryName(const std::string& name) override;
    void SelectEntry(const std::string& name) override;
    void SetUserName(const std::string& text) override;
    void SetPassword(const std::string& text) override;
    void SetSavePassword(bool checked) override;
    bool ShowModal() override;
    std::string EntryText() const override;
    std::string UserName() const override;
    std::string Password() const override;
    bool SavePassword() const override;

    // IDialInfoControls.
    std::vector<std::string> Entries() const override;
    void AddEntry(const std::string& name) override;
    int SelectedEntry() const override;
    void SelectEntry(int index) override;
    void SetEntryLabel(const std::string& text) override;
    void Focus(TDialInfoField field) override;
    void CloseWithOk() override;
    void* OwnerWindow() override { return this; }

  private:
    TDialInfoLogic logic_;
};
