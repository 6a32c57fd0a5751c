#include "dialogs/dial_info_dlg.h"

#include <QFrame>

#include "dialogs/dial_pictures.h"
#include "dialogs/qt_text.h"

namespace {

QLabel* Caption(const char* text, QWidget* buddy, int x, int y, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, 90, 21);
    label->setBuddy(buddy);
    return label;
}

QFrame* Line(QWidget* parent, int x, int y, int width) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, y, width, 2);
    return line;
}

}  // namespace

TfrmDialInfo::TfrmDialInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      logic_(*this) {
    setWindowTitle("Connect to");
    setModal(true);
    setFixedSize(348, 216);

    auto* Panel1 = new QFrame(this);
    Panel1->setGeometry(0, 0, 348, 51);
    Panel1->setAutoFillBackground(true);
    QPalette banner = Panel1->palette();
    // 55551 is the colour value 0x00D8FF: red FF, green D8, blue 00.
    banner.setColor(QPalette::Window, QColor(0xFF, 0xD8, 0x00));
    banner.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(banner);
    Image1 = new QLabel(Panel1);
    Image1->setPixmap(DialBannerPicture());
    Image1->setGeometry(10, 10, 32, 32);
    Label1 = new QLabel(" Dial up Connection", Panel1);
    QFont titleFont = Label1->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(19);
    Label1->setFont(titleFont);
    Label1->setGeometry(48, 4, 290, 26);
    lblEntryName = new QLabel(Panel1);
    QFont entryFont = lblEntryName->font();
    entryFont.setBold(true);
    lblEntryName->setFont(entryFont);
    lblEntryName->setAlignment(Qt::AlignCenter);
    lblEntryName->setGeometry(90, 30, 206, 18);
    Line(this, 0, 51, 348);

    edtUsrID = new QLineEdit(this);
    edtUsrID->setGeometry(110, 62, 222, 23);
    Label2 = Caption("&User name:", edtUsrID, 16, 63, this);
    edtPassword = new QLineEdit(this);
    edtPassword->setEchoMode(QLineEdit::Password);
    edtPassword->setGeometry(110, 91, 222, 23);
    Label3 = Caption("&Password:", edtPassword, 16, 92, this);
    chkSavepwd = new QCheckBox("&Save password", this);
    chkSavepwd->setGeometry(110, 118, 222, 20);
    cboEntries = new QComboBox(this);
    // A drop-down list: only listed entries can be chosen.
    cboEntries->setEditable(false);
    cboEntries->setGeometry(110, 142, 222, 23);
    Label5 = Caption("C&onnect To:", cboEntries, 16, 143, this);
    Line(this, 8, 172, 332);
    btnConnect = new QPushButton("&Connect", this);
    btnConnect->setDefault(true);
    btnConnect->setGeometry(8, 180, 78, 27);
    btnCancel = new QPushButton("C&ancel", this);
    btnCancel->setGeometry(92, 180, 78, 27);
    btnCreate = new QPushButton("C&reate", this);
    btnCreate->setGeometry(176, 180, 78, 27);
    btnSetting = new QPushButton("S&etting", this);
    btnSetting->setGeometry(260, 180, 78, 27);
    QWidget* order[] = {edtUsrID,  edtPassword, chkSavepwd, btnConnect,
                        btnCancel, btnCreate,   btnSetting, cboEntries};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    connect(btnConnect, &QPushButton::clicked, this, [this] { logic_.ConnectClicked(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnCreate, &QPushButton::clicked, this, [this] { logic_.CreateClicked(); });
    connect(btnSetting, &QPushButton::clicked, this, [this] { logic_.SettingClicked(); });
    // Only the operator's choice loads an entry: the caller's own selection keeps its values.
    connect(cboEntries, &QComboBox::activated, this, [this] { logic_.EntryChanged(); });
    logic_.FormCreate();
    edtUsrID->setFocus();
}

TfrmDialInfo::~TfrmDialInfo() = default;

void TfrmDialInfo::SetEntryName(const std::string& name) { lblEntryName->setText(QText(name)); }
void TfrmDialInfo::SelectEntry(const std::string& name) { logic_.SelectByName(name); }
void TfrmDialInfo::SetUserName(const std::string& text) { edtUsrID->setText(QText(text)); }
void TfrmDialInfo::SetPassword(const std::string& text) { edtPassword->setText(QText(text)); }
void TfrmDialInfo::SetSavePassword(bool checked) { chkSavepwd->setChecked(checked); }
bool TfrmDialInfo::ShowModal() { return exec() == QDialog::Accepted; }
std::string TfrmDialInfo::EntryText() const { return StdText(cboEntries->currentText()); }
std::string TfrmDialInfo::UserName() const { return StdText(edtUsrID->text()); }
std::string TfrmDialInfo::Password() const { return StdText(edtPassword->text()); }
bool TfrmDialInfo::SavePassword() const { return chkSavepwd->isChecked(); }

std::vector<std::string> TfrmDialInfo::Entries() const {
    std::vector<std::string> names;
    for (int i = 0; i < cboEntries->count(); ++i) names.push_back(StdText(cboEntries->itemText(i)));
    return names;
}

void TfrmDialInfo::AddEntry(const std::string& name) { cboEntries->addItem(QText(name)); }
int TfrmDialInfo::SelectedEntry() const { return cboEntries->currentIndex(); }
void TfrmDialInfo::SelectEntry(int index) { cboEntries->setCurrentIndex(index); }
void TfrmDialInfo::SetEntryLabel(const std::string& text) { SetEntryName(text); }

void TfrmDialInfo::Focus(TDialInfoField field) {
    switch (field) {
        case TDialInfoField::Entries:
            cboEntries->setFocus();
            break;
        case TDialInfoField::UserName:
            edtUsrID->setFocus();
            break;
        case TDialInfoField::Password:
            edtPassword->setFocus();
            break;
    }
}

void TfrmDialInfo::CloseWithOk() { accept(); }
