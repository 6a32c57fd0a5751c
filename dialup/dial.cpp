#include "dialup/dial.h"

#include <stdexcept>

#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/base/message_pump.h"
#include "common/base/to_main_thread.h"
#include "common/syslog.h"
#include "common/view.h"
#include "dialup/connect_mgr.h"
#include "dialup/error_str.h"

TDialProgress::TDialProgress(IDialProgressView& view)
    : view_(view), alive_(std::make_shared<bool>(true)) {
    view_.SetForm(this);
}

TDialProgress::~TDialProgress() {
    *alive_ = false;
    view_.SetForm(nullptr);
}

void TDialProgress::CancelClicked() {
    view_.SetStatus("Status: Disconnecting...");
    WriteLog("User aborted the connection", 1);
    userAborted_ = true;
}

bool TDialProgress::CloseRequested() {
    if (dialDone_) return true;
    CancelClicked();
    return false;
}

void TDialProgress::TimerTick() {
    int hour = 0, minute = 0, second = 0, ms = 0;
    DecodeTime(Clock().Now(), hour, minute, second, ms);
    view_.ShowFrame(DialFrameForSecond(second));
}

TRasDialNotifier TDialProgress::Notifier() {
    IDialProgressView* view = &view_;
    std::weak_ptr<bool> alive = alive_;
    return [view, alive](unsigned, int state, unsigned error) {
        const std::string text = "Status: " + RasStateText(state, static_cast<int>(error)) + "..";
        MainThread().Post([view, alive, text] {
            const auto live = alive.lock();
            if (live && *live) view->SetStatus(text);
        });
    };
}

int DialFrameForSecond(int second) { return 4 - ((second % 4) + 4) % 4; }

namespace {}  // namespace

int DoDialup(TDialProgress& form, RASDIALPARAMS params, int trials, bool savePassword,
             bool& userAborted, HRASCONN& handle) {
    IDialProgressView& view = form.View();
    int started = 0;
    try {
        view.SetCaption("Connecting to " + params.szEntryName);
        for (int k = 1; k <= trials; ++k) {
            PumpMessages(0);
            if (form.UserAborted()) break;
            ++started;
            WriteLog("Trial #" + std::to_string(k), 2);
            view.SetStatus("Status: Connecting...");
            handle = 0;
            const unsigned dialed = RasDial(nullptr, nullptr, params, 0, form.Notifier(), handle);
            if (dialed != ERROR_SUCCESS) {
                const std::string text = RasErrorText(static_cast<int>(dialed));
                WriteLog("RasDial( ) - Failed. " + text, 2);
                throw std::runtime_error(text);
            }
            PumpMessages(0);
            WriteLog(
                "RasDial( ) return " + RasErrorText(0) + " aHRasConn := " + std::to_string(handle),
                2);

            RASCONNSTATUS status;
            unsigned read = RasGetConnectStatus(handle, status);
            if (read != ERROR_SUCCESS) {
                const std::string text = RasErrorText(static_cast<int>(read));
                WriteLog("2.RasGetConnectStatus( '" + std::to_string(handle) + "') return " + text,
                         2);
                throw std::runtime_error("2.DoDialup.RasGetConnectStatus() - Failed." + text);
            }
            // Polled until the line settles, the operator cancels or the trial's time is up.
            const int64_t trialEnd = MonotonicMs() + kTrialLimitMs;
            for (int poll = 0;
                 poll <= kTrialLimitMs / 100 && status.rasconnstate != RASCS_Connected &&
                 status.rasconnstate != RASCS_Disconnected;
                 ++poll) {
                PumpMessages(0);
                if (form.UserAborted()) {
                    view.SetStatus("Status: Disconnecting...");
                    DoHangUp(handle);
                    break;
                }
                if (MonotonicMs() >= trialEnd || poll == kTrialLimitMs / 100) {
                    WriteLog("Trial #" + std::to_string(k) + " had no answer within " +
                                 std::to_string(kTrialLimitMs / 1000) +
                                 " seconds; it counts as disconnected.",
                             2);
                    status.rasconnstate = RASCS_Disconnected;
                    status.dwError = 0;
                    break;
                }
                WaitProcessingMessages(100);
                read = RasGetConnectStatus(handle, status);
                if (read != ERROR_SUCCESS) {
                    const std::string text = RasErrorText(static_cast<int>(read));
                    WriteLog(
                        "1.RasGetConnectStatus('" + std::to_string(handle) + "') return " + text,
                        2);
                    throw std::runtime_error("1.DoDialup.RasGetConnectStatus() - Failed." + text);
                }
            }
            SleepMs(100);
            WriteLog("Server response: " +
                         RasStateText(status.rasconnstate, static_cast<int>(status.dwError)),
                     2);

            if (form.UserAborted() && handle != 0) {
                WriteLog("UserAborted -> DoHangUp('" + std::to_string(handle) + "')", 2);
                view.SetStatus("Status: Connection Aborted");
                DoHangUp(handle);
                break;
            }
            if (status.rasconnstate == RASCS_Disconnected) {
                WriteLog("No Connection established with dialup profile " + params.szEntryName, 2);
                DoHangUp(handle);
                view.SetStatus("Status: Disconnected...");
                PumpMessages(0);
            }
            if (status.rasconnstate == RASCS_Connected) {
                const unsigned stored = RasSetEntryDialParams(nullptr, params, !savePassword);
                if (stored != ERROR_SUCCESS)
                    ShowRasError("Cannot update connection settings: ", static_cast<int>(stored),
                                 TMsgButtons::OK, TMsgKind::Error);
                WriteLog(
                    "Connection successfully established with dialup profile " + params.szEntryName,
                    1);
                view.SetStatus("Status: Connected.");
                PumpMessages(0);
                view.Minimize();
                break;
            }
            if (k < trials) {
                for (int n = 3; n >= 1; --n) {
                    if (form.UserAborted()) break;
                    view.SetStatus("Status: Retry after " + std::to_string(n) + " seconds.");
                    PumpMessages(0);
                    WaitProcessingMessages(1000);
                }
            }
        }
    } catch (const std::exception& e) {
        const std::string message = e.what();
        WriteLog("DoDialup( ) - Failed. " + message, 2);
        OperatorView().MessageBox(TMsgKind::Error, message, "", TMsgButtons::OK);
        return -1;
    }
    WriteLog("Quit DoDialup( ) after " + std::to_string(started) +
                 " trails. aHRasConn := " + std::to_string(handle),
             2);
    userAborted = form.UserAborted();
    form.SetDialDone();
    view.Close();
    return 0;
}
