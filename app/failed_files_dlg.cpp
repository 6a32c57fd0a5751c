#include "app/failed_files_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QProcess>
#include <QShortcut>
#include <QVBoxLayout>
#include <set>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/view.h"
#include "dialogs/qt_text.h"
#include "operator/retry.h"

namespace {

enum TColumn { kName, kSize, kTime, kReason, kColumns };

QString SizeText(uint64_t size) {
    if (size < 1024) return QString::number(size) + " B";
    if (size < 1024 * 1024) return QString::number((size + 1023) / 1024) + " KB";
    return QString::number(static_cast<double>(size) / (1024.0 * 1024.0), 'f', 1) + " MB";
}

}  // namespace

TFailedFilesDlg::TFailedFilesDlg(QWidget* parent, std::string errorFolder, std::string outboxFolder,
                                 std::string logFolder, TFailureReasons known)
    : QDialog(parent),
      errorFolder_(IncludeTrailingPathDelimiter(errorFolder)),
      outboxFolder_(IncludeTrailingPathDelimiter(outboxFolder)),
      logFolder_(std::move(logFolder)),
      known_(std::move(known)) {
    setWindowTitle("Failed Files");
    Opener = [](const std::string& path) { QProcess::startDetached("xdg-open", {QText(path)}); };
    auto* column = new QVBoxLayout(this);
    List = new QTreeWidget(this);
    List->setColumnCount(kColumns);
    List->setHeaderLabels({"Name", "Size", "Time", "Reason"});
    List->setRootIsDecorated(false);
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List->setAllColumnsShowFocus(true);
    List->setAccessibleName("Files in the Error folder");
    List->header()->setStretchLastSection(true);
    column->addWidget(List, 1);
    lblResult = new QLabel(this);
    lblResult->setWordWrap(true);
    lblResult->setAccessibleName("Result");
    column->addWidget(lblResult);

    auto* buttons = new QHBoxLayout;
    auto add = [&](const char* caption, void (TFailedFilesDlg::*handler)()) {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        buttons->addWidget(button);
        return button;
    };
    btnRetry = add("&Retry", &TFailedFilesDlg::RetrySelected);
    btnOpen = add("&Open", &TFailedFilesDlg::OpenSelected);
    btnShowFolder = add("&Show in Folder", &TFailedFilesDlg::ShowFolder);
    btnDelete = add("&Delete", &TFailedFilesDlg::DeleteSelected);
    btnRefresh = add("Re&fresh", &TFailedFilesDlg::Reload);
    buttons->addStretch(1);
    btnClose = new QPushButton("&Close", this);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(btnClose);
    column->addLayout(buttons);

    connect(List, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(List, &QTreeWidget::itemActivated, this, [this] { OpenSelected(); });
    // From the keyboard: Enter opens, Delete deletes (after the question).
    auto* deleteKey = new QShortcut(QKeySequence::Delete, List);
    deleteKey->setContext(Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] { DeleteSelected(); });
    resize(720, 360);
    Reload();
}

void TFailedFilesDlg::Reload() {
    std::set<std::string> selected;
    for (const TFailedFile* file : Selected()) selected.insert(file->Name);
    files_ = ListFailedFiles(errorFolder_, logFolder_, 31, known_);
    List->clear();
    for (const TFailedFile& file : files_) {
        auto* item = new QTreeWidgetItem(List);
        item->setText(kName, QText(file.Name));
        item->setText(kSize, SizeText(file.Size));
        item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(kTime, QText(FormatDateTime("yyyy/MM/dd hh:nn:ss", file.Modified)));
        item->setText(kReason, QText(file.Reason));
        item->setToolTip(kReason, QText(file.Reason));
        if (selected.count(file.Name)) item->setSelected(true);
    }
    for (int c = kName; c < kReason; ++c) List->resizeColumnToContents(c);
    if (!List->currentItem() && List->topLevelItemCount() > 0)
        List->setCurrentItem(List->topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    UpdateButtons();
}

std::vector<const TFailedFile*> TFailedFilesDlg::Selected() const {
    std::vector<const TFailedFile*> selected;
    for (int i = 0; i < List->topLevelItemCount() && i < static_cast<int>(files_.size()); ++i)
        if (List->topLevelItem(i)->isSelected())
            selected.push_back(&files_[static_cast<std::size_t>(i)]);
    return selected;
}

void TFailedFilesDlg::UpdateButtons() {
    const std::size_t count = Selected().size();
    btnRetry->setEnabled(count > 0);
    btnDelete->setEnabled(count > 0);
    btnOpen->setEnabled(count == 1);
}

void TFailedFilesDlg::Report(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    lblResult->setText(QText(text));
}

void TFailedFilesDlg::RetrySelected() {
    std::vector<std::string> lines;
    bool changed = false;
    for (const TFailedFile* file : Selected()) {
        const TRetryResult result = file->Received
                                        ? RetryReceived(errorFolder_, file->Name)
                                        : RetryToOutbox(errorFolder_, file->Name, outboxFolder_);
        changed = changed || result.Ok;
        if (!result.Ok)
            lines.push_back(file->Name + ": " + result.Error);
        else if (file->Received)
            lines.push_back(file->Name + " was stored again.");
        else if (ExtractFileName(result.Target) != file->Name)
            lines.push_back(file->Name + " is back in the Outbox as " +
                            ExtractFileName(result.Target) + ".");
        else
            lines.push_back(file->Name + " is back in the Outbox.");
    }
    Report(lines);
    Reload();
    if (changed && FilesChanged) FilesChanged();
}

void TFailedFilesDlg::OpenSelected() {
    const auto selected = Selected();
    if (selected.size() == 1 && Opener) Opener(errorFolder_ + selected[0]->Name);
}

void TFailedFilesDlg::ShowFolder() {
    if (Opener) Opener(errorFolder_);
}

void TFailedFilesDlg::DeleteSelected() {
    const auto selected = Selected();
    if (selected.empty()) return;
    const std::string question =
        selected.size() == 1
            ? "Delete " + selected[0]->Name + " from the Error folder?"
            : "Delete " + std::to_string(selected.size()) + " files from the Error folder?";
    if (OperatorView().MessageBox(TMsgKind::Confirmation, question, "", TMsgButtons::YesNo) !=
        TMsgAnswer::Yes)
        return;
    std::vector<std::string> lines;
    bool changed = false;
    for (const TFailedFile* file : selected) {
        std::string error;
        if (DeleteFailedFile(errorFolder_, file->Name, error))
            changed = true;
        else
            lines.push_back(file->Name + " could not be deleted: " + error);
    }
    Report(lines);
    Reload();
    if (changed && FilesChanged) FilesChanged();
}
