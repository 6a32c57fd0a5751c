// The window's side of IMainView, and the Qt events it forwards to the controller.

#include <QCloseEvent>
#include <QFontMetrics>
#include <algorithm>
#include <exception>

#include "app/create_form_waiting.h"
#include "app/so_main.h"
#include "common/settings.h"
#include "dialogs/about_dlg.h"
#include "dialogs/qt_text.h"
#include "dialogs/so_option.h"
#include "dialup/dial_info.h"

namespace {

// The folder panel's width in the design; it grows when a counter caption needs more.
constexpr int kPanelWidth = 71;
constexpr int kPanelPadding = 4;

}  // namespace

void Tso_frmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (shown_) return;
    shown_ = true;
    controller_->RunHandler(&TMainController::FormShow);
}

void Tso_frmMain::closeEvent(QCloseEvent* e) {
    if (HideToTray(e)) return;
    bool accept = controller_->ClosedDown();
    if (!accept) {
        try {
            accept = controller_->FormClose();
        } catch (const std::exception& error) {
            ShowHandlerError(error);
        }
    }
    if (accept)
        e->accept();
    else
        e->ignore();
}

QLabel* Tso_frmMain::LabelOf(TMainText text) const {
    switch (text) {
        case TMainText::InboxCount:
            return lblInboxCnt;
        case TMainText::OutboxCount:
            return lblOutboxCnt;
        case TMainText::ErrorCount:
            return lblErrorCnt;
        case TMainText::SendFile:
            return lblFileName;
        case TMainText::ReceiveState:
            return lblReceive;
        case TMainText::Status:
            return StatusPanel0;
        case TMainText::SendCaption:
        case TMainText::ReceiveCaption:
            break;
    }
    return nullptr;
}

void Tso_frmMain::SetText(TMainText text, const std::string& value) {
    if (text == TMainText::SendCaption) return GrpbxSend->setTitle(QText(value));
    if (text == TMainText::ReceiveCaption) return GrpbxRecv->setTitle(QText(value));
    LabelOf(text)->setText(QText(value));
    if (text == TMainText::InboxCount || text == TMainText::OutboxCount ||
        text == TMainText::ErrorCount) {
        // Large counts ("Inbox (12345)") would be cut off in the design's narrow panel.
        int widest = 0;
        for (QLabel* label : {lblInboxCnt, lblOutboxCnt, lblErrorCnt})
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(label->text()));
        Panel1->setFixedWidth(std::max(kPanelWidth, widest + kPanelPadding));
    }
}

void Tso_frmMain::SetProgress(TMainTransfer transfer, bool visible, int position) {
    QProgressBar* bar = transfer == TMainTransfer::Send ? ProgressBar_Send : ProgressBar_receive;
    bar->setVisible(visible);
    bar->setValue(position);
}

void Tso_frmMain::SetAnimation(TMainTransfer transfer, bool playing) {
    TActivityIndicator* wheel = transfer == TMainTransfer::Send ? Animate_Send : Animate_Receive;
    if (playing)
        wheel->Play();
    else
        wheel->Stop();
}

QAction* Tso_frmMain::ActionOf(TMainAction action) const {
    switch (action) {
        case TMainAction::ReceiveNow:
            return ReceiveNow;
        case TMainAction::PauseAutoImport:
            return PauseAutoImport;
        case TMainAction::ResumeAutoImport:
            return ResumeAutoImport;
        case TMainAction::OpenOption:
            return OpenOption;
    }
    return nullptr;
}

void Tso_frmMain::SetActionState(TMainAction action, bool enabled, bool visible) {
    QAction* target = ActionOf(action);
    target->setEnabled(enabled);
    target->setVisible(visible);
}

void Tso_frmMain::OpenFolder(const std::string& folder) {
    if (FolderOpener) FolderOpener(folder);
}

void Tso_frmMain::ShowAbout() {
    auto about = CreateFormWaiting<TAboutDlg>(this);
    about->exec();
}

void Tso_frmMain::ShowOption() {
    if (!UserIni) return;
    // Listed as the dial-up dialog lists them; none when the phone book cannot be read.
    std::vector<std::string> entries;
    DialInfoEntries(entries);
    auto option = CreateFormWaiting<Tso_frmOption>(this, *UserIni, std::move(entries));
    option->exec();
    const bool closeMain = option->MainCloseRequested();
    option.reset();
    if (closeMain) RequestClose();
}

void Tso_frmMain::RequestClose() { close(); }
