#pragma once

// The files waiting in the Error folder, with why each is there, and what the operator can
// do with them: send again (Retry), open, show the folder, delete.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "operator/failed_files.h"

class TFailedFilesDlg : public QDialog {
  public:
    // known: why this run's transfers put files there, as their outcomes said; the log is
    // read only for files from before.
    TFailedFilesDlg(QWidget* parent, std::string errorFolder, std::string outboxFolder,
                    std::string logFolder, TFailureReasons known = {});

    // Opens a file or folder for the operator (xdg-open by default; tests replace it).
    std::function<void(const std::string& path)> Opener;
    // Told after a file left the Error folder, so the window's counters follow.
    std::function<void()> FilesChanged;

    QTreeWidget* List;
    QPushButton* btnRetry;
    QPushButton* btnOpen;
    QPushButton* btnShowFolder;
    QPushButton* btnDelete;
    QPushButton* btnRefresh;
    QPushButton* btnClose;
    QLabel* lblResult;

    // Reads the folder and the logs again; the selection stays on the names still there.
    void Reload();
    void RetrySelected();
    void OpenSelected();
    void ShowFolder();
    // Asks once for all selected files, then deletes them.
    void DeleteSelected();
    const std::vector<TFailedFile>& Files() const { return files_; }

  private:
    std::vector<const TFailedFile*> Selected() const;
    void UpdateButtons();
    void Report(const std::vector<std::string>& lines);

    std::string errorFolder_;
    std::string outboxFolder_;
    std::string logFolder_;
    TFailureReasons known_;
    std::vector<TFailedFile> files_;
};
