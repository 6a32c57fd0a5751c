#pragma once

// The logic of the dial-up information dialog (TfrmDialInfo): its entry list, the loading of an
// entry's stored credentials, Connect's checks, and Create and Setting through the phone-book
// editor. The form forwards its handlers here and implements IDialInfoControls with its
// widgets.

#include <string>
#include <vector>

// At most this many phone-book entries are listed; with more the list stays empty.
inline constexpr std::size_t kDialInfoMaxEntries = 30;

enum class TDialInfoField { Entries, UserName, Password };

class IDialInfoControls {
  public:
    virtual ~IDialInfoControls() = default;
    // cboEntries: its items, the selected one (-1: none) and the entry text.
    virtual std::vector<std::string> Entries() const = 0;
    virtual void AddEntry(const std::string& name) = 0;
    virtual int SelectedEntry() const = 0;
    virtual void SelectEntry(int index) = 0;
    virtual std::string EntryText() const = 0;
    virtual void SetEntryLabel(const std::string& text) = 0;  // lblEntryName
    virtual std::string UserName() const = 0;                 // edtUsrID
    virtual void SetUserName(const std::string& text) = 0;
    virtual std::string Password() const = 0;  // edtPassword
    virtual void SetPassword(const std::string& text) = 0;
    virtual void SetSavePassword(bool checked) = 0;  // chkSavepwd
    virtual void Focus(TDialInfoField field) = 0;
    // Closes the dialog with OK.
    virtual void CloseWithOk() = 0;
    // The window that owns the phone-book editor.
    virtual void* OwnerWindow() = 0;
};

class TDialInfoLogic {
  public:
    explicit TDialInfoLogic(IDialInfoControls& controls) : controls_(controls) {}

    // FormCreate: lists the phone-book entries (none when they cannot be listed).
    void FormCreate();
    // Connect: the first failing check is shown and its field focused; else closes with OK.
    void ConnectClicked();
    // The entry choice changed.
    void EntryChanged() { LoadEntryCredentials(); }
    // Fills user name, password and save-password from the selected entry's stored parameters.
    void LoadEntryCredentials();
    // Create: a new entry through the phone-book editor, then listed.
    void CreateClicked();
    // Setting: edits the selected entry (nothing without a selection).
    void SettingClicked();

    // Selects name in the list (without regard to case); no selection when it is not listed.
    void SelectByName(const std::string& name);

  private:
    IDialInfoControls& controls_;
};

// The phone-book entry names as the dialog lists them: 0, or ERROR_BUFFER_TOO_SMALL with more
// than kDialInfoMaxEntries, or the phone book's error.
unsigned DialInfoEntries(std::vector<std::string>& names);
