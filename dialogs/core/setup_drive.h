#pragma once

// The import of the company identification from the Confidentiality Key Disk: the logic of
// TSetupDriveDlg. The disk holds enciphered profile files (*.pro); they are deciphered into a
// private folder (mode 0700, removed again on every path), the company record is taken apart
// and its e-mail address, login ID and password handed back. Nothing is stored here.

#include <cstddef>
#include <string>
#include <vector>

// The one-byte key the profile files are enciphered with.
constexpr unsigned char ProfileKey = 0xA7;
// Bytes of the header in front of the enciphered content.
constexpr int kProfileHeaderSize = 16;
// The largest company record the import accepts.
constexpr int kMaxRecordLength = 1024;
// Deciphered bytes the import can use: the company header (type tag, text, record length and
// one byte) and the longest record. A profile file is read no further.
constexpr int kMaxProfileContent = 20 + 20 + 10 + 1 + kMaxRecordLength;
// The largest profile file the import takes: the key disk is a floppy disk, and a file that
// would not fit on one is no profile file.
constexpr long long kMaxProfileFileSize = 1474560;
// The last item of the drive list: lets the operator pick any folder.
inline const char* const kOtherFolderItem = "Other folder...";

// What the import hands back to the options dialog.
struct TImportedCompany {
    std::string EmailAddr;
    std::string LoginID;
    std::string Password;
};

// The mount points of removable media in the text of /proc/self/mounts: those under /media
// and /run/media, in file order, each ending with "/". Escaped blanks (\040) are decoded.
std::vector<std::string> RemovableMediaRoots(const std::string& mountsText);
// The same for this process's /proc/self/mounts.
std::vector<std::string> RemovableMediaRoots();

// Deciphers a profile file into target: drops the header and XORs the next bytes, at most
// maxContent of them, with key; the rest of the file is not read. Returns the size of the
// profile file. Raises std::runtime_error, saying why, when it cannot be read or target
// cannot be written.
long long pDecrypt16File(const std::string& source, const std::string& target, unsigned char key,
                         std::size_t maxContent = kMaxProfileContent);

// What the dialog shows; the Qt form implements it, tests use a recorder.
class ISetupDriveView {
  public:
    virtual ~ISetupDriveView() = default;
    virtual void SetDriveItems(const std::vector<std::string>& items) = 0;
    virtual void SelectDrive(int index) = 0;
    // The selected item's text, or empty text.
    virtual std::string SelectedDrive() const = 0;
    // Asks the operator for a folder; empty text when cancelled.
    virtual std::string PickFolder() = 0;
    virtual void SetBusy(bool busy) = 0;
    // Ends the modal dialog: accepted (OK) or rejected (as Cancel).
    virtual void CloseDialog(bool accepted) = 0;
};

class TSetupDriveController {
  public:
    // mediaRoots: the removable media, shown before "Other folder...".
    // tempBase: where the private working folder is made; empty means TMPDIR or /tmp.
    TSetupDriveController(ISetupDriveView& view, std::vector<std::string> mediaRoots,
                          std::string tempBase = "");

    void FormCreate();
    void FormShow();
    void btnOKClick();

    // Valid after the dialog closed accepted.
    const TImportedCompany& Imported() const { return imported_; }
    // The root of the last search, ending with "/" (empty before the first OK).
    const std::string& Root() const { return root_; }

  private:
    enum class TOutcome { None, Imported, Failed, ParseError };

    // The files *.pro in root_ whose header can be read, in directory order.
    std::vector<std::string> SearchDisk() const;
    TOutcome ProcessFiles(const std::vector<std::string>& names, const std::string& workDir);
    // Tells the operator that the company file could not be parsed; recordFile (if any) goes.
    TOutcome ReportParseError(const std::string& recordFile);
    // The type tag of a deciphered file, trimmed and upper-cased.
    std::string uPeekHeader(const std::string& file) const;
    // Strips the company header; the record file's name, or empty text on an error.
    std::string uRemoveComHeader(const std::string& file, const std::string& workDir,
                                 const std::string& type);
    // Takes the company record apart; false on a damaged record.
    bool ParseRecord(const std::string& recordFile);

    ISetupDriveView& view_;
    std::vector<std::string> mediaRoots_;
    std::string tempBase_;
    std::string root_;
    int recordLength_ = 0;
    std::string companyMail_;  // the mail address of the record, kept with its first part
    std::string companyMailName_;
    TImportedCompany imported_;
};
