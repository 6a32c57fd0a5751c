#pragma once

#include <string>

// What the core shows the operator in message boxes. The window implements this seam with its
// toolkit's message boxes; tests install a fake that records the texts and gives scripted
// answers. The default view answers the first button and shows nothing.

enum class TMsgKind { Information, Warning, Error, Confirmation };
enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class TMsgAnswer { OK, Cancel, Yes, No, Retry, Abort, Ignore };

class IOperatorView {
  public:
    virtual ~IOperatorView() = default;
    // Shows text (line breaks stored as given) and returns the button the operator chose.
    // caption empty means the application's title.
    virtual TMsgAnswer MessageBox(TMsgKind kind, const std::string& text,
                                  const std::string& caption, TMsgButtons buttons) = 0;
};

// The first button of a button set (OK, OK, Yes, Yes, Retry, Abort).
TMsgAnswer FirstButton(TMsgButtons buttons);

// The view in use (not owned); nullptr restores the default view.
void SetOperatorView(IOperatorView* view);
IOperatorView& OperatorView();
