#include "dialogs/core/setup_drive.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "common/base/fileutil.h"
#include "common/base/text.h"
#include "common/base/unique_handle.h"
#include "common/syslog.h"
#include "common/view.h"

namespace {

// Field widths of the header in front of the company records.
constexpr std::size_t kTypeTagSize = 20;
constexpr std::size_t kHeaderTextSize = 20;
constexpr std::size_t kRecordLengthSize = 10;
constexpr std::size_t kCopyBlock = 256;

// Company record fields: offset and width.
struct TField {
    std::size_t offset;
    std::size_t width;
};
constexpr TField kCompanyMail{249, 35};
constexpr TField kNumber{398, 16};
constexpr TField kEmailAddr{414, 50};
constexpr TField kLoginID{464, 20};
constexpr TField kPassword{484, 35};

std::string TrimRight(std::string text) {
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
    return text;
}

// Decodes the octal escapes (\040 and the like) of a mount point.
std::string DecodeMountPoint(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
            text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
            out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                     (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool HasProExtension(const std::string& name) {
    return name.size() > 4 && SameText(std::string_view(name).substr(name.size() - 4), ".pro");
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A decimal number, possibly signed, with an optional fraction.
bool IsDecimalNumber(const std::string& text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

// Removes the private working folder with everything in it when the import leaves.
class TWorkFolder {
  public:
    explicit TWorkFolder(const std::string& base) {
        std::string pattern = IncludeTrailingPathDelimiter(base) + "dovrant-key-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("Cannot create a working folder in " + base + ": " +
                                     std::strerror(errno));
        path_ = pattern + "/";
    }
    ~TWorkFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TWorkFolder(const TWorkFolder&) = delete;
    TWorkFolder& operator=(const TWorkFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

class TBusy {
  public:
    explicit TBusy(ISetupDriveView& view) : view_(view) { view_.SetBusy(true); }
    ~TBusy() { view_.SetBusy(false); }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;

  private:
    ISetupDriveView& view_;
};

}  // namespace

std::vector<std::string> RemovableMediaRoots(const std::string& mountsText) {
    std::vector<std::string> roots;
    std::istringstream lines(mountsText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint;
        if (!(fields >> device >> mountPoint)) continue;
        mountPoint = DecodeMountPoint(mountPoint);
        if (mountPoint.rfind("/media/", 0) == 0 || mountPoint.rfind("/run/media/", 0) == 0)
            roots.push_back(IncludeTrailingPathDelimiter(mountPoint));
    }
    return roots;
}

std::vector<std::string> RemovableMediaRoots() {
    std::ifstream in("/proc/self/mounts");
    std::ostringstream text;
    text << in.rdbuf();
    return RemovableMediaRoots(text.str());
}

long long pDecrypt16File(const std::string& source, const std::string& target, unsigned char key,
                         std::size_t maxContent) {
    const auto fail = [](const char* what, const std::string& path, const std::string& why) {
        throw std::runtime_error(std::string(what) + " " + path + ": " + why);
    };
    TUniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.Get(), &info) != 0) fail("Cannot read", source, std::strerror(errno));
    std::string data(kProfileHeaderSize + maxContent, '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(in.Get(), data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("Cannot read", source, std::strerror(errno));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got < kProfileHeaderSize) fail("Cannot read", source, "shorter than a profile header");
    for (std::size_t i = kProfileHeaderSize; i < got; ++i)
        data[i] = static_cast<char>(data[i] ^ key);
    TUniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!out) fail("Cannot create", target, std::strerror(errno));
    for (std::size_t done = kProfileHeaderSize; done < got;) {
        const ssize_t n = ::write(out.Get(), data.data() + done, got - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("Cannot write", target, std::strerror(n < 0 ? errno : ENOSPC));
        done += static_cast<std::size_t>(n);
    }
    if (::close(out.Release()) != 0) fail("Cannot write", target, std::strerror(errno));
    return static_cast<long long>(info.st_size);
}

TSetupDriveController::TSetupDriveController(ISetupDriveView& view,
                                             std::vector<std::string> mediaRoots,
                                             std::string tempBase)
    : view_(view), mediaRoots_(std::move(mediaRoots)), tempBase_(std::move(tempBase)) {}

void TSetupDriveController::FormCreate() {
    WriteLog("Open - Insert Disk", 1);
    if (tempBase_.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        tempBase_ = (tmp && *tmp) ? tmp : "/tmp";
    }
    if (!DirectoryExists(tempBase_)) ForceDirectories(tempBase_);
}

void TSetupDriveController::FormShow() {
    std::vector<std::string> items = mediaRoots_;
    items.push_back(kOtherFolderItem);
    view_.SetDriveItems(items);
    view_.SelectDrive(0);
}

std::vector<std::string> TSetupDriveController::SearchDisk() const {
    std::vector<std::string> names;
    DIR* folder = ::opendir(root_.c_str());
    if (!folder) return names;
    while (dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        // Hidden files are not listed, as on the key disk's own file system.
        if (name.empty() || name[0] == '.' || !HasProExtension(name)) continue;
        const std::string path = root_ + name;
        if (!IsRegularFile(path)) continue;
        std::ifstream in(path, std::ios::binary);
        char header[kProfileHeaderSize];
        if (in && in.read(header, kProfileHeaderSize)) names.push_back(name);
    }
    ::closedir(folder);
    return names;
}

void TSetupDriveController::btnOKClick() {
    std::string drive = view_.SelectedDrive();
    if (drive == kOtherFolderItem) drive = view_.PickFolder();
    if (drive.empty()) return;
    root_ = IncludeTrailingPathDelimiter(drive);

    WriteLog("Process Confidentiality disk - Searching " + root_ + "*.pro", 2);
    const std::vector<std::string> names = SearchDisk();
    if (names.empty()) {
        OperatorView().MessageBox(TMsgKind::Warning,
                                  "Please insert correct Confidentiality Key Disk!", "",
                                  TMsgButtons::OK);
        return;
    }
    bool companyFound = false;
    for (const auto& name : names) companyFound = companyFound || SameText(name, "COMPANY.PRO");
    if (!companyFound && !FileExists(root_ + "COMPANY.PRO")) {
        WriteLog("Process Confidentiality disk - COMPANY.PRO does not exists in disk " + root_, 2);
        OperatorView().MessageBox(TMsgKind::Warning,
                                  "Please insert the Confidentiality Key in " + root_, "",
                                  TMsgButtons::OK);
    }

    TOutcome outcome;
    {
        TWorkFolder work(tempBase_);
        TBusy busy(view_);
        outcome = ProcessFiles(names, work.Path());
    }
    if (outcome == TOutcome::ParseError) {
        view_.CloseDialog(false);
    } else if (outcome == TOutcome::Imported) {
        WriteLog(
            "Process Confidentiality disk - information loaded from confidentiality disk "
            "successfully.",
            2);
        OperatorView().MessageBox(TMsgKind::Information,
                                  "Information is extracted from Confidentiality Key Disk "
                                  "successfully!",
                                  "", TMsgButtons::OK);
        view_.CloseDialog(true);
    }
}

TSetupDriveController::TOutcome TSetupDriveController::ProcessFiles(
    const std::vector<std::string>& names, const std::string& workDir) {
    std::vector<std::string> files;
    std::set<std::string> oversized;
    for (const auto& name : names) {
        try {
            if (pDecrypt16File(root_ + name, workDir + name, ProfileKey) > kMaxProfileFileSize)
                oversized.insert(workDir + name);
            files.push_back(workDir + name);
        } catch (const std::exception& e) {
            WriteLog("Process Confidentiality disk - pDecrypt16File fail.", 2);
            // A disk that cannot be read or a full temporary folder: the operator must know
            // why nothing is imported.
            OperatorView().MessageBox(TMsgKind::Error, e.what(), "", TMsgButtons::OK);
        }
    }
    // The company file goes first and the other profile second, until nothing moves.
    auto isNamed = [](const std::string& file, const char* name) {
        return SameText(ExtractFileName(file), name);
    };
    for (bool moved = true; moved;) {
        moved = false;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (i != 0 && isNamed(files[i], "COMPANY.PRO") && !isNamed(files[0], "COMPANY.PRO")) {
                std::swap(files[i], files[0]);
                moved = true;
            } else if (i != 1 && files.size() > 1 && isNamed(files[i], "CONF.PRO") &&
                       !isNamed(files[1], "CONF.PRO") &&
                       !(i == 0 && isNamed(files[1], "COMPANY.PRO"))) {
                std::swap(files[i], files[1]);
                moved = true;
            }
        }
    }

    bool parsed = false;
    for (const auto& file : files) {
        const std::string type = uPeekHeader(file);
        if (type != "COMPANY") continue;
        if (oversized.count(file) > 0) {
            WriteLog("Process Confidentiality disk - " + ExtractFileName(file) +
                         " is larger than a profile file can be.",
                     2);
            return ReportParseError("");
        }
        const std::string recordFile = uRemoveComHeader(file, workDir, type);
        if (recordFile.empty()) return TOutcome::Failed;
        if (!ParseRecord(recordFile)) return ReportParseError(recordFile);
        parsed = true;
    }
    return parsed ? TOutcome::Imported : TOutcome::None;
}

TSetupDriveController::TOutcome TSetupDriveController::ReportParseError(
    const std::string& recordFile) {
    WriteLog("Process Confidentiality disk - Error while process company profile file.", 1);
    OperatorView().MessageBox(TMsgKind::Error, "Error while process company profile file!", "",
                              TMsgButtons::OK);
    if (!recordFile.empty()) DeleteFile(recordFile);
    return TOutcome::ParseError;
}

std::string TSetupDriveController::uPeekHeader(const std::string& file) const {
    std::ifstream in(file, std::ios::binary);
    std::string tag(kTypeTagSize, ' ');
    if (!in || !in.read(tag.data(), static_cast<std::streamsize>(kTypeTagSize))) {
        WriteLog("Process Confidentiality disk - uPeekHeader fail.", 2);
        return "";
    }
    return UpperCase(TrimRight(tag));
}

std::string TSetupDriveController::uRemoveComHeader(const std::string& file,
                                                    const std::string& workDir,
                                                    const std::string& type) {
    const std::string target = workDir + (type == "COMPANY" ? "COMPANY.REC" : "CONF.REC");
    try {
        std::ifstream in(file, std::ios::binary);
        std::string tag(kTypeTagSize, ' ');
        if (!in || !in.read(tag.data(), static_cast<std::streamsize>(kTypeTagSize)))
            throw std::runtime_error("header");
        if (type == "COMPANY") {
            std::string text(kHeaderTextSize, ' '), length(kRecordLengthSize, ' ');
            char spare;
            if (!in.read(text.data(), static_cast<std::streamsize>(kHeaderTextSize)) ||
                !in.read(length.data(), static_cast<std::streamsize>(kRecordLengthSize)) ||
                !in.read(&spare, 1))
                throw std::runtime_error("header");
            int value = 0;
            if (!TryStrToInt(TrimRight(length), value)) throw std::runtime_error("length");
            recordLength_ = value;
        }
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("record file");
        char block[kCopyBlock];
        while (in.read(block, sizeof block) || in.gcount() > 0)
            if (!out.write(block, in.gcount())) throw std::runtime_error("record file");
        out.close();
        if (!out || in.bad()) throw std::runtime_error("record file");
        return target;
    } catch (const std::exception&) {
        WriteLog("Process Confidentiality disk - uRemoveComHeader fail.", 2);
        DeleteFile(target);
        return "";
    }
}

bool TSetupDriveController::ParseRecord(const std::string& recordFile) {
    if (recordLength_ < 0 || recordLength_ > kMaxRecordLength) return false;
    std::ifstream in(recordFile, std::ios::binary);
    if (!in) return false;
    // Bytes the file does not hold read as blanks.
    std::string record(kMaxRecordLength, ' ');
    in.read(record.data(), recordLength_);
    if (in.bad()) return false;
    auto field = [&record](TField f) { return Trim(record.substr(f.offset, f.width)); };
    companyMail_ = field(kCompanyMail);
    companyMailName_ = companyMail_.substr(0, companyMail_.find('.'));
    const std::string number = field(kNumber);
    if (!number.empty() && !IsDecimalNumber(number)) return false;
    imported_.EmailAddr = field(kEmailAddr);
    imported_.LoginID = field(kLoginID);
    imported_.Password = field(kPassword);
    in.close();
    DeleteFile(recordFile);
    WriteLog("Process Confidentiality disk - extract EMAIL address: " + imported_.EmailAddr, 1);
    WriteLog("Process Confidentiality disk - extract Login ID: " + imported_.LoginID, 1);
    return true;
}
