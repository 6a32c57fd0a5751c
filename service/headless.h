#pragma once

// The gateway without a window: the same controller as the window's, driven by the message
// pump of the program's first thread, with questions answered by their default button.

#include <iosfwd>
#include <string>

#include "common/base/main_view.h"
#include "common/view.h"

struct TStartLocks;

// Message boxes without an operator: each takes its default (first) button, and its text
// and answer go to the log and to out (standard error for a service, so the journal shows
// them even before the log is open).
class THeadlessOperatorView : public IOperatorView {
  public:
    explicit THeadlessOperatorView(std::ostream& out) : out_(out) {}
    TMsgAnswer MessageBox(TMsgKind kind, const std::string& text, const std::string& caption,
                          TMsgButtons buttons) override;

  private:
    std::ostream& out_;
};

// The window's texts and pictures have no screen; a close request is remembered.
class THeadlessView : public TNullMainView {
  public:
    void RequestClose() override { CloseRequested = true; }

    bool CloseRequested = false;
};

// Runs the gateway on the held start locks until a stop signal (SIGTERM, SIGINT) closes it
// down; SIGUSR1 asks for a transfer now (a receive and an Outbox scan). The signals must be
// blocked in every thread already (BlockStopSignals). The exit code; a second stop signal
// while a transfer runs ends the program with 1 at once.
int RunHeadless(TStartLocks& locks);
