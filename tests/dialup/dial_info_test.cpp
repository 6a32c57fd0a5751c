// The dial-up information dialog's logic against fake controls and the simulated phone book.

#include "dialup/dial_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/base/clock.h"
#include "common/test_support.h"
#include "dialup/error_str.h"
#include "dialup/ras.h"
#include "dialup/ras_phonebook.h"

namespace {

class TFakeControls : public IDialInfoControls {
  public:
    std::vector<std::string> entries;
    int selected = -1;
    std::string entryLabel, user, password;
    bool save = false;
    std::vector<TDialInfoField> focused;
    int closedOk = 0;

    std::vector<std::string> Entries() const override { return entries; }
    void AddEntry(const std::string& name) override { entries.push_back(name); }
    int SelectedEntry() const override { return selected; }
    void SelectEntry(int index) override { selected = index; }
    std::string EntryText() const override {
        return selected < 0 ? std::string() : entries[static_cast<std::size_t>(selected)];
    }
    void SetEntryLabel(const std::string& text) override { entryLabel = text; }
    std::string UserName() const override { return user; }
    void SetUserName(const std::string& text) override { user = text; }
    std::string Password() const override { return password; }
    void SetPassword(const std::string& text) override { password = text; }
    void SetSavePassword(bool checked) override { save = checked; }
    void Focus(TDialInfoField field) override { focused.push_back(field); }
    void CloseWithOk() override { ++closedOk; }
    void* OwnerWindow() override { return this; }
};

class DialInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock_);
        SetRasPhonebookFile(dir_.Path() + "DIALUP.PBK");
        SetOperatorView(&boxes_);
    }
    void TearDown() override {
        SetOperatorView(nullptr);
        SetRasEntryEditor(nullptr);
        SetRasPhonebookFile("");
        SetClock(nullptr);
    }
    void Write(const std::string& name, const std::string& user, const std::string& password) {
        TRasEntry e;
        e.Name = name;
        e.UserName = user;
        e.Password = password;
        e.PasswordSaved = !password.empty();
        ASSERT_EQ(WriteRasEntry(e), 0u);
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& box : boxes_.boxes) texts.push_back(box.text);
        return texts;
    }

    TTempDir dir_;
    TManualClock clock_;
    TScriptedView boxes_;
    TFakeControls controls_;
    TDialInfoLogic logic_{controls_};
};

TEST_F(DialInfoTest, ConnectChecksEntryThenUserThenPasswordAndStopsAtTheFirstFailure) {
    Write("Office", "dovrant", "");
    logic_.FormCreate();
    controls_.user = "u";
    controls_.password = "p";
    logic_.ConnectClicked();
    controls_.SelectEntry(0);
    controls_.user.clear();
    controls_.password.clear();
    logic_.ConnectClicked();
    controls_.user = "u";
    logic_.ConnectClicked();
    EXPECT_EQ(controls_.closedOk, 0);
    controls_.password = "p";
    logic_.ConnectClicked();
    EXPECT_EQ(controls_.closedOk, 1);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Please select dialup profile.", "Please input User name.",
                                        "Please input password."}));
    EXPECT_EQ(controls_.focused,
              (std::vector<TDialInfoField>{TDialInfoField::Entries, TDialInfoField::UserName,
                                           TDialInfoField::Password}));
    for (const auto& box : boxes_.boxes) {
        EXPECT_EQ(box.kind, TMsgKind::Information);
        EXPECT_EQ(box.buttons, TMsgButtons::OK);
    }
}

TEST_F(DialInfoTest, ChoosingAnEntryLoadsItsStoredCredentials) {
    Write("Office", "dovrant", "s3cret");
    Write("Home", "me", "");
    logic_.FormCreate();
    ASSERT_EQ(controls_.entries, (std::vector<std::string>{"Office", "Home"}));

    logic_.SelectByName("office");
    EXPECT_EQ(controls_.selected, 0);
    logic_.EntryChanged();
    EXPECT_EQ(controls_.user, "dovrant");
    EXPECT_EQ(controls_.password, "s3cret");
    EXPECT_TRUE(controls_.save);
    EXPECT_EQ(controls_.entryLabel, "Office");

    logic_.SelectByName("Home");
    logic_.EntryChanged();
    EXPECT_EQ(controls_.user, "me");
    EXPECT_EQ(controls_.password, "");
    EXPECT_FALSE(controls_.save);
    EXPECT_EQ(controls_.entryLabel, "Home");

    // An entry gone from the phone book clears the fields; an unlisted name selects nothing.
    ASSERT_EQ(DeleteRasEntry("Home"), 0u);
    controls_.password = "x";
    controls_.save = true;
    logic_.EntryChanged();
    EXPECT_EQ(controls_.user, "");
    EXPECT_EQ(controls_.password, "");
    EXPECT_FALSE(controls_.save);
    logic_.SelectByName("Nowhere");
    EXPECT_EQ(controls_.selected, -1);
}

TEST_F(DialInfoTest, CreateAndSettingGoThroughTheEditorAndReportFailures) {
    logic_.FormCreate();
    EXPECT_TRUE(controls_.entries.empty());
    SetRasEntryEditor([](TRasEntry& entry, bool isNew) {
        if (isNew) entry.Name = "Fresh";
        entry.UserName = isNew ? "first" : "second";
        entry.Password = "pw";
        entry.PasswordSaved = true;
        return true;
    });
    logic_.CreateClicked();
    ASSERT_EQ(controls_.entries, std::vector<std::string>{"Fresh"});
    EXPECT_EQ(controls_.selected, 0);
    EXPECT_EQ(controls_.user, "first");
    EXPECT_TRUE(controls_.save);

    logic_.SettingClicked();
    EXPECT_EQ(controls_.user, "second");
    ASSERT_EQ(DeleteRasEntry("Fresh"), 0u);
    logic_.SettingClicked();
    EXPECT_FALSE(boxes_.boxes.empty());
    EXPECT_EQ(Texts().back(), "Cannot change connection settings: " + RasErrorText(623));

    // More entries than the list holds: none listed, and Create names the reason.
    for (int i = 0; i < 31; ++i) Write("E" + std::to_string(i), "u", "");
    TFakeControls full;
    TDialInfoLogic crowded(full);
    crowded.FormCreate();
    EXPECT_TRUE(full.entries.empty());
    SetRasEntryEditor([](TRasEntry& entry, bool) {
        entry.Name = "One more";
        return true;
    });
    crowded.CreateClicked();
    EXPECT_TRUE(full.entries.empty());
    EXPECT_EQ(Texts().back(), "Cannot get RAS entries: " + RasErrorText(603));
}

}  // namespace
