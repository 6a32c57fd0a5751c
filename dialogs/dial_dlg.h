#pragma once

// The dial progress dialog: an animated picture, one status line and Cancel. Its Cancel button,
// close box and timer go to the TDialProgress the dialing run made for it.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "dialup/dial.h"

class TfrmDial : public QDialog, public IDialProgressView {
  public:
    explicit TfrmDial(QWidget* parent = nullptr);

    QLabel* imgDial01;
    QLabel* ImgDial02;
    QLabel* imgDial03;
    QLabel* imgDial04;
    QLabel* lblMsg;
    QPushButton* btnCancel;
    QTimer* TmrTimer;

    // IDialProgressView.
    void SetForm(TDialProgress* form) override { form_ = form; }
    void SetCaption(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void ShowModeless() override;
    void Minimize() override;
    void Close() override;
    void ShowFrame(int frame) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape is the Cancel button: the dialing run decides when the window goes.
    void reject() override;

  private:
    TDialProgress* form_ = nullptr;
};
