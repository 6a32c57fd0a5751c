#include "dialogs/ras_entry_dlg.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "common/view.h"
#include "dialogs/qt_text.h"

namespace {

QLineEdit* Field(QFormLayout* form, const char* label, const std::string& text) {
    auto* edit = new QLineEdit(QText(text));
    form->addRow(label, edit);
    return edit;
}

}  // namespace

TRasEntryDlg::TRasEntryDlg(const TRasEntry& entry, bool isNew, QWidget* parent)
    : QDialog(parent), entry_(entry), isNew_(isNew) {
    setWindowTitle(isNew ? "New Connection Entry" : "Connection Entry - " + QText(entry.Name));
    setModal(true);
    const TRasEntryForm values = RasEntryFormOf(entry);

    auto* common = new QFormLayout;
    edtName = Field(common, "&Entry name:", values.Name);
    cboLine = new QComboBox;
    cboLine->addItems({"Simulated line", "Commands"});
    cboLine->setCurrentIndex(values.CommandLine ? 1 : 0);
    common->addRow("&Kind of line:", cboLine);
    edtPhone = Field(common, "P&hone number:", values.PhoneNumber);
    edtUser = Field(common, "&User name:", values.UserName);
    edtPassword = Field(common, "&Password:", values.Password);
    edtPassword->setEchoMode(QLineEdit::Password);
    chkSavepwd = new QCheckBox("&Save password");
    chkSavepwd->setChecked(values.SavePassword);
    common->addRow("", chkSavepwd);
    edtDomain = Field(common, "&Domain:", values.Domain);

    auto* commandPage = new QWidget;
    auto* commands = new QFormLayout(commandPage);
    edtUp = Field(commands, "Up co&mmand:", values.UpCommand);
    edtDown = Field(commands, "Do&wn command:", values.DownCommand);
    edtStatus = Field(commands, "S&tatus command:", values.StatusCommand);
    edtStatusUpText = Field(commands, "Up te&xt in status:", values.StatusUpText);
    edtTimeout = Field(commands, "T&ime limit (s):", values.CommandTimeout);
    chkPasswordByEnv = new QCheckBox("Pass&word in DOVRANT_PASSWORD (else standard input)");
    chkPasswordByEnv->setChecked(values.PasswordByEnvironment);
    commands->addRow("", chkPasswordByEnv);

    auto* simPage = new QWidget;
    auto* sim = new QFormLayout(simPage);
    edtSimStates = Field(sim, "S&tates (state/ms):", values.SimStates);
    edtSimResults = Field(sim, "&Outcomes:", values.SimResults);
    edtSimError = Field(sim, "Error c&ode:", values.SimError);
    edtSimDrop = Field(sim, "D&rop after (s):", values.SimDropAfter);
    edtSimHangUp = Field(sim, "Han&g-up time (ms):", values.SimHangUpMs);

    auto* pages = new QStackedWidget;
    pages->addWidget(simPage);
    pages->addWidget(commandPage);
    pages->setCurrentIndex(cboLine->currentIndex());
    connect(cboLine, &QComboBox::currentIndexChanged, pages, &QStackedWidget::setCurrentIndex);

    btnOK = new QPushButton("OK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* column = new QVBoxLayout(this);
    column->addLayout(common);
    column->addWidget(pages);
    column->addLayout(buttons);
    setMinimumWidth(460);
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TRasEntryDlg::btnOKClick() {
    TRasEntryForm form;
    form.Name = StdText(edtName->text());
    form.CommandLine = cboLine->currentIndex() == 1;
    form.PhoneNumber = StdText(edtPhone->text());
    form.UserName = StdText(edtUser->text());
    form.Password = StdText(edtPassword->text());
    form.SavePassword = chkSavepwd->isChecked();
    form.Domain = StdText(edtDomain->text());
    form.UpCommand = StdText(edtUp->text());
    form.DownCommand = StdText(edtDown->text());
    form.StatusCommand = StdText(edtStatus->text());
    form.StatusUpText = StdText(edtStatusUpText->text());
    form.CommandTimeout = StdText(edtTimeout->text());
    form.PasswordByEnvironment = chkPasswordByEnv->isChecked();
    form.SimStates = StdText(edtSimStates->text());
    form.SimResults = StdText(edtSimResults->text());
    form.SimError = StdText(edtSimError->text());
    form.SimDropAfter = StdText(edtSimDrop->text());
    form.SimHangUpMs = StdText(edtSimHangUp->text());
    TRasEntry entry = entry_;
    const std::string problem = ReadRasEntryForm(form, isNew_, entry);
    if (!problem.empty()) {
        OperatorView().MessageBox(TMsgKind::Error, problem, "", TMsgButtons::OK);
        return;
    }
    entry_ = entry;
    accept();
}

void InstallRasEntryDialog() {
    SetRasEntryEditor([](TRasEntry& entry, bool isNew) {
        TRasEntryDlg dialog(entry, isNew, QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted) return false;
        entry = dialog.Entry();
        return true;
    });
}
