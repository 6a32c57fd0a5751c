// The state and error texts, the message box of a failed call and the run-time binding.

#include "dialup/error_str.h"

#include <gtest/gtest.h>

#include "common/view.h"
#include "dialup/ras_bind.h"
#include "dialup/ras_phonebook.h"
#include "support/temp_dir.h"

namespace {

TEST(RasTextTest, ErrorTableHasEveryRowFrom600To753AndSuccess) {
    EXPECT_EQ(RasErrorTextCount(), 155);
    EXPECT_EQ(RasErrorText(0), "Success.");
    EXPECT_EQ(RasErrorText(600), "An operation is pending.");
    EXPECT_EQ(RasErrorText(623), "Cannot find the phone book entry.");
    EXPECT_EQ(RasErrorText(676), "The line is busy.");
    EXPECT_EQ(RasErrorText(682), "ERROR_WRITING_SECTIONNAME");
    EXPECT_EQ(RasErrorText(753),
              "The connection could not be disconnected because it was created by the "
              "Multi-Protocol Router.");
    for (int code = 600; code <= 753; ++code) EXPECT_NE(RasErrorText(code), "Unknown") << code;
    for (const int code : {-1, 1, 6, 87, 599, 754, 8192})
        EXPECT_EQ(RasErrorText(code), "Unknown") << code;
}

TEST(RasTextTest, ErrorTableKeepsItsOddRowsAsWritten) {
    EXPECT_EQ(RasErrorText(634), "Cannot register your computer on on the remote network.");
    EXPECT_EQ(RasErrorText(655),
              "The <message> macro was not found in the device .INF file secion.");
    EXPECT_EQ(RasErrorText(709),
              "Error changing password on domain.  The password may be too short or may match "
              "a previously used password.");
    EXPECT_EQ(RasErrorText(711), "RasMan initialization failure.  Check the event log.");
    EXPECT_EQ(RasErrorText(715), "Too many errors occured because of poor phone line quality.");
    EXPECT_EQ(RasErrorText(751),
              "Invalid callback number.  Only the characters 0 to 9, T, P, W, (, ), -, @, and "
              "space are allowed in the number.");
}

TEST(RasTextTest, StateTableAndErrorsInPlaceOfStates) {
    EXPECT_EQ(RasStateTextCount(), 28);
    EXPECT_EQ(RasStateText(0, 0), "Opening port.");
    EXPECT_EQ(RasStateText(9, 0), "Authentication: change password.");
    EXPECT_EQ(RasStateText(21, 0), "Logging on network.");
    EXPECT_EQ(RasStateText(4097, 0), "Retry Authentication.");
    EXPECT_EQ(RasStateText(8192, 0), "Connected.");
    EXPECT_EQ(RasStateText(8193, 0), "Disconnected.");
    for (const int state : {22, 23, 4100, 8194, -1}) EXPECT_EQ(RasStateText(state, 0), "") << state;
    // An error replaces the state's text with the service's text for the error.
    EXPECT_EQ(RasStateText(8192, 676), "The line is busy.");
    EXPECT_EQ(RasStateText(22, 678), "There is no answer.");
    EXPECT_EQ(RasStateText(8192, 87), "");
}

TEST(RasTextTest, ServiceTextsCoverTheRemoteAccessCodesOnly) {
    char buffer[256];
    EXPECT_EQ(RasGetErrorStringA(691, buffer, sizeof buffer), 0u);
    EXPECT_EQ(std::string(buffer), RasErrorText(691));
    EXPECT_EQ(RasGetErrorStringA(0, buffer, sizeof buffer), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RasGetErrorStringA(754, buffer, sizeof buffer), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RasGetErrorStringA(676, buffer, 10), ERROR_INVALID_BUFFER);
}

class TRecordingView : public IOperatorView {
  public:
    std::vector<std::string> texts;
    TMsgKind kind = TMsgKind::Information;
    TMsgButtons buttons = TMsgButtons::YesNo;
    TMsgAnswer MessageBox(TMsgKind k, const std::string& text, const std::string&,
                          TMsgButtons b) override {
        texts.push_back(text), kind = k, buttons = b;
        return TMsgAnswer::OK;
    }
};

TEST(RasTextTest, ShowRasErrorShowsOnlyWhatTheServiceCanName) {
    TRecordingView view;
    SetOperatorView(&view);
    ShowRasError("Cannot update connection settings: ", 624, TMsgButtons::OK, TMsgKind::Error);
    ShowRasError("Cannot update connection settings: ", 87, TMsgButtons::OK, TMsgKind::Error);
    ShowRasError("x", 0, TMsgButtons::OK, TMsgKind::Error);
    SetOperatorView(nullptr);
    ASSERT_EQ(view.texts.size(), 1u);
    EXPECT_EQ(view.texts[0],
              "Cannot update connection settings: Cannot write the phone book file.");
    EXPECT_EQ(view.kind, TMsgKind::Error);
    EXPECT_EQ(view.buttons, TMsgButtons::OK);
}

// Stand-ins for the phone-book function under its two exported names.
unsigned PlainName(const char*, const char*, RASENTRY*, unsigned* size, void*, unsigned*) {
    *size = 1;
    return 0;
}

class RasBindTest : public ::testing::Test {
  protected:
    void SetUp() override { ReleaseRasBinding(); }
    void TearDown() override {
        SetRasLibraryLoader(nullptr);
        ReleaseRasBinding();
    }
    std::string Failure(const std::string& name) {
        try {
            GetRasProc(name);
        } catch (const ERasBindError& e) {
            return e.what();
        }
        return "bound";
    }
    std::vector<std::string> opened_;
};

TEST_F(RasBindTest, TheServiceExportsTheEntryPropertiesAndTheCallPassesThrough) {
    TTempDir dir;
    SetRasPhonebookFile(dir.Path() + "DIALUP.PBK");
    TRasEntry e;
    e.Name = "Office ISP";
    e.PhoneNumber = "5550000";
    ASSERT_EQ(WriteRasEntry(e), 0u);
    unsigned size = 0, deviceSize = 0;
    EXPECT_EQ(RasGetEntryProperties(nullptr, "Office ISP", nullptr, &size, nullptr, &deviceSize),
              ERROR_BUFFER_TOO_SMALL);
    RASENTRY entry;
    EXPECT_EQ(RasGetEntryProperties(nullptr, "Office ISP", &entry, &size, nullptr, &deviceSize),
              0u);
    EXPECT_EQ(entry.szLocalPhoneNumber, "5550000");
    EXPECT_EQ(Failure("RasDialDlg"), "Function RasDialDlg not found!");
    SetRasPhonebookFile("");
}

TEST_F(RasBindTest, EachLibraryFailureHasItsText) {
    SetRasLibraryLoader([](const std::string&) -> const TRasExports* { return nullptr; });
    EXPECT_EQ(Failure("RasGetEntryProperties"), "Error opening rasapi.dll");

    static const TRasExports empty;
    SetRasLibraryLoader([](const std::string& library) -> const TRasExports* {
        return library == "rasapi32.dll" ? &empty : nullptr;
    });
    EXPECT_EQ(Failure("RasGetEntryProperties"), "Error opening rnaph.dll");

    SetRasLibraryLoader([](const std::string&) -> const TRasExports* { return &empty; });
    EXPECT_EQ(Failure("RasGetEntryProperties"), "Function RasGetEntryProperties not found!");
}

TEST_F(RasBindTest, APlainNameInRnaphIsTakenFromThereForEveryLaterLookup) {
    static const TRasExports rasapi{{"RasDialA", reinterpret_cast<TRasProc>(&PlainName)}};
    static const TRasExports rnaph{
        {"RasGetEntryProperties", reinterpret_cast<TRasProc>(&PlainName)}};
    SetRasLibraryLoader([this](const std::string& library) -> const TRasExports* {
        opened_.push_back(library);
        return library == "rasapi32.dll" ? &rasapi : &rnaph;
    });
    unsigned size = 0;
    EXPECT_EQ(RasGetEntryProperties(nullptr, "x", nullptr, &size, nullptr, nullptr), 0u);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(opened_, (std::vector<std::string>{"rasapi32.dll", "rnaph.dll"}));
    // Bound to rnaph.dll now: the plain name is looked up, nothing is opened again.
    EXPECT_NE(GetRasProc("RasGetEntryProperties"), nullptr);
    EXPECT_EQ(Failure("RasDial"), "Function RasDial not found!");
    EXPECT_EQ(opened_.size(), 2u);
}

TEST_F(RasBindTest, TheAFormIsPreferredAndOnlyTheLibraryIsRemembered) {
    static const TRasExports rasapi{
        {"RasGetEntryPropertiesA", reinterpret_cast<TRasProc>(&PlainName)}};
    SetRasLibraryLoader([this](const std::string& library) -> const TRasExports* {
        opened_.push_back(library);
        return &rasapi;
    });
    EXPECT_EQ(GetRasProc("RasGetEntryProperties"), reinterpret_cast<TRasProc>(&PlainName));
    EXPECT_EQ(Failure("RasGetEntryPropertiesA"), "Function RasGetEntryPropertiesA not found!");
    EXPECT_EQ(opened_, std::vector<std::string>{"rasapi32.dll"});
}

}  // namespace
