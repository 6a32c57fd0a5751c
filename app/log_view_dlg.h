#pragma once

// Today's system log, following new lines as the program writes them, with a filter by kind
// and a search box.

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "operator/log_lines.h"

class TLogViewDlg : public QDialog {
  public:
    static constexpr int kPollMs = 1000;

    TLogViewDlg(QWidget* parent, std::string logFolder);

    // Opens the log folder for the operator (xdg-open by default; tests replace it).
    std::function<void(const std::string& folder)> FolderOpener;

    QComboBox* cmbLevel;
    QLineEdit* edtSearch;
    QPlainTextEdit* memLog;
    QPushButton* btnOpenFolder;
    QPushButton* btnClose;
    QTimer* PollTimer;

    // Reads what today's log files gained since the last call (and files started since).
    void Poll();
    // The lines on screen.
    QStringList ShownLines() const;

  private:
    TLogFilter Filter() const;
    void Rebuild();
    void Show(const TLogLine& line);

    std::string logFolder_;
    std::vector<std::unique_ptr<TLogFollower>> followers_;
    std::vector<TLogLine> lines_;
};
