#pragma once

// The operator view of the running window: the core's message boxes as QMessageBox.

#include "common/view.h"

class QWidget;

class TQtOperatorView : public IOperatorView {
  public:
    explicit TQtOperatorView(QWidget* parent = nullptr) : Parent(parent) {}
    TMsgAnswer MessageBox(TMsgKind kind, const std::string& text, const std::string& caption,
                          TMsgButtons buttons) override;

  private:
    QWidget* Parent;
};
