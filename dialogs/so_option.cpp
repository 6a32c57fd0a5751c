#include "dialogs/so_option.h"

#include <QDate>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QVBoxLayout>
#include <exception>

#include "common/base/datetime.h"
#include "common/view.h"
#include "dialogs/qt_text.h"
#include "dialogs/so_setupd.h"

namespace {

QLabel* Bold(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel* Wrapped(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

// Digits and Backspace only.
void DigitsOnly(QLineEdit* edit, int maxLength = 32767) {
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    edit->setMaxLength(maxLength);
}

QComboBox* List(const std::vector<std::string>& items, QWidget* parent, bool editable = false) {
    auto* box = new QComboBox(parent);
    for (const auto& item : items) box->addItem(QText(item));
    box->setEditable(editable);
    return box;
}

// The item text, or -1 (no selection) when it is not an item.
void Select(QComboBox* box, const std::string& text) {
    box->setCurrentIndex(box->findText(QText(text)));
}

// The age spin edits swallow Delete and Backspace: their value changes by digits and the
// spin buttons only.
class TNoDeleteFilter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Delete || key == Qt::Key_Backspace) return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

QSpinBox* Spin(int low, int high, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(low, high);
    return spin;
}

}  // namespace

Tso_frmOption::Tso_frmOption(QWidget* parent, TIniFile& ini, std::vector<std::string> profiles)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      MediaRoots(RemovableMediaRoots()) {
    setWindowTitle("Option");
    setModal(true);
    PageControl = new QTabWidget(this);
    // The five tabs fit the form's width without scroll buttons.
    PageControl->setUsesScrollButtons(false);
    PageControl->setStyleSheet("QTabBar::tab { padding: 3px 3px; }");
    // The small dialog font of the design, so every page fits the fixed size; passwords
    // show as "*".
    setStyleSheet("QWidget { font-size: 11px; } QLineEdit { lineedit-password-character: 42; }");
    PageControl->addTab(ts_Identification = BuildIdentification(), "Identification");
    PageControl->addTab(ts_Schedule = BuildSchedule(), "Schedule");
    PageControl->addTab(ts_Connection = BuildConnection(), "Connection");
    PageControl->addTab(ts_Network = BuildNetwork(), "Network");
    PageControl->addTab(ts_Housekeep = BuildHousekeep(), "Housekeeping");
    BitBtn_OK = new QPushButton("&OK", this);
    BitBtn_Cancel = new QPushButton("&Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn_OK);
    buttons->addWidget(BitBtn_Cancel);
    auto* column = new QVBoxLayout(this);
    column->addWidget(PageControl, 1);
    column->addLayout(buttons);
    setFixedSize(384, 400);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(BitBtn_OK, &QPushButton::clicked, this,
            [this] { Run(&TOptionController::BitBtn_OKClick); });
    connect(BitBtn_Cancel, &QPushButton::clicked, this,
            [this] { Run(&TOptionController::BitBtn_CancelClick); });
    connect(BitBtn_Load, &QPushButton::clicked, this,
            [this] { Run(&TOptionController::BitBtn_LoadClick); });
    connect(btnHousekeep, &QPushButton::clicked, this,
            [this] { Run(&TOptionController::btnHousekeepClick); });
    for (QRadioButton* rb : {rbschedule1, rbschedule2, rbschedule3})
        connect(rb, &QRadioButton::clicked, this,
                [this] { Run(&TOptionController::rbschedule1Click); });
    for (QRadioButton* rb : {rbschedule4, rbschedule5, rbschedule6})
        connect(rb, &QRadioButton::clicked, this,
                [this] { Run(&TOptionController::rbschedule4Click); });
    for (QRadioButton* rb : {rbLeaseLine, rbDialup})
        connect(rb, &QRadioButton::clicked, this,
                [this] { Run(&TOptionController::rbLeaseLineClick); });
    connect(chkbox_UseProxy, &QCheckBox::clicked, this,
            [this] { Run(&TOptionController::chkbox_UseProxyClick); });
    connect(chkbox_UseFirewall, &QCheckBox::clicked, this,
            [this] { Run(&TOptionController::chkbox_UseFirewallClick); });
    connect(chkPurge, &QCheckBox::clicked, this,
            [this] { Run(&TOptionController::chkPurgeClick); });
    connect(chkVerifyCert, &QCheckBox::clicked, this,
            [this] { Run(&TOptionController::CertificateRuleChange); });
    connect(edt_CertSha256, &QLineEdit::textEdited, this,
            [this] { Run(&TOptionController::CertificateRuleChange); });

    controller_ = std::make_unique<TOptionController>(*this, ini, std::move(profiles));
    controller_->FormCreate();
}

Tso_frmOption::~Tso_frmOption() = default;

QWidget* Tso_frmOption::BuildIdentification() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(Bold("My Company Profile", page));
    column->addWidget(
        Wrapped("To setup your company profile, please insert the confidentiality "
                "key to your floppy drive and click the \"Load from "
                "confidentiality disk\" button below",
                page));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Email Address", page), 0, 0);
    grid->addWidget(edt_EmailAddr = new QLineEdit(page), 0, 1);
    auto* example = new QLabel("e.g. 1234567@mail.dovrant.example", page);
    example->setEnabled(false);
    grid->addWidget(example, 1, 1);
    grid->addWidget(new QLabel("Login ID", page), 2, 0);
    grid->addWidget(edt_LoginID = new QLineEdit(page), 2, 1);
    grid->addWidget(new QLabel("Password", page), 3, 0);
    grid->addWidget(edt_Pwd = new QLineEdit(page), 3, 1);
    edt_Pwd->setEchoMode(QLineEdit::Password);
    column->addLayout(grid);
    column->addWidget(BitBtn_Load = new QPushButton("   Load from confidentiality disk", page));
    column->addStretch(1);
    return page;
}

QWidget* Tso_frmOption::BuildSchedule() {
    auto* page = new QWidget;
    auto* group = new QGroupBox(" Schedule ", page);
    auto* column = new QVBoxLayout(group);
    column->addWidget(
        Wrapped("You may schedule when the system connect to Internet to download "
                "messages from your mailbox below:",
                group));
    column->addWidget(rbschedule1 = new QRadioButton("Connect manually", group));
    rbschedule1->setChecked(true);
    auto* every = new QHBoxLayout;
    every->addWidget(rbschedule2 = new QRadioButton("Connect every", group));
    every->addWidget(edtMin = new QLineEdit(group));
    DigitsOnly(edtMin, 3);
    edtMin->setFixedWidth(40);
    every->addWidget(new QLabel("minute(s).", group));
    every->addStretch(1);
    column->addLayout(every);
    auto* at = new QHBoxLayout;
    at->addWidget(rbschedule3 = new QRadioButton("Connect at ", group));
    at->addWidget(cbxHour = List(HourItems(), group));
    at->addWidget(cbxMin = List(MinuteItems(), group));
    at->addWidget(cbxAMPM = List(AmPmItems(), group));
    at->addStretch(1);
    column->addLayout(at);
    // The cycle buttons form their own group, indented under "Connect at".
    auto* cycle = new QWidget(group);
    auto* cycleColumn = new QVBoxLayout(cycle);
    cycleColumn->setContentsMargins(20, 0, 0, 0);
    cycleColumn->addWidget(rbschedule4 = new QRadioButton("Everyday.", cycle));
    rbschedule4->setChecked(true);
    auto* on = new QHBoxLayout;
    on->addWidget(rbschedule5 = new QRadioButton("On", cycle));
    on->addWidget(DTPickerDate = new QDateEdit(cycle));
    DTPickerDate->setCalendarPopup(true);
    DTPickerDate->setDisplayFormat("yyyy/MM/dd");
    on->addWidget(new QLabel("only.", cycle));
    on->addStretch(1);
    cycleColumn->addLayout(on);
    cycleColumn->addWidget(rbschedule6 = new QRadioButton("On the selected days only:", cycle));
    auto* days = new QGridLayout;
    days->setContentsMargins(20, 0, 0, 0);
    const char* names[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                           "Friday", "Saturday", "Sunday"};
    for (int day = 0; day < 7; ++day) {
        chkDays[static_cast<size_t>(day)] = new QCheckBox(names[day], cycle);
        days->addWidget(chkDays[static_cast<size_t>(day)], day / 3, day % 3);
    }
    cycleColumn->addLayout(days);
    column->addWidget(cycle);
    column->addStretch(1);
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->addWidget(group);
    return page;
}

QWidget* Tso_frmOption::BuildConnection() {
    auto* page = new QWidget;
    auto* group = new QGroupBox("Connection", page);
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(4, 6, 4, 4);
    column->addWidget(new QLabel("Please specify your internet connection type:", group));
    column->addWidget(rbLeaseLine = new QRadioButton(
                          "Always connected to Internet. (e.g.: Leased line/Broadband)", group));
    rbLeaseLine->setChecked(true);
    rbLeaseLine->setStyleSheet("font-size: 10px;");  // the longest line of the form
    column->addWidget(rbDialup = new QRadioButton("Connect using my modem(s):", group));
    auto* profile = new QHBoxLayout;
    profile->setContentsMargins(20, 0, 0, 0);
    profile->addWidget(lblDialup = new QLabel("Dialup Profile:", group));
    profile->addWidget(cbxDialup = new QComboBox(group), 1);
    column->addLayout(profile);
    grpDisconnection = new QGroupBox("Disconnection", group);
    auto* inner = new QVBoxLayout(grpDisconnection);
    inner->addWidget(
        Wrapped("If you have installed any anti-virus program that scans the "
                "messages sending out from your computer, you may need to set a "
                "delay time to avoid Dovrant disconnecting from Internet before "
                "these programs complete the scanning process.",
                grpDisconnection));
    inner->addWidget(
        new QLabel("** This option apply to dial-up connection only.", grpDisconnection));
    auto* delay = new QHBoxLayout;
    delay->addWidget(new QLabel("Delay time:", grpDisconnection));
    delay->addWidget(spnedtDelay = Spin(0, 1440, grpDisconnection));
    spnedtDelay->setValue(5);
    delay->addWidget(
        Wrapped("mins. (0 = disconnect from Internet with no delay.)", grpDisconnection), 1);
    inner->addLayout(delay);
    column->addWidget(grpDisconnection);
    column->addStretch(1);
    dialupWidgets_ = {lblDialup, cbxDialup, grpDisconnection};
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->addWidget(group);
    outer->addWidget(
        chkAutostart = new QCheckBox("Start Quillbern Dovrant when I log in to the desktop", page));
    return page;
}

QWidget* Tso_frmOption::BuildNetwork() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    auto addServer = [&](QCheckBox*& box, const char* caption, const char* serverLabel,
                         QLineEdit*& addr, QLineEdit*& port, QLineEdit*& user, QLineEdit*& pwd,
                         std::vector<QWidget*>& widgets) {
        column->addWidget(box = new QCheckBox(caption, page));
        auto* grid = new QGridLayout;
        grid->setContentsMargins(20, 0, 0, 0);
        auto* l1 = new QLabel(serverLabel, page);
        auto* l2 = new QLabel("Port", page);
        auto* l3 = new QLabel("User ID", page);
        auto* l4 = new QLabel("Password", page);
        grid->addWidget(l1, 0, 0);
        grid->addWidget(addr = new QLineEdit(page), 0, 1);
        grid->addWidget(l2, 0, 2);
        grid->addWidget(port = new QLineEdit(page), 0, 3);
        DigitsOnly(port);
        port->setFixedWidth(60);
        grid->addWidget(l3, 1, 0);
        grid->addWidget(user = new QLineEdit(page), 1, 1);
        grid->addWidget(l4, 1, 2);
        grid->addWidget(pwd = new QLineEdit(page), 1, 3);
        pwd->setEchoMode(QLineEdit::Password);
        column->addLayout(grid);
        widgets = {addr, port, user, pwd, l1, l2, l3, l4};
    };
    addServer(chkbox_UseProxy, "Proxy", "Proxy Server", edt_ProxyAddr, edt_ProxyPort,
              edt_ProxyUserID, edt_ProxyPwd, proxyWidgets_);
    addServer(chkbox_UseFirewall, "Firewall", "Firewall Server", edt_FWAddr, edt_FWPort,
              edt_FWUserID, edt_FWPwd, firewallWidgets_);
    auto* timeout = new QGroupBox("Timeout", page);
    auto* row = new QHBoxLayout(timeout);
    row->addWidget(new QLabel("Timeout if server has no response in", timeout));
    row->addWidget(edt_Timeout = new QLineEdit(timeout));
    DigitsOnly(edt_Timeout);
    edt_Timeout->setFixedWidth(50);
    row->addWidget(new QLabel("seconds", timeout));
    row->addStretch(1);
    column->addWidget(timeout);
    auto* certificate = new QGroupBox("Server certificate", page);
    auto* certGrid = new QGridLayout(certificate);
    certGrid->addWidget(chkVerifyCert = new QCheckBox(
                            "Refuse a certificate the system does not trust", certificate),
                        0, 0, 1, 2);
    certGrid->addWidget(new QLabel("Accept only SHA-256", certificate), 1, 0);
    certGrid->addWidget(edt_CertSha256 = new QLineEdit(certificate), 1, 1);
    edt_CertSha256->setPlaceholderText("any certificate");
    certGrid->addWidget(lblCertWarning = new QLabel(certificate), 2, 0, 1, 2);
    lblCertWarning->setStyleSheet("QLabel { color: #b00000; }");
    column->addWidget(certificate);
    column->addStretch(1);
    return page;
}

QWidget* Tso_frmOption::BuildHousekeep() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(chkPurge = new QCheckBox("Auto Purge", page));
    pnlPurge = new QWidget(page);
    auto* grid = new QGridLayout(pnlPurge);
    grid->addWidget(new QLabel("Perform housekeeping every ", pnlPurge), 0, 0);
    grid->addWidget(spnedtPurgeInterval = Spin(1, 999, pnlPurge), 0, 1);
    spnedtPurgeInterval->setValue(14);
    grid->addWidget(new QLabel("day(s)", pnlPurge), 0, 2);
    auto* filter = new TNoDeleteFilter(this);
    auto addAge = [&](int row, const char* text, const char* word, const char* hint,
                      QSpinBox*& spin, QComboBox*& unit) {
        auto* label = Wrapped(QString(text) + "<u>" + word + "</u>", pnlPurge);
        label->setToolTip(hint);
        grid->addWidget(label, row, 0);
        grid->addWidget(spin = Spin(1, 99, pnlPurge), row, 1);
        spin->installEventFilter(filter);
        grid->addWidget(unit = List(AgeUnitItems(), pnlPurge, true), row, 2);
    };
    addAge(1, "Delete the files in Inbox folder that have been received more than ", "Inbox",
           "Inbox is the folder which stores the interface files sent to users.", spnedtInboxTime,
           cbxInboxUnit);
    addAge(2, "Delete the files in Sentbox folder that have been sent more than ", "Sentbox",
           "Interface files that had been sent out from DVR will be stored in Sentbox folder for "
           "supporting purpose.",
           spnedtSentboxTime, cbxSentboxUnit);
    addAge(3, "Delete System log files in Log folder which had been created more than ",
           "System log files",
           "System log is a file which records users' operations for supporting purpose.",
           spnedtSysLogTime, cbxSysLogUnit);
    column->addWidget(pnlPurge);
    // Purged whenever housekeeping runs, automatic or asked for.
    auto* history = new QHBoxLayout;
    history->addWidget(new QLabel("Keep the transfer history for ", page));
    history->addWidget(spnedtHistoryDays = Spin(1, 36500, page));
    history->addWidget(new QLabel("day(s)", page));
    history->addStretch(1);
    column->addLayout(history);
    column->addStretch(1);
    column->addWidget(btnHousekeep = new QPushButton("Housekeep now", page), 0, Qt::AlignRight);
    return page;
}

void Tso_frmOption::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    controller_->FormShow();
}

void Tso_frmOption::Run(void (TOptionController::*handler)()) {
    try {
        (controller_.get()->*handler)();
    } catch (const std::exception& error) {
        OperatorView().MessageBox(TMsgKind::Error, error.what(), "", TMsgButtons::OK);
    }
}

void Tso_frmOption::ShowValues(const TOptionValues& v) {
    edt_EmailAddr->setText(QText(v.EmailAddr));
    edt_LoginID->setText(QText(v.LoginID));
    edt_Pwd->setText(QText(v.Password));
    QRadioButton* options[] = {rbschedule1, rbschedule2, rbschedule3};
    if (v.ConnectOption >= 1 && v.ConnectOption <= 3)
        options[v.ConnectOption - 1]->setChecked(true);
    QRadioButton* cycles[] = {rbschedule4, rbschedule5, rbschedule6};
    if (v.ConnectAtCycle >= 1 && v.ConnectAtCycle <= 3)
        cycles[v.ConnectAtCycle - 1]->setChecked(true);
    edtMin->setText(QText(v.EveryMin));
    Select(cbxHour, v.Hour);
    Select(cbxMin, v.Minute);
    Select(cbxAMPM, v.AmPm);
    int year = 1899, month = 12, day = 30;
    DecodeDate(v.ConnectAtOn, year, month, day);
    DTPickerDate->setMinimumDate(QDate(1899, 12, 30));
    DTPickerDate->setDate(QDate(year, month, day));
    for (size_t i = 0; i < 7; ++i) chkDays[i]->setChecked(v.Days[i]);
    (v.LeaseLine ? rbLeaseLine : rbDialup)->setChecked(true);
    cbxDialup->clear();
    for (const auto& profile : v.DialupProfiles) cbxDialup->addItem(QText(profile));
    Select(cbxDialup, v.DialupProfile);
    spnedtDelay->setValue(v.DialupDelay);
    chkAutostart->setChecked(v.Autostart);
    chkbox_UseProxy->setChecked(v.UseProxy);
    edt_ProxyAddr->setText(QText(v.ProxyAddr));
    edt_ProxyPort->setText(QText(v.ProxyPort));
    edt_ProxyUserID->setText(QText(v.ProxyUserID));
    edt_ProxyPwd->setText(QText(v.ProxyPwd));
    chkbox_UseFirewall->setChecked(v.UseFirewall);
    edt_FWAddr->setText(QText(v.FWAddr));
    edt_FWPort->setText(QText(v.FWPort));
    edt_FWUserID->setText(QText(v.FWUserID));
    edt_FWPwd->setText(QText(v.FWPwd));
    edt_Timeout->setText(QText(v.Timeout));
    chkVerifyCert->setChecked(v.VerifyServerCert);
    edt_CertSha256->setText(QText(v.ServerCertSha256));
    chkPurge->setChecked(v.AutoPurge);
    spnedtPurgeInterval->setValue(v.PurgeInterval);
    spnedtInboxTime->setValue(v.Inbox.Number);
    cbxInboxUnit->setCurrentText(QText(v.Inbox.Unit));
    spnedtSentboxTime->setValue(v.Sentbox.Number);
    cbxSentboxUnit->setCurrentText(QText(v.Sentbox.Unit));
    spnedtSysLogTime->setValue(v.SysLog.Number);
    cbxSysLogUnit->setCurrentText(QText(v.SysLog.Unit));
    spnedtHistoryDays->setValue(v.HistoryDays);
}

TOptionValues Tso_frmOption::Values() const {
    TOptionValues v;
    v.EmailAddr = StdText(edt_EmailAddr->text());
    v.LoginID = StdText(edt_LoginID->text());
    v.Password = StdText(edt_Pwd->text());
    v.ConnectOption = rbschedule1->isChecked()   ? 1
                      : rbschedule2->isChecked() ? 2
                      : rbschedule3->isChecked() ? 3
                                                 : 0;
    v.ConnectAtCycle = rbschedule4->isChecked()   ? 1
                       : rbschedule5->isChecked() ? 2
                       : rbschedule6->isChecked() ? 3
                                                  : 0;
    v.EveryMin = StdText(edtMin->text());
    v.Hour = StdText(cbxHour->currentText());
    v.Minute = StdText(cbxMin->currentText());
    v.AmPm = StdText(cbxAMPM->currentText());
    const QDate date = DTPickerDate->date();
    v.ConnectAtOn = EncodeDate(date.year(), date.month(), date.day());
    for (size_t i = 0; i < 7; ++i) v.Days[i] = chkDays[i]->isChecked();
    v.LeaseLine = rbLeaseLine->isChecked();
    for (int i = 0; i < cbxDialup->count(); ++i)
        v.DialupProfiles.push_back(StdText(cbxDialup->itemText(i)));
    v.DialupProfile = StdText(cbxDialup->currentText());
    v.DialupDelay = spnedtDelay->value();
    v.Autostart = chkAutostart->isChecked();
    v.UseProxy = chkbox_UseProxy->isChecked();
    v.ProxyAddr = StdText(edt_ProxyAddr->text());
    v.ProxyPort = StdText(edt_ProxyPort->text());
    v.ProxyUserID = StdText(edt_ProxyUserID->text());
    v.ProxyPwd = StdText(edt_ProxyPwd->text());
    v.UseFirewall = chkbox_UseFirewall->isChecked();
    v.FWAddr = StdText(edt_FWAddr->text());
    v.FWPort = StdText(edt_FWPort->text());
    v.FWUserID = StdText(edt_FWUserID->text());
    v.FWPwd = StdText(edt_FWPwd->text());
    v.Timeout = StdText(edt_Timeout->text());
    v.VerifyServerCert = chkVerifyCert->isChecked();
    v.ServerCertSha256 = StdText(edt_CertSha256->text());
    v.AutoPurge = chkPurge->isChecked();
    v.PurgeInterval = spnedtPurgeInterval->value();
    v.Inbox = {spnedtInboxTime->value(), StdText(cbxInboxUnit->currentText())};
    v.Sentbox = {spnedtSentboxTime->value(), StdText(cbxSentboxUnit->currentText())};
    v.SysLog = {spnedtSysLogTime->value(), StdText(cbxSysLogUnit->currentText())};
    v.HistoryDays = spnedtHistoryDays->value();
    return v;
}

void Tso_frmOption::SetGroupEnabled(TOptionGroup group, bool enabled) {
    auto setAll = [enabled](std::initializer_list<QWidget*> widgets) {
        for (QWidget* widget : widgets) widget->setEnabled(enabled);
    };
    switch (group) {
        case TOptionGroup::EveryMinutes:
            setAll({edtMin});
            break;
        case TOptionGroup::AtTime:
            setAll({cbxHour, cbxMin, cbxAMPM, rbschedule4, rbschedule5, rbschedule6});
            break;
        case TOptionGroup::AtDate:
            setAll({DTPickerDate});
            break;
        case TOptionGroup::AtDays:
            for (QCheckBox* box : chkDays) box->setEnabled(enabled);
            break;
        case TOptionGroup::Dialup:
            for (QWidget* widget : dialupWidgets_) widget->setEnabled(enabled);
            break;
        case TOptionGroup::Proxy:
            for (QWidget* widget : proxyWidgets_) widget->setEnabled(enabled);
            break;
        case TOptionGroup::Firewall:
            for (QWidget* widget : firewallWidgets_) widget->setEnabled(enabled);
            break;
        case TOptionGroup::Purge:
            setAll({pnlPurge});
            break;
    }
}

void Tso_frmOption::ShowCertificateWarning(const std::string& text) {
    lblCertWarning->setText(QText(text));
    lblCertWarning->setVisible(!text.empty());
}

void Tso_frmOption::ShowPage(TOptionPage page) {
    PageControl->setCurrentIndex(static_cast<int>(page));
}

void Tso_frmOption::FocusField(TOptionField field) {
    QWidget* widgets[] = {
        edt_EmailAddr, edt_LoginID,   edt_Pwd,       edtMin,          cbxHour,       chkDays[0],
        cbxDialup,     edt_ProxyAddr, edt_ProxyPort, edt_ProxyUserID, edt_ProxyPwd,  edt_FWAddr,
        edt_FWPort,    edt_FWUserID,  edt_FWPwd,     edt_Timeout,     edt_CertSha256};
    QWidget* target = widgets[static_cast<int>(field)];
    if (target->isEnabled()) target->setFocus();
}

std::optional<TImportedCompany> Tso_frmOption::RunSetupDrive() {
    TSetupDriveDlg drive(this, MediaRoots, TempBase);
    if (drive.exec() != QDialog::Accepted) return std::nullopt;
    return drive.Imported();
}

void Tso_frmOption::CloseDialog(bool accepted) {
    if (accepted) {
        closing_ = true;
        accept();
    } else {
        reject();
    }
}

void Tso_frmOption::reject() {
    if (closing_ || controller_->FormClose(false)) QDialog::reject();
}
