#include "dialogs/dial_dlg.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "dialogs/dial_pictures.h"
#include "dialogs/qt_text.h"

TfrmDial::TfrmDial(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinimizeButtonHint) {
    setModal(false);
    QLabel** frames[] = {&imgDial01, &ImgDial02, &imgDial03, &imgDial04};
    for (int i = 0; i < 4; ++i) {
        QLabel* image = new QLabel(this);
        image->setPixmap(DialFramePicture(i + 1));
        image->setGeometry(15, 20, 32, 32);
        image->setVisible(i == 3);
        *frames[i] = image;
    }
    lblMsg = new QLabel(this);
    lblMsg->setGeometry(60, 16, 186, 41);
    lblMsg->setWordWrap(true);
    lblMsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    btnCancel = new QPushButton("Cance&l", this);
    btnCancel->setGeometry(258, 24, 80, 27);
    btnCancel->setDefault(true);
    setFixedSize(349, 79);
    btnCancel->setFocus();

    TmrTimer = new QTimer(this);
    TmrTimer->setInterval(1000);
    connect(TmrTimer, &QTimer::timeout, this, [this] {
        if (form_) form_->TimerTick();
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        if (form_) form_->CancelClicked();
    });
    TmrTimer->start();
}

void TfrmDial::SetCaption(const std::string& text) { setWindowTitle(QText(text)); }

void TfrmDial::SetStatus(const std::string& text) { lblMsg->setText(QText(text)); }

void TfrmDial::ShowModeless() {
    show();
    raise();
}

void TfrmDial::Minimize() { showMinimized(); }

void TfrmDial::Close() { close(); }

void TfrmDial::ShowFrame(int frame) {
    imgDial01->setVisible(frame == 1);
    ImgDial02->setVisible(frame == 2);
    imgDial03->setVisible(frame == 3);
    imgDial04->setVisible(frame == 4);
}

void TfrmDial::closeEvent(QCloseEvent* event) {
    // Either way the window goes out of sight; while a dial runs the close also cancels it, and
    // the run disposes of the form when it ends.
    if (form_) form_->CloseRequested();
    event->accept();
}

void TfrmDial::reject() {
    if (form_) form_->CancelClicked();
}
