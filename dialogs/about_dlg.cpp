#include "dialogs/about_dlg.h"

#include <QDate>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

#include "common/settings.h"
#include "dialogs/qt_text.h"

namespace {

// The narrow picture strip on the left edge: a dark red band fading to ivory.
QPixmap StripPicture(int width, int height) {
    QPixmap pixmap(width, height);
    QPainter p(&pixmap);
    QLinearGradient fade(0, 0, 0, height);
    fade.setColorAt(0, QColor(138, 0, 0));
    fade.setColorAt(1, QColor(255, 255, 240));
    p.fillRect(pixmap.rect(), fade);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 160), 2));
    for (int y = 24; y < height / 2; y += 18) p.drawEllipse(QPointF(width / 2.0, y), 4, 4);
    return pixmap;
}

// The small picture in front of the year of the ownership line.
QPixmap CopyrightPicture() {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(0, 0, 12, 12), Qt::AlignCenter, "C");
    return pixmap;
}

QLabel* Caption(const QString& text, QWidget* parent, bool bold = false) {
    auto* label = new QLabel(text, parent);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

}  // namespace

TAboutDlg::TAboutDlg(QWidget* parent, TReadFacts readFacts)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ReadFacts(std::move(readFacts)) {
    setModal(true);
    setFixedSize(366, 369);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* Panel3 = new QFrame(this);
    Panel3->setFixedWidth(28);
    auto* strip = new QVBoxLayout(Panel3);
    strip->setContentsMargins(0, 0, 0, 0);
    auto* Image1 = new QLabel(Panel3);
    Image1->setPixmap(StripPicture(28, 369));
    strip->addWidget(Image1);
    outer->addWidget(Panel3);

    auto* body = new QWidget(this);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(14, 14, 14, 12);
    column->setSpacing(6);
    Label4 = Caption("Quillbern Dovrant", body, true);
    QFont title = Label4->font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    Label4->setFont(title);
    column->addWidget(Label4);
    lblVersion = new QLabel(body);
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    column->addWidget(lblVersion);
    column->addWidget(BuildRightsNotice());
    auto* Bevel1 = new QFrame(body);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    column->addWidget(Bevel1);
    Notebook = new QStackedWidget(body);
    Notebook->addWidget(BuildDefaultPage());
    Notebook->addWidget(BuildVersionPage());
    column->addWidget(Notebook, 1);
    ExpBtn1 = new QPushButton("OK", body);
    ExpBtn1->setDefault(true);
    connect(ExpBtn1, &QPushButton::clicked, this, &QDialog::accept);
    column->addWidget(ExpBtn1, 0, Qt::AlignRight);
    outer->addWidget(body, 1);
}

QWidget* TAboutDlg::BuildRightsNotice() {
    auto* notice = new QWidget(this);
    auto* column = new QVBoxLayout(notice);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* ownership = new QHBoxLayout;
    auto* Label3D3 = new QLabel("Copyright", notice);
    auto* Image2 = new QLabel(notice);
    Image2->setPixmap(CopyrightPicture());
    auto* year =
        new QLabel(QString::number(QDate::currentDate().year()) + " Quillbern Dovrant. ", notice);
    ownership->addWidget(Label3D3);
    ownership->addWidget(Image2);
    ownership->addWidget(year);
    ownership->addStretch(1);
    column->addLayout(ownership);
    column->addWidget(new QLabel("All Rights Reserved.", notice));  // Label3
    auto* Label3D5 = new QLabel(
        "This program is protected by copyright law and international treaties. "
        "Copying or distributing it, or any part of it, without permission may "
        "result in civil and criminal penalties.",
        notice);
    Label3D5->setWordWrap(true);
    QFont small = Label3D5->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    Label3D5->setFont(small);
    column->addWidget(Label3D5);
    return notice;
}

QWidget* TAboutDlg::BuildDefaultPage() {
    auto* page = new QWidget(this);
    page->setObjectName("Default");
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 4, 0, 0);
    grid->addWidget(Caption("System Characteristics:", page, true), 0, 0, 1, 2);
    lblCPU = new QLabel(page);
    lblMemory = new QLabel(page);
    lblFreeRes = new QLabel(page);
    lblWinVer = new QLabel(page);
    const std::pair<const char*, QLabel*> rows[] = {{"CPU:", lblCPU},
                                                    {"Memory:", lblMemory},
                                                    {"Resources:", lblFreeRes},
                                                    {"Windows Version:", lblWinVer}};
    int row = 1;
    for (const auto& [caption, label] : rows) {
        grid->addWidget(new QLabel(caption, page), row, 0);
        grid->addWidget(label, row++, 1);
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    ExpBtn2 = new QPushButton("&History", page);
    ExpBtn2->hide();
    connect(ExpBtn2, &QPushButton::clicked, this, [this] { Notebook->setCurrentIndex(1); });
    grid->addWidget(ExpBtn2, row + 1, 1, Qt::AlignRight);
    return page;
}

QWidget* TAboutDlg::BuildVersionPage() {
    auto* page = new QWidget(this);
    page->setObjectName("Version");
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 4, 0, 0);
    column->addWidget(Caption("Version History:", page, true));
    OutlineVer = new QTreeWidget(page);
    OutlineVer->setHeaderHidden(true);
    column->addWidget(OutlineVer, 1);
    ExpBtn3 = new QPushButton("&System", page);
    connect(ExpBtn3, &QPushButton::clicked, this, [this] { Notebook->setCurrentIndex(0); });
    column->addWidget(ExpBtn3, 0, Qt::AlignRight);
    return page;
}

void TAboutDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    FormShow();
}

void TAboutDlg::FormShow() {
    TSystemCharacteristics facts = ReadFacts();
    lblCPU->setText(QString::number(facts.ProcessorType));
    lblMemory->setText(QText(MemoryText(facts.Memory.TotalPhys)));
    lblFreeRes->setText(QText(FreeResourcesText(facts.Memory.MemoryLoad)));
    lblWinVer->setText(QText(facts.Version));
    lblVersion->setText(QText("Version " + ProgramInfo.Version));
}
