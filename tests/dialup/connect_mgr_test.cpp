// The connection check and the hang-up on the simulated line and the manual clock: adoption,
// dialing passes and trials, the operator's dialogs, the hang-up rules and the bounded waits.

#include "dialup/connect_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/base/clock.h"
#include "common/base/datetime.h"
#include "common/password.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/test_support.h"
#include "dialup/dial.h"
#include "dialup/dial_views.h"
#include "dialup/error_str.h"
#include "dialup/ras_bind.h"
#include "dialup/ras_phonebook.h"
#include "dialup/ras_sim.h"

namespace {

const char* const kSecret = "pa55-Wd9";

// What the fake dialogs saw and how they answer.
struct TDialogs {
    // Progress dialogs.
    int progressMade = 0;
    std::vector<std::string> captions;
    std::vector<std::string> statuses;
    int minimized = 0;
    int closed = 0;
    std::string cancelOnStatus;  // the Cancel button is pressed when this status is shown
    int frame = 0;
    // Information dialogs.
    int infoMade = 0;
    int infoOpenNow = 0;
    int maxInfoOpen = 0;
    bool infoOk = true;
    std::string shownEntry, shownUser, shownPassword;
    bool shownSave = false;
    std::string typedEntry = "Office", typedUser = " typed ", typedPassword = kSecret;
    bool typedSave = false;
    std::function<void()> duringInfo;  // runs while the information dialog is shown
};

class TFakeProgress : public IDialProgressView {
  public:
    explicit TFakeProgress(TDialogs& d) : d_(d) { ++d_.progressMade; }
    void SetForm(TDialProgress* form) override { form_ = form; }
    void SetCaption(const std::string& text) override { d_.captions.push_back(text); }
    void SetStatus(const std::string& text) override {
        d_.statuses.push_back(text);
        if (form_ && text == d_.cancelOnStatus) form_->CancelClicked();
    }
    void ShowModeless() override {}
    void Minimize() override { ++d_.minimized; }
    void Close() override {
        ++d_.closed;
        EXPECT_TRUE(form_ && form_->CloseRequested());
    }
    void ShowFrame(int frame) override { d_.frame = frame; }

  private:
    TDialogs& d_;
    TDialProgress* form_ = nullptr;
};

class TFakeInfo : public IDialInfoView {
  public:
    explicit TFakeInfo(TDialogs& d) : d_(d) { ++d_.infoMade; }
    void SetEntryName(const std::string&) override {}
    void SelectEntry(const std::string& name) override { d_.shownEntry = name; }
    void SetUserName(const std::string& text) override { d_.shownUser = text; }
    void SetPassword(const std::string& text) override { d_.shownPassword = text; }
    void SetSavePassword(bool checked) override { d_.shownSave = checked; }
    bool ShowModal() override {
        d_.maxInfoOpen = std::max(d_.maxInfoOpen, ++d_.infoOpenNow);
        if (d_.duringInfo) d_.duringInfo();
        --d_.infoOpenNow;
        return d_.infoOk;
    }
    std::string EntryText() const override { return d_.typedEntry; }
    std::string UserName() const override { return d_.typedUser; }
    std::string Password() const override { return d_.typedPassword; }
    bool SavePassword() const override { return d_.typedSave; }

  private:
    TDialogs& d_;
};

class ConnectMgrTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(&clock_);
        SetRasPhonebookFile(dir_.Path() + "DIALUP.PBK");
        SimResetLine();
        ASSERT_TRUE(OpenLog(dir_.Path() + "log/", 2));
        SetOperatorView(&boxes_);
        TDialupHooks hooks;
        hooks.makeDialInfo = [this] { return std::make_unique<TFakeInfo>(dialogs_); };
        hooks.makeDialProgress = [this] { return std::make_unique<TFakeProgress>(dialogs_); };
        hooks.socketsCleanup = [this] { ++socketCleanups_; };
        SetDialupHooks(hooks);
        ConnectionInfo = TConnectionInfo{};
        ConnectionInfo.DialupProfile = "Office";
        ConnectionInfo.Retry = 3;
        DVR_RASConn = 0;
        DialIdle = true;
        DialedBySelf = false;
    }
    void TearDown() override {
        CloseLog();
        SimResetLine();
        SetDialupHooks({});
        SetOperatorView(nullptr);
        SetRasPhonebookFile("");
        SetClock(nullptr);
        ConnectionInfo = TConnectionInfo{};
        DVR_RASConn = 0;
        DialIdle = true;
        DialedBySelf = false;
    }

    // The Office entry: dials through a few states to the outcomes given, with credentials
    // stored (the password only when given).
    void WriteOffice(std::vector<TSimOutcome> results, const std::string& password = kSecret) {
        TRasEntry e;
        e.Name = "Office";
        e.PhoneNumber = "5551234";
        e.UserName = "dovrant";
        e.Password = password;
        e.PasswordSaved = !password.empty();
        e.SimStates = {{0, 300}, {2, 1500}, {14, 400}};
        e.SimResults = std::move(results);
        ASSERT_EQ(WriteRasEntry(e), 0u);
    }

    std::vector<std::string> Log() { return LogMessages(LogFileName()); }
    int LogCount(const std::string& line) {
        const auto log = Log();
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
    bool LogHas(const std::string& line) { return LogCount(line) > 0; }
    int StatusCount(const std::string& text) {
        return static_cast<int>(
            std::count(dialogs_.statuses.begin(), dialogs_.statuses.end(), text));
    }
    bool Listed(HRASCONN handle) {
        RASCONNSTATUS status;
        return RasGetConnectStatus(handle, status) == 0;
    }

    TTempDir dir_;
    TManualClock clock_;
    TScriptedView boxes_;
    TDialogs dialogs_;
    int socketCleanups_ = 0;
};

TEST_F(ConnectMgrTest, AnotherProgramsConnectionIsAdoptedAndNeverCountsAsDialedBySelf) {
    WriteOffice({TSimOutcome::Connected});
    const HRASCONN other = SimPlaceOtherConnection("Neighbour VPN");
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_EQ(DVR_RASConn.load(), other);
    EXPECT_FALSE(DialedBySelf);
    EXPECT_TRUE(DialIdle);
    EXPECT_EQ(SimDialCount("Office"), 0);
    EXPECT_EQ(dialogs_.progressMade + dialogs_.infoMade, 0);
    EXPECT_TRUE(LogHas("Connection created by Neighbour VPN is used."));
    EXPECT_TRUE(LogHas("SO_RasConn.hConn := " + std::to_string(other)));
    EXPECT_FALSE(LogHas("Dialup Profile: 'Office' was not connected."));
    EXPECT_TRUE(Listed(other));

    // A connection on the profile is adopted as well, and one not yet connected is passed by.
    SimResetLine();
    DVR_RASConn = 0;
    bool found = false;
    HRASCONN handle = 99;
    EXPECT_EQ(GetRASConn("Office", "", 0, found, handle), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(LogHas("No active connection detected."));
    const HRASCONN a = SimPlaceOtherConnection("A");
    const HRASCONN b = SimPlaceOtherConnection("OFFICE");
    EXPECT_EQ(GetRASConn("Office", "a", 0, found, handle), 0);
    EXPECT_TRUE(found);
    EXPECT_EQ(handle, b);
    EXPECT_EQ(GetRASConn("Other", "", a, found, handle), 0);
    EXPECT_EQ(handle, b);
}

TEST_F(ConnectMgrTest, SuccessOnTheFirstTrialWithStoredCredentialsShowsNoInformationDialog) {
    WriteOffice({TSimOutcome::Connected});
    EXPECT_EQ(CheckConnection(), 0);
    const HRASCONN handle = DVR_RASConn;
    EXPECT_NE(handle, 0u);
    EXPECT_TRUE(DialedBySelf);
    EXPECT_TRUE(DialIdle);
    EXPECT_EQ(dialogs_.infoMade, 0);
    EXPECT_EQ(dialogs_.progressMade, 1);
    EXPECT_EQ(SimDialCount("Office"), 1);
    EXPECT_EQ(SimLastDialParams().szPassword, kSecret);
    EXPECT_EQ(SimLastDialParams().szPhoneNumber, "5551234");
    ASSERT_EQ(dialogs_.captions.size(), 1u);
    EXPECT_EQ(dialogs_.captions[0], "Connecting to Office");
    EXPECT_EQ(dialogs_.minimized, 1);
    EXPECT_EQ(dialogs_.closed, 1);
    EXPECT_EQ(StatusCount("Status: Connecting..."), 1);
    EXPECT_EQ(StatusCount("Status: Connected."), 1);
    EXPECT_EQ(StatusCount("Status: Retry after 3 seconds."), 0);
    // The notifier's lines reach the dialog through the main thread's queue.
    EXPECT_EQ(StatusCount("Status: " + RasStateText(0, 0) + ".."), 1);
    EXPECT_TRUE(Listed(handle));

    const std::vector<std::string> expected = {
        "Check connection before Send or Receive event.",
        "RasEnumConnections( ) return " + RasErrorText(0) + " lpConnections := 0",
        "No active connection detected.",
        "No connection found!",
        "Dialup Profile: 'Office' was not connected.",
        "Get dialup info for profile :Office.",
        "Check Dialup Parameter",
        "Dialup Info: ",
        "  szEntryName   := Office",
        "  szUserName    := dovrant",
        "  szPhoneNumber := 5551234",
        "Trial #1",
        "RasDial( ) return " + RasErrorText(0) + " aHRasConn := " + std::to_string(handle),
        "Server response: " + RasStateText(RASCS_Connected, 0),
        "Connection successfully established with dialup profile Office",
        "Quit DoDialup( ) after 1 trails. aHRasConn := " + std::to_string(handle),
        "hRASConn := " + std::to_string(handle),
        "Connection DVR_RASConn := " + std::to_string(handle),
    };
    EXPECT_EQ(Log(), expected);

    // The stored password stays stored, and only scrambled.
    RASDIALPARAMS stored;
    stored.szEntryName = "Office";
    bool saved = false;
    ASSERT_EQ(RasGetEntryDialParams(nullptr, stored, saved), 0u);
    EXPECT_TRUE(saved);
    EXPECT_EQ(stored.szPassword, kSecret);
    const std::string book = ReadFile(dir_.Path() + "DIALUP.PBK");
    EXPECT_EQ(book.find(kSecret), std::string::npos);
    EXPECT_NE(book.find(EncodeStoredPassword(kSecret)), std::string::npos);
}

TEST_F(ConnectMgrTest, ThreeDisconnectedTrialsCountDownTwiceThenANewPassDials) {
    WriteOffice(
        {TSimOutcome::Busy, TSimOutcome::NoAnswer, TSimOutcome::Busy, TSimOutcome::Connected});
    const int64_t start = MonotonicMs();
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_NE(DVR_RASConn.load(), 0u);
    EXPECT_TRUE(DialedBySelf);
    EXPECT_EQ(SimDialCount("Office"), 4);
    EXPECT_EQ(dialogs_.progressMade, 2);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(StatusCount("Status: Retry after " + std::to_string(n) + " seconds."), 2);
    EXPECT_EQ(StatusCount("Status: Disconnected..."), 3);
    EXPECT_EQ(LogCount("Dialup Profile: 'Office' was not connected."), 2);
    EXPECT_EQ(LogCount("Trial #1"), 2);
    EXPECT_EQ(LogCount("Trial #3"), 1);
    EXPECT_EQ(LogCount("No Connection established with dialup profile Office"), 3);
    EXPECT_TRUE(LogHas("Quit DoDialup( ) after 3 trails. aHRasConn := 0"));
    EXPECT_TRUE(LogHas("Connection DVR_RASConn := 0"));
    EXPECT_TRUE(LogHas("Server response: " + RasStateText(RASCS_Disconnected, 676)));
    // Two countdowns of three seconds and a 3-second pause after each hang-up at least.
    EXPECT_GE(MonotonicMs() - start, 2 * 3000 + 3 * 3000);
}

TEST_F(ConnectMgrTest, CancelDuringTheCountdownEndsTheCheckWithoutAnotherTrial) {
    WriteOffice({TSimOutcome::Busy, TSimOutcome::Connected});
    dialogs_.cancelOnStatus = "Status: Retry after 2 seconds.";
    EXPECT_EQ(CheckConnection(), -1);
    EXPECT_EQ(DVR_RASConn.load(), 0u);
    EXPECT_FALSE(DialedBySelf);
    EXPECT_TRUE(DialIdle);
    EXPECT_EQ(SimDialCount("Office"), 1);
    EXPECT_EQ(StatusCount("Status: Retry after 1 seconds."), 0);
    EXPECT_EQ(StatusCount("Status: Disconnecting..."), 1);
    EXPECT_FALSE(LogHas("Trial #2"));
    EXPECT_TRUE(LogHas("User aborted the connection"));
    EXPECT_TRUE(LogHas("Quit DoDialup( ) after 1 trails. aHRasConn := 0"));
    EXPECT_TRUE(LogHas("User abort while connecting to Internet."));
    EXPECT_FALSE(LogHas("Connection DVR_RASConn := 0"));
    EXPECT_EQ(LogCount("Dialup Profile: 'Office' was not connected."), 1);

    // Cancel while the line is still connecting hangs it up at once.
    SimResetLine();
    dialogs_ = TDialogs{};
    dialogs_.cancelOnStatus = "Status: " + RasStateText(2, 0) + "..";
    EXPECT_EQ(CheckConnection(), -1);
    EXPECT_EQ(SimDialCount("Office"), 1);
    EXPECT_EQ(StatusCount("Status: Connected."), 0);
    RASCONN all[10];
    unsigned bytes = sizeof all / sizeof all[0] * RASCONN_SIZE, count = 9;
    ASSERT_EQ(RasEnumConnections(all, bytes, count), 0u);
    EXPECT_EQ(count, 0u);
}

TEST_F(ConnectMgrTest, RetryBelowOneMakesOneTrialPerPass) {
    WriteOffice({TSimOutcome::Busy, TSimOutcome::Connected});
    ConnectionInfo.Retry = 0;
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_EQ(SimDialCount("Office"), 2);
    EXPECT_EQ(LogCount("Quit DoDialup( ) after 1 trails. aHRasConn := 0"), 1);
    EXPECT_EQ(LogCount("Quit DoDialup( ) after 1 trails. aHRasConn := " +
                       std::to_string(DVR_RASConn.load())),
              1);
    EXPECT_EQ(StatusCount("Status: Retry after 3 seconds."), 0);

    SimResetLine();
    DVR_RASConn = 0;
    ConnectionInfo.Retry = -4;
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_EQ(SimDialCount("Office"), 2);
    EXPECT_EQ(LogCount("Quit DoDialup( ) after 1 trails. aHRasConn := 0"), 2);
}

TEST_F(ConnectMgrTest, MoreThanTenActiveConnectionsAreNotAdopted) {
    for (int i = 0; i < 11; ++i) SimPlaceOtherConnection("Link " + std::to_string(i));
    bool found = false;
    HRASCONN handle = 5;
    EXPECT_EQ(GetRASConn("Link 0", "", 0, found, handle), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(
        LogHas("RasEnumConnections( ) return " + RasErrorText(603) + " lpConnections := 11"));
    EXPECT_FALSE(LogHas("Active connection found."));
    EXPECT_EQ(CheckOtherRASConn(0), 0);

    // Ten fit: all are counted except the one given.
    SimResetLine();
    std::vector<HRASCONN> ten;
    for (int i = 0; i < 10; ++i) ten.push_back(SimPlaceOtherConnection("L" + std::to_string(i)));
    EXPECT_EQ(CheckOtherRASConn(ten[3]), 9);
}

TEST_F(ConnectMgrTest, MissingCredentialsAreAskedOnceAndThePasswordIsNeverWrittenPlain) {
    WriteOffice({TSimOutcome::Connected}, "");
    dialogs_.duringInfo = [this] {
        // A check started meanwhile shows no second dialog.
        RASDIALPARAMS p;
        bool aborted = false, save = false;
        EXPECT_EQ(CheckDialupParameter("Office", p, aborted, save), -1);
    };
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_EQ(dialogs_.infoMade, 1);
    EXPECT_EQ(dialogs_.maxInfoOpen, 1);
    EXPECT_EQ(dialogs_.shownEntry, "Office");
    EXPECT_EQ(dialogs_.shownUser, "dovrant");
    EXPECT_EQ(dialogs_.shownPassword, "");
    EXPECT_FALSE(dialogs_.shownSave);
    EXPECT_TRUE(LogHas("Dialup parameter not enough. User should input again."));
    EXPECT_TRUE(LogHas("Check Dialup paramter again after input"));
    EXPECT_TRUE(LogHas("  szUserName    := typed"));
    EXPECT_EQ(SimLastDialParams().szUserName, "typed");
    EXPECT_EQ(SimLastDialParams().szPassword, kSecret);
    // Not saved: the phone book keeps the user name only.
    RASDIALPARAMS stored;
    stored.szEntryName = "Office";
    bool saved = true;
    ASSERT_EQ(RasGetEntryDialParams(nullptr, stored, saved), 0u);
    EXPECT_FALSE(saved);
    EXPECT_EQ(stored.szUserName, "typed");
    EXPECT_EQ(ReadFile(dir_.Path() + "DIALUP.PBK").find(kSecret), std::string::npos);
    EXPECT_EQ(ReadFile(LogFileName()).find(kSecret), std::string::npos);
    EXPECT_TRUE(boxes_.boxes.empty());

    // Saved: scrambled in the phone book, never plain; the next check asks nothing.
    SimResetLine();
    DVR_RASConn = 0;
    dialogs_ = TDialogs{};
    dialogs_.typedSave = true;
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_EQ(dialogs_.infoMade, 1);
    const std::string book = ReadFile(dir_.Path() + "DIALUP.PBK");
    EXPECT_EQ(book.find(kSecret), std::string::npos);
    EXPECT_NE(book.find(EncodeStoredPassword(kSecret)), std::string::npos);
    SimResetLine();
    DVR_RASConn = 0;
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_EQ(dialogs_.infoMade, 1);
    EXPECT_EQ(ReadFile(LogFileName()).find(kSecret), std::string::npos);

    // Cancel in the dialog ends the check without a dial.
    SimResetLine();
    DVR_RASConn = 0;
    WriteOffice({TSimOutcome::Connected}, "");
    dialogs_ = TDialogs{};
    dialogs_.infoOk = false;
    EXPECT_EQ(CheckConnection(), -1);
    EXPECT_EQ(SimDialCount("Office"), 0);
    EXPECT_EQ(dialogs_.progressMade, 0);
    EXPECT_TRUE(LogHas("User aborted in Dialup info screen."));
}

TEST_F(ConnectMgrTest, UnknownEntryIsReportedAndADialThatFailsAtOnceIsShownInABox) {
    RASDIALPARAMS params;
    bool saved = false;
    EXPECT_EQ(GetDialupInfo("Nowhere", params, saved), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_TRUE(
        LogHas("RASGetEntryDialParams( ) - Failed. ErrCode: 623 - Cannot find "
               "phonebook entry."));
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text,
              "Unable to get dialup information. Reason: Cannot find phonebook entry "
              "'Nowhere'.");
    EXPECT_EQ(boxes_.boxes[0].kind, TMsgKind::Error);

    boxes_.boxes.clear();
    TRasEntry e;
    e.Name = "Office";
    e.PhoneNumber = "1";
    e.UserName = "u";
    e.Password = kSecret;
    e.PasswordSaved = true;
    e.SimResults = {TSimOutcome::Fail, TSimOutcome::Connected};
    e.SimError = ERROR_PORT_NOT_AVAILABLE;
    ASSERT_EQ(WriteRasEntry(e), 0u);
    EXPECT_EQ(CheckConnection(), 0);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, RasErrorText(633));
    EXPECT_TRUE(LogHas("RasDial( ) - Failed. " + RasErrorText(633)));
    EXPECT_TRUE(LogHas("DoDialup( ) - Failed. " + RasErrorText(633)));
    EXPECT_EQ(SimDialCount("Office"), 2);
}

TEST_F(ConnectMgrTest, HangUpTerminatesSocketsOnlyWhenNoOtherConnectionIsUp) {
    WriteOffice({TSimOutcome::Connected});
    ASSERT_EQ(CheckConnection(), 0);
    const HRASCONN other = SimPlaceOtherConnection("Neighbour VPN");
    const HRASCONN mine = DVR_RASConn;
    HangUpDialup();
    EXPECT_EQ(DVR_RASConn.load(), 0u);
    EXPECT_FALSE(DialedBySelf);
    EXPECT_FALSE(Listed(mine));
    EXPECT_TRUE(Listed(other));
    EXPECT_EQ(socketCleanups_, 0);
    EXPECT_FALSE(LogHas("Terminate Windows Sockets"));
    EXPECT_TRUE(LogHas("Disconnect dialup connection. Dialup profile: Office"));
    EXPECT_TRUE(LogHas("RasHangUp. HRasConn: " + std::to_string(mine)));
    EXPECT_TRUE(LogHas("Disconnect success."));

    // Alone on the line: sockets end.
    SimResetLine();
    ASSERT_EQ(CheckConnection(), 0);
    HangUpDialup();
    EXPECT_EQ(socketCleanups_, 1);
    EXPECT_TRUE(LogHas("Terminate Windows Sockets"));

    // Nothing held: still a success, and the flag is cleared.
    DialedBySelf = true;
    HangUpDialup();
    EXPECT_FALSE(DialedBySelf);
    EXPECT_EQ(socketCleanups_, 2);
}

TEST_F(ConnectMgrTest, ANeverSettlingTrialAndAHangUpThatNeverEndsAreBounded) {
    TRasEntry e;
    e.Name = "Office";
    e.PhoneNumber = "1";
    e.UserName = "u";
    e.Password = kSecret;
    e.PasswordSaved = true;
    e.SimStates = {{0, 200}, {2, 500}};
    e.SimResults = {TSimOutcome::Never, TSimOutcome::Connected};
    ASSERT_EQ(WriteRasEntry(e), 0u);
    ConnectionInfo.Retry = 1;
    const int64_t start = MonotonicMs();
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_GE(MonotonicMs() - start, kTrialLimitMs);
    EXPECT_TRUE(LogHas("Trial #1 had no answer within 120 seconds; it counts as disconnected."));
    EXPECT_EQ(LogCount("No Connection established with dialup profile Office"), 1);
    EXPECT_EQ(SimDialCount("Office"), 2);

    // A line that never reports the hung-up connection gone.
    SimResetLine();
    DVR_RASConn = 0;
    e.SimResults = {TSimOutcome::Connected};
    e.SimHangUpMs = 3600 * 1000;
    ASSERT_EQ(WriteRasEntry(e), 0u);
    ASSERT_EQ(CheckConnection(), 0);
    HRASCONN handle = DVR_RASConn;
    int64_t before = MonotonicMs();
    EXPECT_EQ(DoHangUp(handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_LE(MonotonicMs() - before, 3000 + kHangUpWaitLimitMs + 1000);
    EXPECT_EQ(LogCount("The line did not report connection " + std::to_string(DVR_RASConn) +
                       " gone within 30 seconds."),
              1);

    before = MonotonicMs();
    HangUpDialup();
    EXPECT_EQ(DVR_RASConn.load(), 0u);
    EXPECT_LE(MonotonicMs() - before, 3000 + kHangUpWaitLimitMs + 1000);
}

TEST_F(ConnectMgrTest, TheNtFamilyDialsThroughTheSystemDialog) {
    WriteOffice({TSimOutcome::Connected});
    TDialupHooks hooks = DialupHooks();
    int shown = 0;
    hooks.platformId = [] { return 2; };
    hooks.systemDialDialog = [&](const std::string& entry, unsigned& error) {
        ++shown;
        error = 0;
        HRASCONN h = 0;
        RASDIALPARAMS p;
        p.szEntryName = entry;
        EXPECT_EQ(RasDial(nullptr, nullptr, p, 0, nullptr, h), 0u);
        clock_.AdvanceMs(5000);
        return true;
    };
    SetDialupHooks(hooks);
    EXPECT_EQ(CheckConnection(), 0);
    EXPECT_TRUE(IsNT);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(DialedBySelf);
    EXPECT_EQ(dialogs_.progressMade + dialogs_.infoMade, 0);
    EXPECT_TRUE(LogHas("rv = TRUE"));

    // Cancelled in the system dialog.
    SimResetLine();
    DVR_RASConn = 0;
    DialedBySelf = false;
    hooks.systemDialDialog = [](const std::string&, unsigned&) { return false; };
    SetDialupHooks(hooks);
    EXPECT_EQ(CheckConnection(), -1);
    EXPECT_FALSE(DialedBySelf);
    EXPECT_TRUE(LogHas("Dialup failed or cancelled by user."));
    EXPECT_TRUE(LogHas("User aborted in Dialup info screen."));
}

TEST(DialProgressTest, CloseBoxActsAsCancelUntilTheDialIsDoneAndFramesFollowTheSeconds) {
    TManualClock clock(EncodeDate(2026, 12, 9) + EncodeTime(13, 30, 6, 900));
    SetClock(&clock);
    TDialogs d;
    TFakeProgress view(d);
    TDialProgress form(view);
    EXPECT_FALSE(form.UserAborted());
    EXPECT_FALSE(form.CloseRequested());
    EXPECT_TRUE(form.UserAborted());
    ASSERT_EQ(d.statuses.size(), 1u);
    EXPECT_EQ(d.statuses[0], "Status: Disconnecting...");
    form.SetDialDone();
    EXPECT_TRUE(form.CloseRequested());
    EXPECT_EQ(DialFrameForSecond(0), 4);
    EXPECT_EQ(DialFrameForSecond(1), 3);
    EXPECT_EQ(DialFrameForSecond(6), 2);
    EXPECT_EQ(DialFrameForSecond(59), 1);
    form.TimerTick();
    EXPECT_EQ(d.frame, 2);
    clock.AdvanceMs(100);
    form.TimerTick();
    EXPECT_EQ(d.frame, 1);
    SetClock(nullptr);
}

TEST_F(ConnectMgrTest, ABindingFailureReadingTheEntryReachesTheCallerWithTheCheckIdle) {
    WriteOffice({TSimOutcome::Connected}, "");
    SetRasLibraryLoader([](const std::string&) -> const TRasExports* { return nullptr; });
    ReleaseRasBinding();
    EXPECT_THROW(
        {
            try {
                CheckConnection();
            } catch (const ERasBindError& e) {
                EXPECT_STREQ(e.what(), "Error opening rasapi.dll");
                throw;
            }
        },
        ERasBindError);
    SetRasLibraryLoader(nullptr);
    ReleaseRasBinding();
    EXPECT_TRUE(DialIdle);
    // The operator was still asked, once, before the error went on.
    EXPECT_EQ(dialogs_.infoMade, 1);
    EXPECT_EQ(SimDialCount("Office"), 0);
}

}  // namespace
