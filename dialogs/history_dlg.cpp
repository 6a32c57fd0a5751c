#include "dialogs/history_dlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "dialogs/qt_text.h"

namespace {

const char* const kHeaders[] = {"Time", "Direction", "Name",  "Outcome",
                                "Size", "Partner",   "Where", "Reason"};
static_assert(std::size(kHeaders) == static_cast<std::size_t>(THistoryColumn::Count));

QLineEdit* FieldEdit(QWidget* parent, const char* name, const char* placeholder) {
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    edit->setPlaceholderText(placeholder);
    edit->setClearButtonEnabled(true);
    return edit;
}

}  // namespace

THistoryDlg::THistoryDlg(QWidget* parent, std::string databasePath)
    : QDialog(parent), controller_(std::move(databasePath)) {
    setWindowTitle("History");
    auto* column = new QVBoxLayout(this);

    edtSearch = FieldEdit(this, "Search", "Search names, addresses, subjects, reasons");
    column->addWidget(edtSearch);
    auto* filters = new QHBoxLayout;
    auto* left = new QFormLayout;
    auto* right = new QFormLayout;
    edtName = FieldEdit(this, "Name", "A4711.TXT, ORD*");
    edtPartner = FieldEdit(this, "Partner", "part of an address");
    edtFrom = FieldEdit(this, "From", "YYYY-MM-DD");
    edtTo = FieldEdit(this, "To", "YYYY-MM-DD");
    cmbDirection = new QComboBox(this);
    cmbDirection->addItems({"Sent and received", "Sent", "Received"});
    cmbDirection->setAccessibleName("Direction");
    chkFailed = new QCheckBox("F&ailed only", this);
    left->addRow("&Name:", edtName);
    left->addRow("&Partner:", edtPartner);
    left->addRow("&Direction:", cmbDirection);
    right->addRow("F&rom:", edtFrom);
    right->addRow("&To:", edtTo);
    right->addRow("", chkFailed);
    filters->addLayout(left, 1);
    filters->addLayout(right, 1);
    column->addLayout(filters);

    List = new QTreeWidget(this);
    List->setColumnCount(static_cast<int>(THistoryColumn::Count));
    QStringList headers;
    for (const char* header : kHeaders) headers << header;
    List->setHeaderLabels(headers);
    List->setRootIsDecorated(false);
    List->setAllColumnsShowFocus(true);
    List->setAccessibleName("Transfers");
    // The controller orders the rows; the header only shows and chooses the order.
    List->header()->setSectionsClickable(true);
    List->header()->setSortIndicatorShown(true);
    List->header()->setSortIndicator(0, Qt::DescendingOrder);
    List->header()->setStretchLastSection(true);
    column->addWidget(List, 1);
    lblDetails = new QLabel(this);
    lblDetails->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblDetails->setAccessibleName("Details");
    column->addWidget(lblDetails);
    lblResult = new QLabel(this);
    lblResult->setWordWrap(true);
    lblResult->setAccessibleName("Result");
    column->addWidget(lblResult);

    auto* buttons = new QHBoxLayout;
    btnShowFolder = new QPushButton("&Show in Folder", this);
    btnRefresh = new QPushButton("Re&fresh", this);
    btnClose = new QPushButton("&Close", this);
    for (QPushButton* button : {btnShowFolder, btnRefresh, btnClose}) button->setAutoDefault(false);
    buttons->addWidget(btnShowFolder);
    buttons->addWidget(btnRefresh);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    column->addLayout(buttons);

    connect(btnShowFolder, &QPushButton::clicked, this, [this] { ShowFolder(); });
    connect(btnRefresh, &QPushButton::clicked, this, [this] { Reload(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    // Texts search as they are typed; dates once they are complete.
    for (QLineEdit* edit : {edtSearch, edtName, edtPartner})
        connect(edit, &QLineEdit::textChanged, this, [this] { Reload(); });
    for (QLineEdit* edit : {edtFrom, edtTo})
        connect(edit, &QLineEdit::editingFinished, this, [this] { Reload(); });
    connect(cmbDirection, &QComboBox::currentIndexChanged, this, [this] { Reload(); });
    connect(chkFailed, &QCheckBox::toggled, this, [this] { Reload(); });
    connect(List->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { SortByColumn(section); });
    connect(List, &QTreeWidget::currentItemChanged, this, [this] { ShowDetails(); });
    connect(List, &QTreeWidget::itemActivated, this, [this] { ShowFolder(); });
    resize(900, 480);
    Reload();
}

void THistoryDlg::ReadFields() {
    THistoryFields& fields = controller_.Fields;
    fields.Search = StdText(edtSearch->text());
    fields.Name = StdText(edtName->text());
    fields.Partner = StdText(edtPartner->text());
    fields.From = StdText(edtFrom->text());
    fields.To = StdText(edtTo->text());
    fields.Direction = static_cast<THistoryFields::TDirection>(cmbDirection->currentIndex());
    fields.FailedOnly = chkFailed->isChecked();
}

void THistoryDlg::Reload() {
    ReadFields();
    note_.clear();
    const int64_t keep = ChosenId();
    controller_.Reload();
    Fill(keep);
}

void THistoryDlg::SortByColumn(int column) {
    const auto chosen = static_cast<THistoryColumn>(column);
    // A second click turns the order; a new column starts from its natural one, times and
    // sizes largest first.
    const bool ascending = chosen == controller_.SortColumn()
                               ? !controller_.Ascending()
                               : chosen != THistoryColumn::Time && chosen != THistoryColumn::Size;
    const int64_t keep = ChosenId();
    controller_.SortBy(chosen, ascending);
    List->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    Fill(keep);
}

int64_t THistoryDlg::ChosenId() const {
    const THistoryRow* row = Chosen();
    return row ? row->Id : 0;
}

void THistoryDlg::Fill(int64_t keepId) {
    List->clear();
    for (const THistoryRow& row : controller_.Rows()) {
        auto* item = new QTreeWidgetItem(List);
        for (int c = 0; c < static_cast<int>(THistoryColumn::Count); ++c)
            item->setText(c, QText(THistoryController::CellText(row, THistoryColumn(c))));
        item->setTextAlignment(static_cast<int>(THistoryColumn::Size),
                               Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(static_cast<int>(THistoryColumn::Reason), QText(row.Reason));
        if (HistoryOutcomeFailed(row.Outcome))
            item->setForeground(static_cast<int>(THistoryColumn::Outcome), QColor(170, 0, 0));
    }
    for (int c = 0; c < static_cast<int>(THistoryColumn::Reason); ++c)
        List->resizeColumnToContents(c);
    const int at = keepId ? controller_.IndexOf(keepId) : -1;
    if (at >= 0) List->setCurrentItem(List->topLevelItem(at));
    ShowDetails();
}

const THistoryRow* THistoryDlg::Chosen() const {
    QTreeWidgetItem* item = List->currentItem();
    const int at = item ? List->indexOfTopLevelItem(item) : -1;
    if (at < 0 || at >= static_cast<int>(controller_.Rows().size())) return nullptr;
    return &controller_.Rows()[static_cast<std::size_t>(at)];
}

void THistoryDlg::ShowDetails() {
    const THistoryRow* row = Chosen();
    lblDetails->setText(row ? QText(THistoryController::Details(*row)) : QString());
    btnShowFolder->setEnabled(row != nullptr);
    lblResult->setText(QText(note_.empty() ? controller_.Message() : note_));
}

void THistoryDlg::ShowFolder() {
    const THistoryRow* row = Chosen();
    if (!row) return;
    const std::string folder = THistoryController::FolderOf(*row, note_);
    if (!folder.empty() && FolderOpener) FolderOpener(folder);
    lblResult->setText(QText(note_.empty() ? controller_.Message() : note_));
}
