#include "app/qt_operator_view.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace {

struct TSeen {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
};

// Answers the next message box by pressing button (or Escape when it is NoButton).
void AnswerNextBox(QMessageBox::StandardButton button, TSeen& seen) {
    QTimer::singleShot(0, [button, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        for (QAbstractButton* b : box->buttons()) seen.buttons << box->standardButton(b);
        if (button == QMessageBox::NoButton)
            box->reject();
        else
            box->button(button)->click();
    });
}

TEST(QtOperatorView, ShowsTheTextAsGivenAndReturnsTheChosenButton) {
    TQtOperatorView view;
    TSeen seen;
    AnswerNextBox(QMessageBox::No, seen);
    std::string text = "Close now?\n\rReally \xE9";  // line feed, carriage return, a high byte
    EXPECT_EQ(view.MessageBox(TMsgKind::Information, text, "", TMsgButtons::YesNo), TMsgAnswer::No);
    EXPECT_EQ(seen.text, QString::fromLatin1(text.c_str()));
    EXPECT_EQ(seen.title, "Quillbern Dovrant");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons.size(), 2);

    AnswerNextBox(QMessageBox::Ok, seen);
    EXPECT_EQ(view.MessageBox(TMsgKind::Confirmation, "Go?", "Upgrade", TMsgButtons::OKCancel),
              TMsgAnswer::OK);
    EXPECT_EQ(seen.title, "Upgrade");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
}

TEST(QtOperatorView, EscapeCountsAsTheCancellingButton) {
    TQtOperatorView view;
    TSeen seen;
    AnswerNextBox(QMessageBox::NoButton, seen);
    EXPECT_EQ(view.MessageBox(TMsgKind::Warning, "x", "", TMsgButtons::RetryCancel),
              TMsgAnswer::Cancel);
    AnswerNextBox(QMessageBox::NoButton, seen);
    EXPECT_EQ(view.MessageBox(TMsgKind::Error, "x", "", TMsgButtons::OK), TMsgAnswer::OK);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

}  // namespace
