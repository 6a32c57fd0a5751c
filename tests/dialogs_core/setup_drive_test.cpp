#include "dialogs/core/setup_drive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "common/syslog.h"
#include "common/test_support.h"

namespace {

// A recorder of the dialog; at every change of the hourglass it notes what the working
// folder's parent holds and the mode of each folder in it.
class TDriveView : public ISetupDriveView {
  public:
    explicit TDriveView(std::string tempBase) : tempBase(std::move(tempBase)) {}
    void SetDriveItems(const std::vector<std::string>& list) override { items = list; }
    void SelectDrive(int index) override { selected = items.at(static_cast<size_t>(index)); }
    std::string SelectedDrive() const override { return selected; }
    std::string PickFolder() override {
        ++picks;
        return picked;
    }
    void SetBusy(bool on) override {
        busy.push_back(on);
        if (on && onBusy) onBusy();
        for (const auto& name : FolderNames(tempBase)) {
            struct stat info {};
            ::stat((tempBase + name).c_str(), &info);
            modes.push_back(info.st_mode & 0777);
            if (!on) workFiles = FolderNames(tempBase + name + "/");
            for (const auto& file : std::filesystem::directory_iterator(tempBase + name))
                if (!on) workBytes += file.file_size();
        }
    }
    void CloseDialog(bool accepted) override { closed.push_back(accepted); }

    std::string tempBase;
    std::vector<std::string> items;
    std::string selected;
    std::string picked;
    int picks = 0;
    std::vector<bool> busy;
    std::vector<unsigned> modes;
    std::vector<std::string> workFiles;
    std::uintmax_t workBytes = 0;  // what the working folder held at the end
    std::function<void()> onBusy;
    std::vector<bool> closed;
};

std::string Pad(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

struct TRecord {
    std::string number = "12345";
    std::string email = "1234567@mail.dovrant.example";
    std::string login = "acme01";
    std::string password = "s3cret";
};

std::string CompanyRecord(const TRecord& r) {
    std::string record(669, ' ');
    record.replace(0, 20, Pad("ACME TRADING", 20));
    record.replace(249, 35, Pad("office.acme.example", 35));
    record.replace(398, 16, Pad(r.number, 16));
    record.replace(414, 50, Pad(r.email, 50));
    record.replace(464, 20, Pad(r.login, 20));
    record.replace(484, 35, Pad(r.password, 35));
    return record;
}

// A profile file: 16 header bytes, then content enciphered with the program's key.
std::string Profile(const std::string& content) {
    std::string out = "DVRKEYDISK v1.0\x1a";
    for (char c : content) out += static_cast<char>(c ^ ProfileKey);
    return out;
}

std::string CompanyProfile(const std::string& record, const std::string& length) {
    return Profile(Pad("COMPANY", 20) + Pad("ACME", 20) + Pad(length, 10) + "\x01" + record);
}

std::string CompanyProfile(const TRecord& r = {}) {
    return CompanyProfile(CompanyRecord(r), "669");
}

std::string ConfProfile() { return Profile(Pad("CONF", 20) + std::string(300, 'x')); }

class SetupDriveTest : public testing::Test {
  protected:
    void SetUp() override {
        SetOperatorView(&boxes);
        mkdir(disk.c_str(), 0755);
        mkdir(temp.c_str(), 0755);
        ASSERT_TRUE(OpenLog(dir.Path() + "LOG/", 2));
    }
    void TearDown() override {
        CloseLog();
        SetOperatorView(nullptr);
    }

    // Opens the dialog on the media list, picks the first item and presses OK.
    void RunImport(std::vector<std::string> media = {}) {
        if (media.empty()) media.push_back(disk);
        controller.emplace(view, media, temp);
        controller->FormCreate();
        controller->FormShow();
        controller->btnOKClick();
    }

    std::vector<std::string> Log() { return LogMessages(LogFileName()); }
    bool Logged(const std::string& line) {
        auto lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (auto& box : boxes.boxes) texts.push_back(box.text);
        return texts;
    }

    TTempDir dir;
    std::string disk = dir.Path() + "key disk/";
    std::string temp = dir.Path() + "tmp/";
    TDriveView view{temp};
    TScriptedView boxes;
    std::optional<TSetupDriveController> controller;
};

}  // namespace

TEST(RemovableMedia, MountPointsUnderMediaAndRunMediaInFileOrder) {
    const std::string mounts =
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sdb1 /run/media/ann/KEY\\040DISK vfat rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "/dev/sdc1 /media/floppy vfat ro 0 0\n"
        "/dev/sdd1 /mnt/media/x vfat rw 0 0\n"
        "/dev/sde1 /mediafiles ext4 rw 0 0\n";
    EXPECT_EQ(RemovableMediaRoots(mounts),
              (std::vector<std::string>{"/run/media/ann/KEY DISK/", "/media/floppy/"}));
    EXPECT_TRUE(RemovableMediaRoots("").empty());
}

TEST(RemovableMedia, DecipheringDropsTheHeaderAndUndoesTheKey) {
    TTempDir dir;
    WriteFile(dir.Path() + "A.PRO", Profile("plain text\n"));
    pDecrypt16File(dir.Path() + "A.PRO", dir.Path() + "A.TXT", ProfileKey);
    EXPECT_EQ(ReadFile(dir.Path() + "A.TXT"), "plain text\n");
    EXPECT_THROW(pDecrypt16File(dir.Path() + "NONE.PRO", dir.Path() + "B.TXT", ProfileKey),
                 std::runtime_error);
    WriteFile(dir.Path() + "SHORT.PRO", "0123456789");
    EXPECT_THROW(pDecrypt16File(dir.Path() + "SHORT.PRO", dir.Path() + "C.TXT", ProfileKey),
                 std::runtime_error);
}

TEST_F(SetupDriveTest, ImportsTheCompanyRecordInAPrivateFolderThatIsRemovedAfterwards) {
    WriteFile(disk + "CONF.PRO", ConfProfile());
    WriteFile(disk + "COMPANY.PRO", CompanyProfile());
    WriteFile(disk + "readme.txt", "not a profile");
    RunImport({disk, "/media/other/"});

    EXPECT_EQ(view.items, (std::vector<std::string>{disk, "/media/other/", "Other folder..."}));
    EXPECT_EQ(controller->Imported().EmailAddr, "1234567@mail.dovrant.example");
    EXPECT_EQ(controller->Imported().LoginID, "acme01");
    EXPECT_EQ(controller->Imported().Password, "s3cret");
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{
                  "Information is extracted from Confidentiality Key Disk successfully!"});
    EXPECT_EQ(boxes.boxes[0].kind, TMsgKind::Information);
    EXPECT_EQ(view.closed, std::vector<bool>{true});
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "Open - Insert Disk",
                         "Process Confidentiality disk - Searching " + disk + "*.pro",
                         "Process Confidentiality disk - extract EMAIL address: "
                         "1234567@mail.dovrant.example",
                         "Process Confidentiality disk - extract Login ID: acme01",
                         "Process Confidentiality disk - information loaded from "
                         "confidentiality disk successfully."}));
    // The working folder is private while it exists, holds only the deciphered copies at the
    // end, and is gone afterwards; the disk is left as it was.
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.modes, (std::vector<unsigned>{0700, 0700}));
    EXPECT_EQ(view.workFiles, (std::vector<std::string>{"COMPANY.PRO", "CONF.PRO"}));
    EXPECT_TRUE(FolderNames(temp).empty());
    EXPECT_EQ(FolderNames(disk),
              (std::vector<std::string>{"COMPANY.PRO", "CONF.PRO", "readme.txt"}));
    for (auto& line : Log()) EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

TEST_F(SetupDriveTest, LowerCaseCompanyFileAndShortRecordStillImport) {
    // The length promises more bytes than the file holds: the record is read as far as it goes.
    WriteFile(disk + "conf.pro", ConfProfile());
    WriteFile(disk + "company.pro", CompanyProfile(CompanyRecord({}).substr(0, 519), "1000"));
    RunImport();
    EXPECT_EQ(controller->Imported().LoginID, "acme01");
    EXPECT_EQ(controller->Imported().Password, "s3cret");
    EXPECT_EQ(BoxTexts().size(), 1u);
    EXPECT_EQ(view.closed, std::vector<bool>{true});
    EXPECT_TRUE(FolderNames(temp).empty());
}

TEST_F(SetupDriveTest, DisksWithoutTheCompanyProfileWarnAndKeepTheDialogOpen) {
    // Nothing usable: folders, hidden files and files too short for a header do not count.
    mkdir((disk + "DIR.PRO").c_str(), 0755);
    WriteFile(disk + ".HIDDEN.PRO", CompanyProfile());
    WriteFile(disk + "TINY.PRO", "short");
    RunImport();
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Please insert correct Confidentiality Key Disk!"});
    EXPECT_EQ(boxes.boxes[0].kind, TMsgKind::Warning);
    EXPECT_TRUE(view.closed.empty());
    EXPECT_TRUE(view.busy.empty());

    // Only the other profile: the key warning names the root; nothing is imported.
    boxes.boxes.clear();
    WriteFile(disk + "CONF.PRO", ConfProfile());
    controller->btnOKClick();
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Please insert the Confidentiality Key in " + disk});
    EXPECT_TRUE(
        Logged("Process Confidentiality disk - COMPANY.PRO does not exists in disk " + disk));
    EXPECT_TRUE(view.closed.empty());
    EXPECT_EQ(controller->Imported().EmailAddr, "");
    EXPECT_EQ(view.modes, (std::vector<unsigned>{0700, 0700}));
    EXPECT_TRUE(FolderNames(temp).empty());
}

TEST_F(SetupDriveTest, DamagedHeadersArePassedOverOrEndTheImportWithoutAMessage) {
    // A profile too short for its type tag is passed over; the company file still imports.
    WriteFile(disk + "COMPANY.PRO", CompanyProfile());
    WriteFile(disk + "CONF.PRO", Profile("CONF"));
    RunImport();
    EXPECT_TRUE(Logged("Process Confidentiality disk - uPeekHeader fail."));
    EXPECT_EQ(view.closed, std::vector<bool>{true});

    // A company file whose record length is not a number gives no record file: the import
    // ends without a message and the dialog stays open.
    boxes.boxes.clear();
    view.closed.clear();
    WriteFile(disk + "COMPANY.PRO", Profile(Pad("COMPANY", 20) + Pad("ACME", 20) + Pad("12x", 10) +
                                            " " + CompanyRecord({})));
    RunImport();
    EXPECT_TRUE(Logged("Process Confidentiality disk - uRemoveComHeader fail."));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(view.closed.empty());
    EXPECT_EQ(controller->Imported().LoginID, "");
    EXPECT_TRUE(FolderNames(temp).empty());
}

TEST_F(SetupDriveTest, DamagedRecordsShowTheParsingErrorAndCloseWithoutResult) {
    struct TCase {
        std::string name;
        std::string profile;
    };
    TRecord badNumber;
    badNumber.number = "12A45";
    std::vector<TCase> cases = {
        {"bad number", CompanyProfile(badNumber)},
        // A record longer than the record buffer is refused, not read past it.
        {"record too long", CompanyProfile(CompanyRecord({}) + std::string(400, ' '), "1025")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        view.closed.clear();
        WriteFile(disk + "COMPANY.PRO", c.profile);
        RunImport();
        EXPECT_EQ(BoxTexts(),
                  std::vector<std::string>{"Error while process company profile file!"});
        EXPECT_EQ(boxes.boxes[0].kind, TMsgKind::Error);
        EXPECT_TRUE(
            Logged("Process Confidentiality disk - Error while process company profile file."));
        EXPECT_EQ(view.closed, std::vector<bool>{false});
        EXPECT_EQ(controller->Imported().EmailAddr, "");
        EXPECT_FALSE(Logged("Process Confidentiality disk - extract Login ID: acme01"));
        EXPECT_TRUE(FolderNames(temp).empty());
    }
    // A record length of exactly 1024 is still accepted.
    boxes.boxes.clear();
    WriteFile(disk + "COMPANY.PRO",
              CompanyProfile(CompanyRecord({}) + std::string(355, ' '), "1024"));
    RunImport();
    EXPECT_EQ(controller->Imported().LoginID, "acme01");
}

TEST_F(SetupDriveTest, OnlyTheBytesARecordNeedsAreDecipheredAndFailuresAreShown) {
    // Padded to 300 MB (sparse): refused with the parsing error, little deciphered.
    WriteFile(disk + "COMPANY.PRO", CompanyProfile());
    ASSERT_EQ(::truncate((disk + "COMPANY.PRO").c_str(), 300LL << 20), 0);
    RunImport();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error while process company profile file!"});
    EXPECT_EQ(view.workBytes, static_cast<std::uintmax_t>(kMaxProfileContent));
    // The disk taken out while the import runs: the operator is told what failed.
    boxes.boxes.clear();
    WriteFile(disk + "COMPANY.PRO", CompanyProfile());
    view.onBusy = [this] { ::unlink((disk + "COMPANY.PRO").c_str()); };
    RunImport();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot read " + disk +
                                                   "COMPANY.PRO: " + std::strerror(ENOENT)});
}

TEST_F(SetupDriveTest, OtherFolderAsksForTheRoot) {
    WriteFile(disk + "COMPANY.PRO", CompanyProfile());
    controller.emplace(view, std::vector<std::string>{}, temp);
    controller->FormCreate();
    controller->FormShow();
    EXPECT_EQ(view.selected, "Other folder...");
    controller->btnOKClick();  // picker cancelled: nothing happens
    EXPECT_EQ(view.picks, 1);
    EXPECT_TRUE(boxes.boxes.empty());
    view.picked = disk.substr(0, disk.size() - 1);
    controller->btnOKClick();
    EXPECT_EQ(controller->Root(), disk);
    EXPECT_EQ(controller->Imported().EmailAddr, "1234567@mail.dovrant.example");
    EXPECT_EQ(view.closed, std::vector<bool>{true});
}
