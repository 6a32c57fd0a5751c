#include "dialogs/so_setupd.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>
#include <exception>

#include "common/view.h"
#include "dialogs/qt_text.h"

namespace {

// The picture beside the text: a key disk.
QPixmap DiskPicture() {
    QPixmap pixmap(38, 38);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(40, 60, 120));
    p.setPen(QPen(Qt::black, 1));
    p.drawRoundedRect(QRectF(2.5, 2.5, 33, 33), 3, 3);
    p.setBrush(QColor(200, 200, 205));
    p.drawRect(QRectF(10.5, 2.5, 17, 11));
    p.setBrush(QColor(255, 255, 240));
    p.drawRect(QRectF(7.5, 19.5, 23, 14));
    p.setBrush(QColor(138, 0, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(14, 26.5), 3, 3);
    p.drawRect(QRectF(16, 25.5, 9, 2));
    return pixmap;
}

}  // namespace

TSetupDriveDlg::TSetupDriveDlg(QWidget* parent, std::vector<std::string> mediaRoots,
                               std::string tempBase)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle("Insert Disk");
    setModal(true);
    lbldrive = new QLabel("Please insert the confidentiality disk in the following drive", this);
    lbldrive->setWordWrap(true);
    Image = new QLabel(this);
    Image->setPixmap(DiskPicture());
    Image->setFixedSize(38, 38);
    cbDrive = new QComboBox(this);
    btnOK = new QPushButton("OK", this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);

    auto* top = new QHBoxLayout;
    top->addWidget(Image, 0, Qt::AlignTop);
    auto* right = new QVBoxLayout;
    right->addWidget(lbldrive);
    right->addWidget(cbDrive);
    top->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addLayout(buttons);
    setFixedSize(325, 112);
    btnOK->setFocus();

    FolderPicker = [this] {
        return StdText(QFileDialog::getExistingDirectory(this, "Other folder..."));
    };
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    controller_ =
        std::make_unique<TSetupDriveController>(*this, std::move(mediaRoots), std::move(tempBase));
    controller_->FormCreate();
}

TSetupDriveDlg::~TSetupDriveDlg() = default;

void TSetupDriveDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    controller_->FormShow();
}

void TSetupDriveDlg::btnOKClick() {
    try {
        controller_->btnOKClick();
    } catch (const std::exception& error) {
        OperatorView().MessageBox(TMsgKind::Error, error.what(), "", TMsgButtons::OK);
    }
}

void TSetupDriveDlg::SetDriveItems(const std::vector<std::string>& items) {
    cbDrive->clear();
    for (const auto& item : items) cbDrive->addItem(QText(item));
}

void TSetupDriveDlg::SelectDrive(int index) { cbDrive->setCurrentIndex(index); }

std::string TSetupDriveDlg::SelectedDrive() const { return StdText(cbDrive->currentText()); }

std::string TSetupDriveDlg::PickFolder() { return FolderPicker ? FolderPicker() : ""; }

void TSetupDriveDlg::SetBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TSetupDriveDlg::CloseDialog(bool accepted) {
    if (accepted)
        accept();
    else
        reject();
}
