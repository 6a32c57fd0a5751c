#pragma once

// The gateway without a window: the same controller as the window's, driven by the message
// pump of the program's first thread, with questions answered by their default button.

#include <iosfwd>
#include <string>

#include "common/base/main_view.h"
#include "common/view.h"
#include "service/command_line.h"

struct TStartLocks;

// Message boxes without an operator: each takes its default (first) button, and its text
// and answer go to the log and to out (standard error for a service, so the journal shows
// them even before the log is open); while the log echoes to standard error, through that.
class THeadlessOperatorView : public IOperatorView {
  public:
    explicit THeadlessOperatorView(std::ostream& out, TProgram program = TProgram::Window)
        : out_(out), program_(program) {}
    TMsgAnswer MessageBox(TMsgKind kind, const std::string& text, const std::string& caption,
                          TMsgButtons buttons) override;

  private:
    std::ostream& out_;
    TProgram program_;
};

// The window's texts and pictures have no screen; a close request is remembered.
class THeadlessView : public TNullMainView {
  public:
    void RequestClose() override { CloseRequested = true; }

    bool CloseRequested = false;
};

// Runs the gateway on the held start locks until a stop signal (SIGTERM, SIGINT) closes it
// down; SIGUSR1 asks for a transfer now (a receive and an Outbox scan). The signals must be
// blocked in every thread already (BlockStopSignals). Every
// level-1 log line also goes to standard error. The exit code: 0 after a stop, 1 at once
// when the start cannot keep its log (a read-only or foreign folder, a full disk; the box
// naming the problem is on standard error) and when a second signal comes while a transfer
// runs.
int RunHeadless(TStartLocks& locks, TProgram program);
