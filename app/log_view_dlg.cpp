#include "app/log_view_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/syslog.h"
#include "dialogs/qt_text.h"

namespace {

// A day's log of a busy gateway stays readable; older lines leave the view first.
constexpr int kMaxShownLines = 100000;

QString LineText(const TLogLine& line) {
    return line.Stamp.empty() ? QText(line.Message) : QText("[" + line.Stamp + "] " + line.Message);
}

}  // namespace

TLogViewDlg::TLogViewDlg(QWidget* parent, std::string logFolder)
    : QDialog(parent), logFolder_(std::move(logFolder)) {
    setWindowTitle("System Log");
    FolderOpener = [](const std::string& folder) {
        QProcess::startDetached("xdg-open", {QText(folder)});
    };
    auto* column = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* lblLevel = new QLabel("&Show:", this);
    cmbLevel = new QComboBox(this);
    cmbLevel->addItems({"All lines", "Without detail", "Problems only"});
    cmbLevel->setAccessibleName("Lines shown");
    lblLevel->setBuddy(cmbLevel);
    auto* lblSearch = new QLabel("S&earch:", this);
    edtSearch = new QLineEdit(this);
    edtSearch->setClearButtonEnabled(true);
    edtSearch->setAccessibleName("Search");
    lblSearch->setBuddy(edtSearch);
    bar->addWidget(lblLevel);
    bar->addWidget(cmbLevel);
    bar->addSpacing(12);
    bar->addWidget(lblSearch);
    bar->addWidget(edtSearch, 1);
    column->addLayout(bar);

    memLog = new QPlainTextEdit(this);
    memLog->setReadOnly(true);
    memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    memLog->setMaximumBlockCount(kMaxShownLines);
    memLog->setAccessibleName("Today's system log");
    memLog->setFont(QFont("monospace"));
    memLog->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    column->addWidget(memLog, 1);

    auto* buttons = new QHBoxLayout;
    btnOpenFolder = new QPushButton("Open Log &Folder", this);
    btnOpenFolder->setAutoDefault(false);
    connect(btnOpenFolder, &QPushButton::clicked, this, [this] {
        if (FolderOpener) FolderOpener(logFolder_);
    });
    btnClose = new QPushButton("&Close", this);
    btnClose->setAutoDefault(false);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(btnOpenFolder);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    column->addLayout(buttons);

    connect(cmbLevel, &QComboBox::currentIndexChanged, this, [this] { Rebuild(); });
    connect(edtSearch, &QLineEdit::textChanged, this, [this] { Rebuild(); });
    PollTimer = new QTimer(this);
    PollTimer->setInterval(kPollMs);
    connect(PollTimer, &QTimer::timeout, this, [this] { Poll(); });
    PollTimer->start();
    resize(760, 420);
    Poll();
}

TLogFilter TLogViewDlg::Filter() const {
    switch (cmbLevel->currentIndex()) {
        case 1:
            return TLogFilter::NoDetail;
        case 2:
            return TLogFilter::Problems;
        default:
            return TLogFilter::All;
    }
}

void TLogViewDlg::Show(const TLogLine& line) {
    if (LogLineShown(line, Filter(), StdText(edtSearch->text())))
        memLog->appendPlainText(LineText(line));
}

void TLogViewDlg::Rebuild() {
    memLog->clear();
    for (const TLogLine& line : lines_) Show(line);
}

void TLogViewDlg::Poll() {
    if (logFolder_.empty()) return;
    std::vector<std::string> files = LogFilesOfDay(logFolder_, Date());
    // This run's log goes on past midnight: it stays in view on the next day too.
    const std::string current = LogFileName();
    if (!current.empty() && current.rfind(IncludeTrailingPathDelimiter(logFolder_), 0) == 0 &&
        std::find(files.begin(), files.end(), current) == files.end())
        files.push_back(current);
    for (const std::string& path : files) {
        bool known = false;
        for (const auto& follower : followers_) known = known || follower->Path() == path;
        if (!known) followers_.push_back(std::make_unique<TLogFollower>(path));
    }
    QScrollBar* scroll = memLog->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    for (const auto& follower : followers_)
        for (const std::string& text : follower->ReadNew()) {
            lines_.push_back(ParseLogLine(text));
            Show(lines_.back());
        }
    if (lines_.size() > static_cast<std::size_t>(kMaxShownLines))
        lines_.erase(lines_.begin(), lines_.end() - static_cast<std::ptrdiff_t>(kMaxShownLines));
    // Follows the end unless the operator scrolled back to read.
    if (atEnd) scroll->setValue(scroll->maximum());
}

QStringList TLogViewDlg::ShownLines() const {
    QString text = memLog->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}
