// The Confidentiality Key Disk: any bytes as its COMPANY.PRO go through the whole import (the
// search, the deciphering, the header and the company record) without a crash, and the
// private working folder is gone again afterwards, whatever the file held.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/base/fileutil.h"
#include "dialogs/core/setup_drive.h"
#include "fuzz/fuzz_folder.h"

namespace {

class TView : public ISetupDriveView {
  public:
    void SetDriveItems(const std::vector<std::string>& items) override { items_ = items; }
    void SelectDrive(int index) override { selected_ = items_.at(static_cast<std::size_t>(index)); }
    std::string SelectedDrive() const override { return selected_; }
    std::string PickFolder() override { return ""; }
    void SetBusy(bool) override {}
    void CloseDialog(bool accepted) override { accepted_ = accepted; }

    bool accepted_ = false;

  private:
    std::vector<std::string> items_;
    std::string selected_;
};

const std::string& Folder() {
    static const std::string folder = [] {
        const std::string made = FuzzFolder();
        ::mkdir((made + "disk").c_str(), 0700);
        ::mkdir((made + "work").c_str(), 0700);
        return made;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string disk = Folder() + "disk/";
    const std::string work = Folder() + "work/";
    std::ofstream(disk + "COMPANY.PRO", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    TView view;
    TSetupDriveController controller(view, {disk}, work);
    controller.FormCreate();
    controller.FormShow();
    controller.btnOKClick();
    if (!FolderEntries(work).empty()) std::abort();
    if (view.accepted_) {
        const TImportedCompany& company = controller.Imported();
        if (company.EmailAddr.size() > 50 || company.LoginID.size() > 20 ||
            company.Password.size() > 35)
            std::abort();
    }
    return 0;
}
