#include "app/qt_operator_view.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

namespace {

using TButtonList = std::vector<std::pair<QMessageBox::StandardButton, TMsgAnswer>>;

TButtonList ButtonsOf(TMsgButtons buttons) {
    switch (buttons) {
        case TMsgButtons::OK:
            return {{QMessageBox::Ok, TMsgAnswer::OK}};
        case TMsgButtons::OKCancel:
            return {{QMessageBox::Ok, TMsgAnswer::OK}, {QMessageBox::Cancel, TMsgAnswer::Cancel}};
        case TMsgButtons::YesNo:
            return {{QMessageBox::Yes, TMsgAnswer::Yes}, {QMessageBox::No, TMsgAnswer::No}};
        case TMsgButtons::YesNoCancel:
            return {{QMessageBox::Yes, TMsgAnswer::Yes},
                    {QMessageBox::No, TMsgAnswer::No},
                    {QMessageBox::Cancel, TMsgAnswer::Cancel}};
        case TMsgButtons::RetryCancel:
            return {{QMessageBox::Retry, TMsgAnswer::Retry},
                    {QMessageBox::Cancel, TMsgAnswer::Cancel}};
        case TMsgButtons::AbortRetryIgnore:
            return {{QMessageBox::Abort, TMsgAnswer::Abort},
                    {QMessageBox::Retry, TMsgAnswer::Retry},
                    {QMessageBox::Ignore, TMsgAnswer::Ignore}};
    }
    return {{QMessageBox::Ok, TMsgAnswer::OK}};
}

QMessageBox::Icon IconOf(TMsgKind kind) {
    switch (kind) {
        case TMsgKind::Information:
            return QMessageBox::Information;
        case TMsgKind::Warning:
            return QMessageBox::Warning;
        case TMsgKind::Error:
            return QMessageBox::Critical;
        case TMsgKind::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

TMsgAnswer TQtOperatorView::MessageBox(TMsgKind kind, const std::string& text,
                                       const std::string& caption, TMsgButtons buttons) {
    // Texts are 8-bit bytes; Latin-1 shows every byte as one character, unchanged.
    QString title = caption.empty() ? QApplication::applicationName()
                                    : QString::fromLatin1(caption.data(), caption.size());
    QMessageBox box(IconOf(kind), title, QString::fromLatin1(text.data(), text.size()),
                    QMessageBox::NoButton, Parent);
    TButtonList list = ButtonsOf(buttons);
    for (const auto& [button, answer] : list) box.addButton(button);
    box.setDefaultButton(list.front().first);
    auto chosen = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& [button, answer] : list)
        if (button == chosen) return answer;
    // Closed without a button (Escape): the box's cancelling choice, else its first button.
    for (const auto& [button, answer] : list)
        if (answer == TMsgAnswer::Cancel || answer == TMsgAnswer::No) return answer;
    return list.front().second;
}
