// The remote-access service on the simulated line: the phone book, dial parameters, dialing
// with its notifier, status, enumeration and hang-up, all on the manual clock.

#include "dialup/ras.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "common/base/clock.h"
#include "common/test_support.h"
#include "dialup/ras_phonebook.h"
#include "dialup/ras_sim.h"
#include "support/temp_dir.h"

namespace {

class RasTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock_);
        SetRasPhonebookFile(dir_.Path() + "DIALUP.PBK");
        SimResetLine();
    }
    void TearDown() override {
        SimResetLine();
        SetRasEntryEditor(nullptr);
        SetRasPhonebookFile("");
        SetClock(nullptr);
    }

    TRasEntry Entry(const std::string& name, std::vector<TSimOutcome> results,
                    std::vector<TSimStep> states = {}) {
        TRasEntry e;
        e.Name = name;
        e.PhoneNumber = "5551234";
        e.UserName = "dovrant";
        e.SimResults = std::move(results);
        e.SimStates = std::move(states);
        return e;
    }

    // Dials name, recording every notice.
    unsigned Dial(const std::string& name, HRASCONN& handle) {
        RASDIALPARAMS p;
        p.szEntryName = name;
        p.szPassword = "s3cret";
        return RasDial(
            nullptr, nullptr, p, 0,
            [this](unsigned message, int state, unsigned error) {
                EXPECT_EQ(message, WM_RASDIALEVENT);
                notices_.emplace_back(state, error);
            },
            handle);
    }

    std::pair<int, unsigned> Status(HRASCONN handle, unsigned* result = nullptr) {
        RASCONNSTATUS s;
        const unsigned r = RasGetConnectStatus(handle, s);
        if (result) *result = r;
        return {s.rasconnstate, s.dwError};
    }

    TTempDir dir_;
    TManualClock clock_;
    std::vector<std::pair<int, unsigned>> notices_;
};

TEST_F(RasTest, PhoneBookKeepsEntriesInOrderAndFindsThemWithoutRegardToCase) {
    TRasEntry a =
        Entry("Office ISP", {TSimOutcome::Busy, TSimOutcome::Connected}, {{0, 200}, {2, 1500}});
    a.SimDropAfter = 30;
    a.Domain = "CORP";
    ASSERT_EQ(WriteRasEntry(a), 0u);
    ASSERT_EQ(WriteRasEntry(Entry("Backup", {TSimOutcome::NoAnswer})), 0u);

    std::vector<std::string> names;
    ASSERT_EQ(RasEnumEntries(nullptr, names), 0u);
    EXPECT_EQ(names, (std::vector<std::string>{"Office ISP", "Backup"}));

    TRasEntry read;
    ASSERT_EQ(ReadRasEntry("office isp", read), 0u);
    EXPECT_EQ(read.Name, "Office ISP");
    EXPECT_EQ(read.Domain, "CORP");
    EXPECT_EQ(read.SimDropAfter, 30);
    EXPECT_EQ(SimStatesText(read.SimStates), "0/200 2/1500");
    EXPECT_EQ(SimResultsText(read.SimResults), "busy,connected");

    ASSERT_EQ(DeleteRasEntry("OFFICE ISP"), 0u);
    EXPECT_EQ(ReadRasEntry("Office ISP", read), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_EQ(DeleteRasEntry("Office ISP"), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    ASSERT_EQ(RasEnumEntries(nullptr, names), 0u);
    EXPECT_EQ(names, std::vector<std::string>{"Backup"});
    EXPECT_EQ(RasEnumEntries("other.pbk", names), ERROR_CANNOT_OPEN_PHONEBOOK);
}

TEST_F(RasTest, NamesAndScriptsThePhoneBookCannotHoldAreRefused) {
    for (const std::string& bad :
         std::vector<std::string>{"", " lead", "trail ", "a=b", "[x]", ";c", "two\nlines",
                                  std::string(RAS_MaxEntryName + 1, 'n')})
        EXPECT_EQ(WriteRasEntry(Entry(bad, {TSimOutcome::Connected})), ERROR_INVALID_NAME) << bad;
    EXPECT_TRUE(ValidRasEntryName(std::string(RAS_MaxEntryName, 'n')));

    std::vector<TSimStep> steps;
    EXPECT_FALSE(ParseSimStates("0/200 2", steps));
    EXPECT_FALSE(ParseSimStates("0/-5", steps));
    std::vector<TSimOutcome> results;
    EXPECT_FALSE(ParseSimResults("connected,maybe", results));
    EXPECT_FALSE(ParseSimResults("", results));
    ASSERT_TRUE(ParseSimResults(" No Answer ,fail, never,error", results));
    EXPECT_EQ(SimResultsText(results), "no answer,fail,never,error");
}

TEST_F(RasTest, AnUnreadablePhoneBookGivesItsCodes) {
    SetRasPhonebookFile(dir_.Path());  // a folder, not a file
    std::vector<std::string> names;
    EXPECT_EQ(RasEnumEntries(nullptr, names), ERROR_CANNOT_OPEN_PHONEBOOK);
    RASDIALPARAMS p;
    p.szEntryName = "Office ISP";
    bool saved = true;
    EXPECT_EQ(RasGetEntryDialParams(nullptr, p, saved), ERROR_CANNOT_OPEN_PHONEBOOK);
    EXPECT_EQ(WriteRasEntry(Entry("Office ISP", {})), ERROR_CANNOT_WRITE_PHONEBOOK);
}

TEST_F(RasTest, DialParametersKeepTheSavedPasswordScrambled) {
    const mode_t savedMask = ::umask(022);  // the phone book it makes is its owner's only
    ASSERT_EQ(WriteRasEntry(Entry("Office ISP", {TSimOutcome::Connected})), 0u);
    ::umask(savedMask);
    struct stat st {};
    EXPECT_EQ(::stat(RasPhonebookFile().c_str(), &st) == 0 ? st.st_mode & 0777 : 0, 0600u);
    RASDIALPARAMS p;
    p.szEntryName = "Office ISP";
    bool saved = true;
    ASSERT_EQ(RasGetEntryDialParams(nullptr, p, saved), 0u);
    EXPECT_FALSE(saved);
    EXPECT_EQ(p.szUserName, "dovrant");
    EXPECT_EQ(p.szPhoneNumber, "5551234");
    EXPECT_EQ(p.szPassword, "");

    p.szUserName = "gateway";
    p.szPassword = "Pa55word!";
    ASSERT_EQ(RasSetEntryDialParams(nullptr, p, false), 0u);
    EXPECT_EQ(ReadFile(RasPhonebookFile()).find("Pa55word!"), std::string::npos);
    RASDIALPARAMS q;
    q.szEntryName = "office isp";
    ASSERT_EQ(RasGetEntryDialParams(nullptr, q, saved), 0u);
    EXPECT_TRUE(saved);
    EXPECT_EQ(q.szUserName, "gateway");
    EXPECT_EQ(q.szPassword, "Pa55word!");

    ASSERT_EQ(RasSetEntryDialParams(nullptr, q, true), 0u);
    ASSERT_EQ(RasGetEntryDialParams(nullptr, q, saved), 0u);
    EXPECT_FALSE(saved);
    EXPECT_EQ(q.szPassword, "");
    EXPECT_EQ(q.szUserName, "gateway");

    q.szEntryName = "Nowhere";
    EXPECT_EQ(RasGetEntryDialParams(nullptr, q, saved), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_EQ(RasSetEntryDialParams(nullptr, q, false), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    q.szEntryName = "Office ISP";
    q.szPassword = std::string(PWLEN + 1, 'p');
    EXPECT_EQ(RasSetEntryDialParams(nullptr, q, false), ERROR_INVALID_PARAMETER);
    q.dwSize = 1040;
    EXPECT_EQ(RasGetEntryDialParams(nullptr, q, saved), ERROR_INVALID_SIZE);
}

TEST_F(RasTest, EntryPropertiesAnswerTheSizeQueryThenThePhoneNumber) {
    ASSERT_EQ(WriteRasEntry(Entry("Office ISP", {})), 0u);
    unsigned size = 0, deviceSize = 7;
    EXPECT_EQ(RasGetEntryPropertiesA(nullptr, "Office ISP", nullptr, &size, nullptr, &deviceSize),
              ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, RASENTRY_SIZE);
    EXPECT_EQ(deviceSize, 0u);
    RASENTRY e;
    EXPECT_EQ(RasGetEntryPropertiesA(nullptr, "Office ISP", &e, &size, nullptr, &deviceSize), 0u);
    EXPECT_EQ(e.szLocalPhoneNumber, "5551234");
    EXPECT_EQ(RasGetEntryPropertiesA(nullptr, "Nowhere", &e, &size, nullptr, &deviceSize),
              ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
}

TEST_F(RasTest, AScriptedDialPassesItsStatesOnTheClockAndTellsEachOnce) {
    ASSERT_EQ(WriteRasEntry(Entry("Office ISP", {TSimOutcome::Connected}, {{0, 200}, {2, 1000}})),
              0u);
    HRASCONN h = 0;
    ASSERT_EQ(Dial("Office ISP", h), 0u);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(SimLastDialParams().szPassword, "s3cret");
    EXPECT_EQ(Status(h), std::make_pair(RASCS_OpenPort, 0u));
    clock_.AdvanceMs(199);
    EXPECT_EQ(Status(h).first, RASCS_OpenPort);
    clock_.AdvanceMs(1);
    EXPECT_EQ(Status(h).first, RASCS_ConnectDevice);
    clock_.AdvanceMs(5000);
    EXPECT_EQ(Status(h), std::make_pair(RASCS_Connected, 0u));
    EXPECT_EQ(Status(h).first, RASCS_Connected);
    const std::vector<std::pair<int, unsigned>> told{
        {RASCS_OpenPort, 0}, {RASCS_ConnectDevice, 0}, {RASCS_Connected, 0}};
    EXPECT_EQ(notices_, told);

    int state = 0;
    EXPECT_EQ(RasGetConnectStatus(h, state), 0u);
    EXPECT_EQ(state, RASCS_Connected);
    EXPECT_EQ(RasGetConnectStatus(HRASCONN{0}, state), ERROR_INVALID_HANDLE);
}

TEST_F(RasTest, EachDialTakesTheNextScriptedOutcomeAndTheLastRepeats) {
    TRasEntry e = Entry(
        "Office ISP",
        {TSimOutcome::Busy, TSimOutcome::NoAnswer, TSimOutcome::Error, TSimOutcome::Connected},
        {{0, 100}});
    e.SimError = ERROR_AUTHENTICATION_FAILURE;
    ASSERT_EQ(WriteRasEntry(e), 0u);
    const std::pair<int, unsigned> expected[] = {
        {RASCS_Disconnected, ERROR_LINE_BUSY},
        {RASCS_Disconnected, ERROR_NO_ANSWER},
        {RASCS_Disconnected, ERROR_AUTHENTICATION_FAILURE},
        {RASCS_Connected, 0},
        {RASCS_Connected, 0},
    };
    for (const auto& outcome : expected) {
        HRASCONN h = 0;
        ASSERT_EQ(Dial("office isp", h), 0u);
        clock_.AdvanceMs(100);
        EXPECT_EQ(Status(h), outcome);
        ASSERT_EQ(RasHangUp(h), 0u);
        unsigned result = 0;
        Status(h, &result);
        EXPECT_EQ(result, ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(SimDialCount("OFFICE ISP"), 5);
}

TEST_F(RasTest, FailuresAtOnceAndLinesThatNeverSettle) {
    TRasEntry fail = Entry("Fails", {TSimOutcome::Fail});
    fail.SimError = ERROR_PORT_NOT_AVAILABLE;
    ASSERT_EQ(WriteRasEntry(fail), 0u);
    ASSERT_EQ(WriteRasEntry(Entry("Stuck", {TSimOutcome::Never}, {{5, 100}})), 0u);
    HRASCONN h = 99;
    EXPECT_EQ(Dial("Fails", h), ERROR_PORT_NOT_AVAILABLE);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(Dial("Nowhere", h), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);

    ASSERT_EQ(Dial("Stuck", h), 0u);
    clock_.AdvanceMs(3600 * 1000);
    EXPECT_EQ(Status(h), std::make_pair(5, 0u));
    ASSERT_EQ(RasHangUp(h), 0u);
    unsigned result = 0;
    Status(h, &result);
    EXPECT_EQ(result, ERROR_INVALID_HANDLE);
    EXPECT_EQ(RasHangUp(h), ERROR_INVALID_HANDLE);

    RASDIALPARAMS p;
    p.szEntryName = "Stuck";
    p.dwSize = 0;
    EXPECT_EQ(RasDial(nullptr, nullptr, p, 0, nullptr, h), ERROR_INVALID_SIZE);
}

TEST_F(RasTest, ADroppedLineAndASlowHangUpAreReportedOnTheClock) {
    TRasEntry e = Entry("Office ISP", {TSimOutcome::Connected});
    e.SimDropAfter = 30;
    e.SimHangUpMs = 2000;
    ASSERT_EQ(WriteRasEntry(e), 0u);
    HRASCONN h = 0;
    ASSERT_EQ(Dial("Office ISP", h), 0u);
    clock_.AdvanceMs(29999);
    EXPECT_EQ(Status(h).first, RASCS_Connected);
    clock_.AdvanceMs(1);
    EXPECT_EQ(Status(h), std::make_pair(RASCS_Disconnected, ERROR_PORT_DISCONNECTED));

    ASSERT_EQ(RasHangUp(h), 0u);
    clock_.AdvanceMs(1999);
    unsigned result = 1;
    EXPECT_EQ(Status(h, &result).first, RASCS_Disconnected);
    EXPECT_EQ(result, 0u);
    clock_.AdvanceMs(1);
    Status(h, &result);
    EXPECT_EQ(result, ERROR_INVALID_HANDLE);
}

TEST_F(RasTest, EnumerationListsConnectionsInOrderAndRefusesASmallBuffer) {
    ASSERT_EQ(WriteRasEntry(Entry("Office ISP", {TSimOutcome::Connected})), 0u);
    const HRASCONN other = SimPlaceOtherConnection("Somebody's VPN");
    HRASCONN own = 0;
    ASSERT_EQ(Dial("Office ISP", own), 0u);

    RASCONN list[10];
    unsigned bytes = sizeof(list) / sizeof(list[0]) * RASCONN_SIZE, count = 0;
    ASSERT_EQ(bytes, 4120u);
    ASSERT_EQ(RasEnumConnections(list, bytes, count), 0u);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(list[0].hrasconn, other);
    EXPECT_EQ(list[0].szEntryName, "Somebody's VPN");
    EXPECT_EQ(list[1].hrasconn, own);
    EXPECT_EQ(Status(other), std::make_pair(RASCS_Connected, 0u));

    for (int i = 0; i < 9; ++i) SimPlaceOtherConnection("Other " + std::to_string(i));
    bytes = 4120;
    EXPECT_EQ(RasEnumConnections(list, bytes, count), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 11u);
    EXPECT_EQ(bytes, 11 * RASCONN_SIZE);
    bytes = 4000;
    EXPECT_EQ(RasEnumConnections(list, bytes, count), ERROR_INVALID_SIZE);

    SimResetLine();
    bytes = 4120;
    ASSERT_EQ(RasEnumConnections(list, bytes, count), 0u);
    EXPECT_EQ(count, 0u);
}

TEST_F(RasTest, EntriesAreCreatedAndEditedThroughTheEditor) {
    EXPECT_EQ(RasCreatePhonebookEntryA(nullptr, nullptr), 0u);  // no editor: nothing made
    std::vector<std::string> names;
    ASSERT_EQ(RasEnumEntries(nullptr, names), 0u);
    EXPECT_TRUE(names.empty());

    SetRasEntryEditor([](TRasEntry& e, bool isNew) {
        if (!isNew) {
            e.Name = "Renamed";
            return true;
        }
        e.Name = "Made";
        e.PhoneNumber = "123";
        return true;
    });
    ASSERT_EQ(RasCreatePhonebookEntryA(nullptr, nullptr), 0u);
    ASSERT_EQ(RasEditPhonebookEntryA(nullptr, nullptr, "made"), 0u);
    ASSERT_EQ(RasEnumEntries(nullptr, names), 0u);
    EXPECT_EQ(names, std::vector<std::string>{"Renamed"});
    TRasEntry read;
    ASSERT_EQ(ReadRasEntry("Renamed", read), 0u);
    EXPECT_EQ(read.PhoneNumber, "123");
    EXPECT_EQ(RasEditPhonebookEntryA(nullptr, nullptr, "Made"), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);

    SetRasEntryEditor([](TRasEntry&, bool) { return false; });  // cancelled
    EXPECT_EQ(RasEditPhonebookEntryA(nullptr, nullptr, "Renamed"), 0u);
    ASSERT_EQ(ReadRasEntry("Renamed", read), 0u);
}

}  // namespace
