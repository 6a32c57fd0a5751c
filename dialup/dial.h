#pragma once

// The logic of the dial progress dialog (TfrmDial) and its dialing run, DoDialup.

#include <memory>
#include <string>

#include "dialup/dial_views.h"
#include "dialup/ras.h"

// A trial whose line reports neither connected nor disconnected within this time counts as
// disconnected.
inline constexpr int kTrialLimitMs = 120000;

// One progress dialog: made when the form is created (UserAborted and DialDone false),
// released with it.
class TDialProgress {
  public:
    explicit TDialProgress(IDialProgressView& view);
    ~TDialProgress();
    TDialProgress(const TDialProgress&) = delete;
    TDialProgress& operator=(const TDialProgress&) = delete;

    IDialProgressView& View() { return view_; }
    bool UserAborted() const { return userAborted_; }
    bool DialDone() const { return dialDone_; }
    void SetDialDone() { dialDone_ = true; }

    // The Cancel button.
    void CancelClicked();
    // The close box or Close: true when the form may be freed (DialDone); otherwise the close
    // acts as Cancel and the window is only hidden.
    bool CloseRequested();
    // The animation timer (every second): the frame for the clock's current second.
    void TimerTick();
    // The RasDial notifier: shows each state on the status line, on the main thread.
    TRasDialNotifier Notifier();

  private:
    IDialProgressView& view_;
    bool userAborted_ = false;
    bool dialDone_ = false;
    // Cleared when the form goes, so status lines posted late are dropped.
    std::shared_ptr<bool> alive_;
};

// The animation frame shown at a second of the clock: 4, 3, 2, 1 for seconds modulo 4 of 0 to 3.
int DialFrameForSecond(int second);

// Dials params.szEntryName up to trials times (a 3-second countdown between trials) and shows
// the progress on form. handle: the connection when one was made, else 0; userAborted: the
// form's Cancel. 0, or -1 when an error ended it (shown in an error box).
int DoDialup(TDialProgress& form, RASDIALPARAMS params, int trials, bool savePassword,
             bool& userAborted, HRASCONN& handle);
