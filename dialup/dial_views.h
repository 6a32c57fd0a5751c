#pragma once

// The seams between the dial-up logic and the window: the two dial-up dialogs and the few
// platform services the connection check uses. The window installs its forms and services
// with SetDialupHooks; tests install fakes. Main thread only.

#include <functional>
#include <memory>
#include <string>

class TDialProgress;

// The dial-up information dialog (TfrmDialInfo): the caller fills it, shows it modally and
// reads it back. The dialog checks its own fields before it closes with OK; its handlers are
// those of TDialInfoLogic (dialup/dial_info.h), and SelectEntry is its SelectByName.
class IDialInfoView {
  public:
    virtual ~IDialInfoView() = default;
    virtual void SetEntryName(const std::string& name) = 0;  // lblEntryName
    // Selects name in the entry list; no selection when it is not listed.
    virtual void SelectEntry(const std::string& name) = 0;
    virtual void SetUserName(const std::string& text) = 0;
    virtual void SetPassword(const std::string& text) = 0;
    virtual void SetSavePassword(bool checked) = 0;
    // Shows the dialog modally: true when it was closed with OK (Connect).
    virtual bool ShowModal() = 0;
    virtual std::string EntryText() const = 0;
    virtual std::string UserName() const = 0;
    virtual std::string Password() const = 0;
    virtual bool SavePassword() const = 0;
};

// The dial progress dialog (TfrmDial): a caption, one status line, a Cancel button and a
// close box, both of which the form hands to its TDialProgress (dialup/dial.h).
class IDialProgressView {
  public:
    virtual ~IDialProgressView() = default;
    // The logic the form's Cancel button, close box and timer go to (nullptr when it ends).
    virtual void SetForm(TDialProgress* form) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetStatus(const std::string& text) = 0;  // lblMsg
    virtual void ShowModeless() = 0;
    virtual void Minimize() = 0;
    // Closes the window (the form's close handler then sees DialDone set).
    virtual void Close() = 0;
    // Shows animation frame 1 to 4 (imgDial01 .. imgDial04) and hides the others.
    virtual void ShowFrame(int frame) = 0;
};

struct TDialupHooks {
    // Makes the dialogs; none installed: the information dialog counts as cancelled and the
    // progress dialog shows nothing.
    std::function<std::unique_ptr<IDialInfoView>()> makeDialInfo;
    std::function<std::unique_ptr<IDialProgressView>()> makeDialProgress;
    // Shows (true) or restores (false) the busy cursor.
    std::function<void(bool busy)> busyCursor;
    // The platform's own dial dialog for entryName (its phone-book dialog when the name is
    // empty): the call's result and the dialog's error. None installed: the call fails.
    std::function<bool(const std::string& entryName, unsigned& dialogError)> systemDialDialog;
    // Ends the program's use of the network sockets after a hang-up.
    std::function<void()> socketsCleanup;
    // The platform id of the operating system: 2 (the NT family) dials through the system
    // dialog; anything else through our own dialogs. None installed: 1.
    std::function<int()> platformId;
};

// Installs hooks (copied); a default-made value removes them all.
void SetDialupHooks(TDialupHooks hooks);
const TDialupHooks& DialupHooks();
