#include "service/headless.h"

#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

#include "common/base/message_pump.h"
#include "common/base/stop_signals.h"
#include "common/base/to_main_thread.h"
#include "common/single_instance.h"
#include "common/syslog.h"
#include "dialup/connect_mgr.h"
#include "gateway/window_controller.h"
#include "service/start_locks.h"

namespace {

const char* AnswerName(TMsgAnswer answer) {
    switch (answer) {
        case TMsgAnswer::OK:
            return "OK";
        case TMsgAnswer::Cancel:
            return "Cancel";
        case TMsgAnswer::Yes:
            return "Yes";
        case TMsgAnswer::No:
            return "No";
        case TMsgAnswer::Retry:
            return "Retry";
        case TMsgAnswer::Abort:
            return "Abort";
        case TMsgAnswer::Ignore:
            return "Ignore";
    }
    return "?";
}

// The text on one line: the boxes' line breaks become blanks.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// shown runs once the gateway is shown (not at all when a stop came during the start-up).
void RunUntilClosed(TMainController& controller, THeadlessView& view,
                    const std::function<void()>& shown) {
    PumpMessages(0);  // a stop during the start-up closes without the gateway starting
    if (!view.CloseRequested) {
        controller.RunHandler(&TMainController::FormShow);
        shown();
    }
    while (!controller.ClosedDown()) {
        if (view.CloseRequested) {
            // The window's close rules; refused, the gateway runs on.
            view.CloseRequested = false;
            controller.FormClose();
            continue;
        }
        PumpMessages(1000);
    }
}

}  // namespace

TMsgAnswer THeadlessOperatorView::MessageBox(TMsgKind, const std::string& text,
                                             const std::string& caption, TMsgButtons buttons) {
    const TMsgAnswer answer = FirstButton(buttons);
    std::string line = "Message box";
    if (!caption.empty()) line += " \"" + OneLine(caption) + "\"";
    line += ": " + OneLine(text);
    if (buttons != TMsgButtons::OK) line += std::string(" - answered ") + AnswerName(answer);
    if (!LogEchoes()) out_ << ProgramName(program_) << ": " << line << std::endl;
    try {
        WriteLog(line, 1);
    } catch (const std::exception&) {
        // The box is on standard error already.
    }
    return answer;
}

int RunHeadless(TStartLocks& locks, TProgram program) {
    TQueueMainThread mainThread;
    SetMainThread(&mainThread);
    // The journal of a service manager keeps standard error: it shows what the log shows.
    EchoLogTo(STDERR_FILENO);
    THeadlessOperatorView operatorView(std::cerr, program);
    SetOperatorView(&operatorView);

    THeadlessView view;
    TMainWindowSetup setup;
    setup.ProgramDir = locks.ProgramDir;
    setup.ComputerName = locks.ComputerName;
    setup.LockFile = locks.LockFile && locks.LockFile->Held() ? locks.LockFile.get() : nullptr;
    setup.MakeTimer = [] { return std::make_unique<TPumpTimer>(); };
    setup.InstallOperatorView = false;
    setup.CheckConnection = [] { return CheckConnection(); };
    setup.HangUpDialup = [] { HangUpDialup(); };
    setup.EndProgram = [](int code) { std::exit(code); };
    int code = 0;
    {
        TMainController controller(std::move(setup), view);
        // A signal that came earlier is still pending and reaches the controller now; a
        // transfer asked for during the start-up runs once the gateway is shown.
        bool shown = false, transferAsked = false;
        TStopSignals stopSignals([&controller] { controller.StopRequested(); },
                                 [&] {
                                     if (shown && !controller.ClosedDown())
                                         controller.TransferNow();
                                     else
                                         transferAsked = true;
                                 });
        controller.FormCreate();
        // A gateway that cannot keep its log must not run unrecorded: the manager restarts it
        // once the folder or the disk is mended.
        if (!LogFailure().empty())
            code = 1;
        else
            RunUntilClosed(controller, view, [&] {
                shown = true;
                if (transferAsked) controller.TransferNow();
            });
    }
    EchoLogTo(-1);
    SetOperatorView(nullptr);
    SetMainThread(nullptr);
    return code;
}
