#include <QApplication>
#include <QCloseEvent>
#include <QThread>
#include <exception>

#include "app/create_form_waiting.h"
#include "app/so_main.h"
#include "app/window_message_event.h"
#include "common/housekeeping.h"
#include "common/settings.h"
#include "common/single_instance.h"
#include "common/syslog.h"
#include "common/view.h"
#include "common/window_messages.h"
#include "dialogs/about_dlg.h"
#include "dialogs/qt_text.h"
#include "common/outbox_scan.h"

namespace {

constexpr int kSendScanMs = 5000;
constexpr int kScheduleTickMs = 60000;

void ShowHandlerError(const std::exception& e) {
    OperatorView().MessageBox(TMsgKind::Error, e.what(), "", TMsgButtons::OK);
}

}  // namespace

void Tso_frmMain::RunHandler(void (Tso_frmMain::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& e) {
        ShowHandlerError(e);
    }
}

void Tso_frmMain::FormCreate() {
    try {
        LoadSettings(Setup.ProgramDir, Setup.ComputerName);
        // The forced-upgrade check joins here together with the transfer cycle control.
    } catch (const std::exception& e) {
        ShowHandlerError(e);  // the window is still created and the program runs on
    }
}

void Tso_frmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (Shown) return;
    Shown = true;
    RunHandler(&Tso_frmMain::FormShow);
}

void Tso_frmMain::FormShow() {
    SetCounterSink([this](const TFolderCounts& counts) {
        if (QThread::currentThread() == thread())
            ShowCounters(counts);
        else  // a worker counted: the labels are set on the main thread
            QMetaObject::invokeMethod(
                this, [this, counts] { ShowCounters(counts); }, Qt::QueuedConnection);
    });
    RefreshCounters();
    Timer_Send->SetInterval(kSendScanMs);
    SetAutoImport(ProgramInfo.AutoImport);
    if (ScheduleEnabled) {
        Timer_RecvSchedule->SetInterval(kScheduleTickMs);
        Timer_RecvSchedule->SetEnabled(true);
    }
    Timer_Delay->SetEnabled(false);
    Timer_Delay->SetInterval(ConnectionInfo.DialupDelay * 60 * 1000);
}

void Tso_frmMain::ShowCounters(const TFolderCounts& counts) {
    lblInboxCnt->setText(QText(CounterCaption("Inbox", counts.Inbox)));
    lblOutboxCnt->setText(QText(CounterCaption("Outbox", counts.Outbox)));
    lblErrorCnt->setText(QText(CounterCaption("Error", counts.Error)));
}

void Tso_frmMain::SetStatusText(const std::string& text) { StatusPanel0->setText(QText(text)); }

void Tso_frmMain::closeEvent(QCloseEvent* e) {
    bool accept = Closed;
    if (!accept) {
        try {
            accept = FormClose();
        } catch (const std::exception& error) {
            ShowHandlerError(error);
        }
    }
    if (accept)
        e->accept();
    else
        e->ignore();
}

bool Tso_frmMain::FormClose() {
    if (!(SendIdle && RecvIdle && DialIdle)) {
        OperatorView().MessageBox(
            TMsgKind::Information,
            "Unable to close application now. Message(s) are being sent or received.", "",
            TMsgButtons::OK);
        HousekeepNow = false;
        return false;
    }
    if (Timer_Delay->Enabled()) {
        // A dialled line is held open for a delayed hang-up; it is not hung up here.
        TMsgAnswer answer = OperatorView().MessageBox(
            TMsgKind::Information,
            "If you want to close application now, please disconnect the internet connection "
            "manually.\n\rClose now?",
            "", TMsgButtons::YesNo);
        if (answer != TMsgAnswer::Yes) return false;
        WriteLog("Close program when internet connection still exists", 1);
        Timer_Delay->SetEnabled(false);
    }
    Timer_RecvSchedule->SetEnabled(false);
    Timer_Send->SetEnabled(false);
    CloseDown();
    return true;
}

void Tso_frmMain::CloseDown() {
    // Whatever housekeeping or the log raise, the settings and the lock file are released.
    try {
        CheckHousekeeping();
    } catch (const std::exception& e) {
        ShowHandlerError(e);
    }
    try {
        WriteLog("Close program", 1);
    } catch (const std::exception&) {
    }
    SetCounterSink({});
    SetMainWindowPoster({});
    ReleaseSettings();
    if (Setup.LockFile) Setup.LockFile->Delete();
    Closed = true;
}

bool Tso_frmMain::event(QEvent* e) {
    int type = static_cast<int>(e->type());
    if (type == WM_SENDPROGRESS || type == WM_RECVPROGRESS) {
        auto* message = static_cast<TWindowMessageEvent*>(e);
        QProgressBar* bar = type == WM_SENDPROGRESS ? ProgressBar_Send : ProgressBar_receive;
        bar->setVisible(true);
        bar->setValue(static_cast<int>(message->LParam));
        return true;
    }
    return QMainWindow::event(e);
}

void Tso_frmMain::OpenDataFolder(const char* logText, const std::string& folder) {
    WriteLog(logText, 1);
    RefreshCounters();
    OpenFolder(folder);  // a start failure is not reported
}

void Tso_frmMain::OpenInboxExecute() { OpenDataFolder("Open Inbox folder", ProgramInfo.InboxPath); }

void Tso_frmMain::OpenOutboxExecute() {
    OpenDataFolder("Open Outbox folder", ProgramInfo.OutboxPath);
}

void Tso_frmMain::OpenErrorExecute() { OpenDataFolder("Open Error folder", ProgramInfo.ErrorPath); }

void Tso_frmMain::Exit1Click() { close(); }

void Tso_frmMain::OpenOptionExecute() {
    // The options dialog is opened here once it exists.
}

void Tso_frmMain::AboutExecute() {
    auto about = CreateFormWaiting<TAboutDlg>(this);
    about->exec();
}

void Tso_frmMain::ReceiveNowExecute() {
    // Starting a receive cycle is added with the transfer cycle control.
}

void Tso_frmMain::PauseAutoImportExecute() { SetAutoImport(false); }

void Tso_frmMain::ResumeAutoImportExecute() {
    if (!ProgramInfo.AutoImport) SetAutoImport(true);
}

void Tso_frmMain::SetAutoImport(bool on) {
    // Not written to USER.INI: a pause lasts until the program ends.
    ProgramInfo.AutoImport = on;
    Timer_Send->SetEnabled(on);
    PauseAutoImport->setEnabled(on);
    PauseAutoImport->setVisible(on);
    ResumeAutoImport->setEnabled(!on);
    ResumeAutoImport->setVisible(!on);
    GrpbxSend->setTitle(on ? " Send " : " Send (Pause) ");
    WriteLog(on ? "Resume Auto Import" : "Pause Auto Import", 1);
}

void Tso_frmMain::Timer_SendTimer() {
    Timer_Send->SetEnabled(false);
    struct TRearm {
        Tso_frmMain* Window;
        ~TRearm() {
            if (SendIdle) Window->Timer_Send->SetEnabled(ProgramInfo.AutoImport);
        }
    } rearm{this};
    RefreshCounters();
    ScanOutbox();
    // A send cycle for the queued files starts here once the transfer cycle control exists.
}

void Tso_frmMain::Timer_RecvScheduleTimer() { RefreshCounters(); }

void Tso_frmMain::Timer_DelayTimer() { RefreshCounters(); }
