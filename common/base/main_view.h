#pragma once

// What the main window's controller, and the transfer workers through the main thread, set
// on the screen. The Qt window implements it with its widgets; core tests implement it
// with a recorder.

#include <string>

// The texts of the window.
enum class TMainText {
    InboxCount,      // lblInboxCnt
    OutboxCount,     // lblOutboxCnt
    ErrorCount,      // lblErrorCnt
    SendCaption,     // the title of GrpbxSend
    ReceiveCaption,  // the title of GrpbxRecv
    SendFile,        // lblFileName
    ReceiveState,    // lblReceive
    Status,          // the status-bar panel
};

// The two transfer boxes: each has a progress bar and an activity animation.
enum class TMainTransfer { Send, Receive };

// The actions whose state the controller changes.
enum class TMainAction { ReceiveNow, PauseAutoImport, ResumeAutoImport, OpenOption };

class IMainView {
  public:
    virtual ~IMainView() = default;
    virtual void SetText(TMainText text, const std::string& value) = 0;
    virtual void SetProgress(TMainTransfer transfer, bool visible, int position) = 0;
    virtual void SetAnimation(TMainTransfer transfer, bool playing) = 0;
    virtual void SetActionState(TMainAction action, bool enabled, bool visible) = 0;
    // Shows a folder to the operator; a start failure is not reported.
    virtual void OpenFolder(const std::string& folder) = 0;
    virtual void ShowAbout() = 0;
    // Asks the window to close, through the same rules as the operator's close.
    virtual void RequestClose() = 0;
};

// A screen that shows nothing: for running without a window, and for tests that watch
// something else.
class TNullMainView : public IMainView {
  public:
    void SetText(TMainText, const std::string&) override {}
    void SetProgress(TMainTransfer, bool, int) override {}
    void SetAnimation(TMainTransfer, bool) override {}
    void SetActionState(TMainAction, bool, bool) override {}
    void OpenFolder(const std::string&) override {}
    void ShowAbout() override {}
    void RequestClose() override {}
};
