#pragma once

// The logic of the options dialog Tso_frmOption: filling its pages from the settings records,
// the enabling rules, the checks on OK in their order, the writes page by page to USER.INI,
// the key-disk import and "Housekeep now". The Qt form shows and forwards only.

#include <optional>
#include <string>
#include <vector>

#include "common/base/profile.h"
#include "dialogs/core/option_values.h"
#include "dialogs/core/setup_drive.h"

class IOptionView {
  public:
    virtual ~IOptionView() = default;
    virtual void ShowValues(const TOptionValues& values) = 0;
    virtual TOptionValues Values() const = 0;
    virtual void SetGroupEnabled(TOptionGroup group, bool enabled) = 0;
    // The line under the certificate rule of the Network page; empty text hides it.
    virtual void ShowCertificateWarning(const std::string& text) = 0;
    virtual void ShowPage(TOptionPage page) = 0;
    virtual void FocusField(TOptionField field) = 0;
    // Shows the key-disk dialog modally; the imported values when it ended with OK.
    virtual std::optional<TImportedCompany> RunSetupDrive() = 0;
    // Ends the modal dialog: accepted (OK) or rejected.
    virtual void CloseDialog(bool accepted) = 0;
    // Asks the main window to close.
    virtual void RequestMainClose() = 0;
};

// The first failing check: where it sends the operator and what it says.
struct TOptionCheck {
    TOptionPage Page;
    TOptionField Field;
    std::string Message;
};

// The warning under the certificate rule while it checks nothing.
inline constexpr const char* kNoCertificateCheckCaption =
    "Any certificate is accepted: the connection is not safe.";

// The checks of OK in their order; nothing when all pass.
std::optional<TOptionCheck> CheckOptions(const TOptionValues& values);
// The values shown for the settings records read at start; profiles are the phone-book
// entries (empty when they cannot be listed).
TOptionValues OptionValuesFromSettings(const std::vector<std::string>& profiles);
// Writes the five pages to ini in their order, each page ending with its log line.
void SaveOptions(const TOptionValues& values, TIniFile& ini);

class TOptionController {
  public:
    // ini: the open USER.INI; profiles: the phone-book entries.
    TOptionController(IOptionView& view, TIniFile& ini, std::vector<std::string> profiles);

    void FormCreate();
    void FormShow();
    // True when the dialog may close; accepted is true after OK or "Housekeep now".
    bool FormClose(bool accepted);
    void BitBtn_OKClick();
    void BitBtn_CancelClick();
    void BitBtn_LoadClick();
    void btnHousekeepClick();
    // The click rules; each runs all of them on the values shown.
    void rbschedule1Click();
    void rbschedule4Click();
    void rbLeaseLineClick();
    void chkbox_UseProxyClick();
    void chkbox_UseFirewallClick();
    void chkPurgeClick();
    // The box or the fingerprint of the certificate rule changed: the warning follows.
    void CertificateRuleChange();

  private:
    void ApplyEnabling(const TOptionValues& values);
    void ApplyAutostart(bool enabled);

    IOptionView& view_;
    TIniFile& ini_;
    std::vector<std::string> profiles_;
    bool shownAutostart_ = false;  // the entry is written or removed only when switched
};
