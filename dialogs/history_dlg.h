#pragma once

// The transfer history: a search box, the filters, the rows found in columns the operator
// sorts by clicking their headers, the details of the chosen row, and its folder. The window
// searches again when told a cycle ended, so it stays open beside the main window.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <string>

#include "dialogs/core/history_controller.h"

class THistoryDlg : public QDialog {
  public:
    THistoryDlg(QWidget* parent, std::string databasePath);

    // Opens a folder for the operator; the main window gives its own way.
    std::function<void(const std::string& folder)> FolderOpener;

    QLineEdit* edtSearch;
    QLineEdit* edtName;
    QLineEdit* edtPartner;
    QLineEdit* edtFrom;
    QLineEdit* edtTo;
    QComboBox* cmbDirection;
    QCheckBox* chkFailed;
    QTreeWidget* List;
    QLabel* lblDetails;
    QLabel* lblResult;
    QPushButton* btnShowFolder;
    QPushButton* btnRefresh;
    QPushButton* btnClose;

    // Searches again with the fields; the chosen row stays chosen while it is found.
    void Reload();
    // Opens the folder of the chosen row.
    void ShowFolder();
    THistoryController& Controller() { return controller_; }

  private:
    void ReadFields();
    // Shows the controller's rows, choosing again the row with keepId.
    void Fill(int64_t keepId);
    void SortByColumn(int column);
    void ShowDetails();
    const THistoryRow* Chosen() const;
    int64_t ChosenId() const;

    THistoryController controller_;
    std::string note_;  // what opening the folder had to tell, until the next search
};
