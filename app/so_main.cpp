#include "app/so_main.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/folder_pictures.h"
#include "app/operator_tray.h"
#include "app/qt_operator_view.h"
#include "app/qt_pump.h"
#include "app/qt_timer.h"
#include "dialogs/dialup_forms.h"
#include "dialogs/qt_text.h"
#include "dialup/connect_mgr.h"
#include "operator/cycle_monitor.h"

namespace {

// Colours of the design: the folder panel is dark red, the working area light ivory.
const QColor kPanelRed(138, 0, 0);
const QColor kIvory(255, 255, 240);

void Paint(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Hidden widgets keep their room, so the group boxes do not jump when a transfer starts.
void KeepRoomWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QProgressBar* MakeProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setTextVisible(true);
    bar->setFixedHeight(16);
    KeepRoomWhenHidden(bar);
    bar->hide();
    return bar;
}

}  // namespace

Tso_frmMain::Tso_frmMain(TMainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setWindowTitle("Quillbern Dovrant ");
    FolderOpener = [](const std::string& folder) {
        QProcess::startDetached("xdg-open", {QText(folder)});
    };
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    BuildLeftPanel();
    BuildRightPanel();
    row->addWidget(Panel1);
    row->addWidget(RightPanel, 1);
    setCentralWidget(central);
    BuildActions();
    BuildMenus();
    StatusPanel0 = new QLabel(this);
    StatusPanel0->setMinimumWidth(50);
    statusBar()->addWidget(StatusPanel0, 1);
    statusBar()->setSizeGripEnabled(false);
    setFixedSize(418, 301);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    if (setup.InstallOperatorView) {
        operatorView_ = std::make_unique<TQtOperatorView>(this);
        SetOperatorView(operatorView_.get());
        InstallDialupForms();
    }
    if (!setup.MakeTimer) setup.MakeTimer = MakeQtTimer;
    if (!setup.EndProgram) setup.EndProgram = [](int code) { std::exit(code); };
    // The connection check dials with the dial-up entry's stored credentials, or asks for them.
    if (!setup.CheckConnection) setup.CheckConnection = [] { return CheckConnection(); };
    if (!setup.HangUpDialup) setup.HangUpDialup = [] { HangUpDialup(); };
    InstallQtPumpHook();
    controller_ = std::make_unique<TMainController>(std::move(setup), *this);
    controller_->ShowOption = [this] { ShowOption(); };
    Timer_RecvSchedule = controller_->Timer_RecvSchedule.get();
    Timer_Send = controller_->Timer_Send.get();
    Timer_Delay = controller_->Timer_Delay.get();
    BuildOperatorFeatures();
    controller_->FormCreate();
    ApplyOperatorSettings();
}

Tso_frmMain::~Tso_frmMain() {
    RemoveQtPumpHook();
    controller_.reset();
    delete Tray;  // before the monitor it reads
    Tray = nullptr;
    if (operatorView_) {
        SetOperatorView(nullptr);
        RemoveDialupForms();
    }
}

void Tso_frmMain::BuildLeftPanel() {
    Panel1 = new QWidget(this);
    Panel1->setFixedWidth(71);
    Paint(Panel1, kPanelRed);
    auto* column = new QVBoxLayout(Panel1);
    column->setContentsMargins(0, 10, 0, 10);
    column->setSpacing(2);
    auto addFolder = [&](TFolderPicture picture, const char* caption, const QString& tip,
                         QToolButton*& button, QLabel*& label) {
        button = new QToolButton(Panel1);
        button->setAutoRaise(true);  // flat until the pointer is over it
        button->setFixedSize(40, 40);
        button->setIcon(FolderPicture(picture));
        button->setIconSize(QSize(32, 32));
        button->setToolTip(tip);
        label = new QLabel(caption, Panel1);
        label->setAlignment(Qt::AlignCenter);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(palette);
        column->addWidget(button, 0, Qt::AlignHCenter);
        column->addWidget(label);
        column->addStretch(1);
    };
    addFolder(TFolderPicture::Inbox, "Inbox (0)", "Inbox", btnInbox, lblInboxCnt);
    addFolder(TFolderPicture::Outbox, "Outbox (0)", "Outbox", btnOutbox, lblOutboxCnt);
    addFolder(TFolderPicture::Error, "Error (0)", "Error", btnError, lblErrorCnt);
}

void Tso_frmMain::BuildRightPanel() {
    RightPanel = new QWidget(this);
    Paint(RightPanel, kIvory);
    RightPanel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RightPanel, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu->popup(RightPanel->mapToGlobal(at)); });
    auto* column = new QVBoxLayout(RightPanel);
    column->setContentsMargins(10, 8, 10, 8);
    column->setSpacing(8);
    auto addGroup = [&](const char* caption, QColor wheel, QGroupBox*& group, QLabel*& label,
                        TActivityIndicator*& animation, QProgressBar*& bar) {
        group = new QGroupBox(caption, RightPanel);
        auto* inside = new QVBoxLayout(group);
        auto* line = new QHBoxLayout;
        animation = new TActivityIndicator(wheel, group);
        KeepRoomWhenHidden(animation);
        label = new QLabel(group);
        label->setMinimumWidth(10);
        line->addWidget(animation);
        line->addWidget(label, 1);
        inside->addLayout(line);
        bar = MakeProgressBar(group);
        inside->addWidget(bar);
        column->addWidget(group, 1);
    };
    addGroup(" Send ", QColor(40, 90, 200), GrpbxSend, lblFileName, Animate_Send, ProgressBar_Send);
    addGroup(" Receive ", QColor(40, 150, 60), GrpbxRecv, lblReceive, Animate_Receive,
             ProgressBar_receive);
}

void Tso_frmMain::BuildActions() {
    auto make = [this](const char* caption, void (TMainController::*handler)()) {
        auto* action = new QAction(caption, this);
        connect(action, &QAction::triggered, this,
                [this, handler] { controller_->RunHandler(handler); });
        return action;
    };
    OpenInbox = make("&Inbox", &TMainController::OpenInboxExecute);
    OpenOutbox = make("&Outbox", &TMainController::OpenOutboxExecute);
    OpenError = make("&Error", &TMainController::OpenErrorExecute);
    ReceiveNow = make("&Receive Now", &TMainController::ReceiveNowExecute);
    ReceiveNow->setShortcut(Qt::Key_F5);
    ReceiveNow->setShortcutContext(Qt::WindowShortcut);
    OpenOption = make("&Option", &TMainController::OpenOptionExecute);
    PauseAutoImport = make("&Pause Auto Import", &TMainController::PauseAutoImportExecute);
    ResumeAutoImport = make("R&esume Auto Import", &TMainController::ResumeAutoImportExecute);
    About = make("&About", &TMainController::AboutExecute);
    Exit1 = make("E&xit", &TMainController::Exit1Click);
    BuildOperatorActions();
    addAction(ReceiveNow);  // F5 works wherever the focus is in the window
    connect(btnInbox, &QToolButton::clicked, OpenInbox, &QAction::trigger);
    connect(btnOutbox, &QToolButton::clicked, OpenOutbox, &QAction::trigger);
    connect(btnError, &QToolButton::clicked, OpenError, &QAction::trigger);
}

void Tso_frmMain::BuildMenus() {
    File1 = menuBar()->addMenu("&File");
    File1->addAction(OpenInbox);
    File1->addAction(OpenOutbox);
    File1->addAction(OpenError);
    File1->addSeparator();
    File1->addAction(FailedFiles);
    File1->addAction(LogView);
    File1->addAction(History);
    File1->addSeparator();
    File1->addAction(Exit1);
    Tool1 = menuBar()->addMenu("&Tool");
    Tool1->addAction(ReceiveNow);
    Tool1->addSeparator();
    Tool1->addAction(ResumeAutoImport);
    Tool1->addAction(PauseAutoImport);
    Tool1->addSeparator();
    Tool1->addAction(OpenOption);
    Tool1->addSeparator();
    Tool1->addAction(Notifications);
    Tool1->addAction(CloseToTray);
    About1 = menuBar()->addMenu("&About");
    About1->addAction(About);
    PopupMenu = new QMenu(this);
    PopupMenu->addAction(ReceiveNow);
    PopupMenu->addSeparator();
    PopupMenu->addAction(ResumeAutoImport);
    PopupMenu->addAction(PauseAutoImport);
    PopupMenu->addSeparator();
    PopupMenu->addAction(OpenOption);
}
