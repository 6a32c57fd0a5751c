#pragma once

// "Insert Disk": picks the key disk (a mounted removable medium or another folder) and imports
// the company identification from it. The logic is TSetupDriveController's.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/core/setup_drive.h"

class TSetupDriveDlg : public QDialog, public ISetupDriveView {
  public:
    // mediaRoots: the drive list before "Other folder..."; tempBase: where the private working
    // folder is made (empty: the system's temporary folder).
    explicit TSetupDriveDlg(QWidget* parent = nullptr,
                            std::vector<std::string> mediaRoots = RemovableMediaRoots(),
                            std::string tempBase = "");
    ~TSetupDriveDlg() override;

    QLabel* lbldrive;
    QLabel* Image;
    QComboBox* cbDrive;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // Asks for the folder behind "Other folder..." (a folder dialog by default).
    std::function<std::string()> FolderPicker;

    const TImportedCompany& Imported() const { return controller_->Imported(); }

    // ISetupDriveView.
    void SetDriveItems(const std::vector<std::string>& items) override;
    void SelectDrive(int index) override;
    std::string SelectedDrive() const override;
    std::string PickFolder() override;
    void SetBusy(bool busy) override;
    void CloseDialog(bool accepted) override;

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void btnOKClick();

    std::unique_ptr<TSetupDriveController> controller_;
};
