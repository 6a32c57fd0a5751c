#include "service/headless.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include "common/base/message_pump.h"
#include "common/base/to_main_thread.h"
#include "common/settings.h"
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

// Waits for SIGINT and SIGTERM on a thread of its own (they are blocked everywhere, so only
// sigwait here takes them) and hands each to the main thread's queue.
class TStopSignals {
  public:
    explicit TStopSignals(std::atomic<int>& count) : count_(count) {
        thread_ = std::thread([this] { Watch(); });
    }
    ~TStopSignals() {
        ending_ = true;
        pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
    }

  private:
    void Watch() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            if (ending_) return;
            ++count_;
            MainThread().Post([] {});  // wakes the main loop's wait
        }
    }

    std::atomic<int>& count_;
    std::atomic<bool> ending_{false};
    std::thread thread_;
};

}  // namespace

TMsgAnswer THeadlessOperatorView::MessageBox(TMsgKind, const std::string& text,
                                             const std::string& caption, TMsgButtons buttons) {
    const TMsgAnswer answer = FirstButton(buttons);
    std::string line = "Message box";
    if (!caption.empty()) line += " \"" + OneLine(caption) + "\"";
    line += ": " + OneLine(text);
    if (buttons != TMsgButtons::OK) line += std::string(" - answered ") + AnswerName(answer);
    out_ << "quillbern-dovrant: " << line << std::endl;
    try {
        WriteLog(line, 1);
    } catch (const std::exception&) {
        // The box is on standard error already.
    }
    return answer;
}

int RunHeadless(TStartLocks& locks) {
    TQueueMainThread mainThread;
    SetMainThread(&mainThread);
    THeadlessOperatorView operatorView(std::cerr);
    SetOperatorView(&operatorView);
    std::atomic<int> stops{0};
    auto signals = std::make_unique<TStopSignals>(stops);

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

    int exitCode = 0;
    {
        TMainController controller(std::move(setup), view);
        controller.FormCreate();
        if (stops == 0) controller.FormShow();
        bool closeTried = false;
        while (!controller.ClosedDown()) {
            if (stops == 0 && !view.CloseRequested) {
                PumpMessages(1000);
                continue;
            }
            if (stops > 1) {
                // Asked again while a transfer still runs: end now. Nothing is half-written
                // (every file lands whole or not at all); the lock file is swept next start.
                WriteLog("Stopped while a transfer was running", 1);
                exitCode = 1;
                break;
            }
            if (!closeTried) {
                // The first attempt goes through the window's close rules, message and all.
                closeTried = true;
                if (controller.FormClose()) break;
                WriteLog("Close when the running transfer ends", 1);
            } else if (controller.SendIdle && controller.RecvIdle && DialIdle) {
                if (controller.FormClose()) break;
            }
            PumpMessages(200);
        }
        if (exitCode != 0) {
            signals.reset();
            std::_Exit(exitCode);
        }
    }
    signals.reset();
    SetOperatorView(nullptr);
    SetMainThread(nullptr);
    return exitCode;
}
