// The command line, with small shell scripts standing in for nmcli: commands with their time
// limits, and dials through the service whose states come from the commands.

#include "dialup/ras_command.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "common/base/clock.h"
#include "common/test_support.h"
#include "dialup/ras.h"
#include "dialup/ras_phonebook.h"
#include "dialup/ras_sim.h"
#include "support/pump_until.h"
#include "support/temp_dir.h"

namespace {

const char* const kPassword = "Zq7-secret-Pw";

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// True while pid is a live process (not gone, not a zombie).
bool Running(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Every argument list of every process, NULs kept.
std::string AllCommandLines() {
    std::string all;
    DIR* proc = ::opendir("/proc");
    if (!proc) return all;
    while (dirent* d = ::readdir(proc))
        if (d->d_name[0] >= '0' && d->d_name[0] <= '9')
            all += ReadFile(std::string("/proc/") + d->d_name + "/cmdline") + '\n';
    ::closedir(proc);
    return all;
}

// A stand-in for nmcli: "connection up|down|show" anywhere among its arguments. Up reads the
// password from its standard input (or DOVRANT_PASSWORD), keeps it in "got", marks the link up in
// "state" and waits for "release" when "hold" exists; show prints the link's state the way nmcli -t
// does.
const char* const kNmcli = R"(#!/bin/sh
dir=$(dirname "$0")
case " $* " in
*" up "*)
  if [ -n "$DOVRANT_PASSWORD" ]; then pw="$DOVRANT_PASSWORD"; else read -r pw; fi
  printf '%s' "$pw" > "$dir/got"
  printf '%s' "$DOVRANT_ENTRY/$DOVRANT_USER/$DOVRANT_PHONE" > "$dir/vars"
  touch "$dir/ready"
  if [ -f "$dir/hold" ]; then
    while [ ! -f "$dir/release" ]; do sleep 0.02; done
  fi
  [ -f "$dir/refuse" ] && { echo "Error: activation failed"; exit 4; }
  echo activated > "$dir/state"; echo "Connection successfully activated" ;;
*" down "*)
  [ -n "$DOVRANT_PASSWORD" ] && echo "$DOVRANT_PASSWORD" >> "$dir/leaks"
  rm -f "$dir/state"; echo down >> "$dir/downs" ;;
*" show "*)
  [ -n "$DOVRANT_PASSWORD" ] && echo "$DOVRANT_PASSWORD" >> "$dir/leaks"
  [ -f "$dir/state" ] && echo "GENERAL.STATE:activated" ;;
esac
exit 0
)";

class RasCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        nmcli_ = dir_.Path() + "nmcli";
        std::ofstream(nmcli_) << kNmcli;
        ::chmod(nmcli_.c_str(), 0755);
        SetRasPhonebookFile(dir_.Path() + "DIALUP.PBK");
        SimResetLine();
        entry_.Name = "Office VPN";
        entry_.Line = TRasLineKind::Command;
        entry_.UpCommand = nmcli_ + " connection up id Office";
        entry_.DownCommand = nmcli_ + " connection down id Office";
        entry_.StatusCommand = nmcli_ + " -t -f GENERAL.STATE connection show Office";
        entry_.StatusUpText = "activated";
        entry_.CommandTimeout = 600;
    }
    void TearDown() override {
        SimResetLine();
        SetRasPhonebookFile("");
        SetClock(nullptr);
    }

    HRASCONN Dial() {
        EXPECT_EQ(WriteRasEntry(entry_), 0u);
        RASDIALPARAMS p;
        p.szEntryName = entry_.Name;
        p.szUserName = "gateway";
        p.szPhoneNumber = "*99#";
        p.szPassword = kPassword;
        HRASCONN h = 0;
        EXPECT_EQ(
            RasDial(
                nullptr, nullptr, p, 0,
                [this](unsigned, int state, unsigned error) { told_.emplace_back(state, error); },
                h),
            0u);
        return h;
    }

    // Asks for the state until it is neither dialing state (bounded in real time).
    RASCONNSTATUS Settled(HRASCONN h) {
        RASCONNSTATUS s;
        EXPECT_TRUE(PumpUntil([&] {
            return RasGetConnectStatus(h, s) == 0 &&
                   (s.rasconnstate == RASCS_Connected || s.rasconnstate == RASCS_Disconnected);
        }));
        return s;
    }

    bool GoneAfterHangUp(HRASCONN h) {
        EXPECT_EQ(RasHangUp(h), 0u);
        RASCONNSTATUS s;
        return PumpUntil([&] { return RasGetConnectStatus(h, s) == ERROR_INVALID_HANDLE; });
    }

    TTempDir dir_;
    std::string nmcli_;
    TRasEntry entry_;
    std::vector<std::pair<int, unsigned>> told_;
};

TEST_F(RasCommandTest, ACommandGivesItsExitCodeOutputAndInputWithoutArguments) {
    const TCommandRun run = RunLineCommand("read -r a; echo \"in:$a env:$EXTRA\"; exit 3",
                                           {"EXTRA=x1"}, "line one\nline two\n", 60000);
    EXPECT_TRUE(run.Started);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 3);
    EXPECT_EQ(run.Output, "in:line one env:x1\n");

    const TCommandRun missing = RunLineCommand("/nonexistent/nmcli up", {}, "", 60000);
    EXPECT_EQ(missing.ExitCode, 127);
    EXPECT_NE(missing.Output.find("nonexistent"), std::string::npos);

    // Our own password variable never leaks into a command that was not given it.
    ::setenv("DOVRANT_PASSWORD", "leak", 1);
    const TCommandRun clean = RunLineCommand("echo \"[$DOVRANT_PASSWORD]\"", {}, "", 60000);
    ::unsetenv("DOVRANT_PASSWORD");
    EXPECT_EQ(clean.Output, "[]\n");
}

TEST_F(RasCommandTest, ACommandPastItsLimitIsKilledWithEverythingItStarted) {
    TManualClock clock;
    SetClock(&clock);
    const std::string pidFile = dir_.Path() + "pid";
    const TCommandRun run =
        RunLineCommand("sleep 300 & echo $! > " + pidFile + "; wait", {}, "", 120 * 1000);
    EXPECT_TRUE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, -1);
    EXPECT_GE(clock.MonotonicMs(), 120 * 1000);
    ASSERT_TRUE(Exists(pidFile));
    const pid_t sleeper = std::stoi(ReadFile(pidFile));
    EXPECT_TRUE(PumpUntil([&] { return !Running(sleeper); }));
}

TEST_F(RasCommandTest, DialUpThenHangUpRunsTheCommandsAndTellsTheStates) {
    const HRASCONN h = Dial();
    const RASCONNSTATUS s = Settled(h);
    EXPECT_EQ(s.rasconnstate, RASCS_Connected);
    EXPECT_EQ(s.dwError, 0u);
    EXPECT_EQ(ReadFile(dir_.Path() + "got"), kPassword);
    EXPECT_EQ(ReadFile(dir_.Path() + "vars"), "Office VPN/gateway/*99#");
    const std::vector<std::pair<int, unsigned>> told{
        {RASCS_OpenPort, 0}, {RASCS_ConnectDevice, 0}, {RASCS_Connected, 0}};
    EXPECT_EQ(told_, told);

    RASCONN list[10];
    unsigned bytes = 4120, count = 0;
    ASSERT_EQ(RasEnumConnections(list, bytes, count), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(list[0].szEntryName, "Office VPN");

    EXPECT_TRUE(GoneAfterHangUp(h));
    EXPECT_EQ(ReadFile(dir_.Path() + "downs"), "down\n");
    EXPECT_FALSE(Exists(dir_.Path() + "state"));
}

TEST_F(RasCommandTest, FailingOrHangingUpCommandsEndDisconnectedWithTheirCodes) {
    std::ofstream(dir_.Path() + "refuse").put('x');
    HRASCONN h = Dial();
    RASCONNSTATUS s = Settled(h);
    EXPECT_EQ(s.rasconnstate, RASCS_Disconnected);
    EXPECT_EQ(s.dwError, ERROR_FROM_DEVICE);
    EXPECT_TRUE(GoneAfterHangUp(h));

    // Up succeeds but the status command finds the link down.
    ::unlink((dir_.Path() + "refuse").c_str());
    entry_.StatusUpText = "not-there";
    h = Dial();
    s = Settled(h);
    EXPECT_EQ(s.dwError, ERROR_FROM_DEVICE);
    EXPECT_TRUE(GoneAfterHangUp(h));

    // An up command that never ends is stopped at its limit.
    TManualClock clock;
    SetClock(&clock);
    entry_.StatusUpText = "activated";
    entry_.CommandTimeout = 120;
    std::ofstream(dir_.Path() + "hold").put('x');
    h = Dial();
    s = Settled(h);
    EXPECT_EQ(s.rasconnstate, RASCS_Disconnected);
    EXPECT_EQ(s.dwError, ERROR_REQUEST_TIMEOUT);
    EXPECT_TRUE(GoneAfterHangUp(h));
    entry_.UpCommand.clear();
    ASSERT_EQ(WriteRasEntry(entry_), 0u);
    RASDIALPARAMS p;
    p.szEntryName = entry_.Name;
    EXPECT_EQ(RasDial(nullptr, nullptr, p, 0, nullptr, h), ERROR_PORT_NOT_AVAILABLE);
}

TEST_F(RasCommandTest, ALinkFoundDownByTheStatusCommandCountsAsDropped) {
    TManualClock clock;
    SetClock(&clock);
    const HRASCONN h = Dial();
    ASSERT_EQ(Settled(h).rasconnstate, RASCS_Connected);
    ::unlink((dir_.Path() + "state").c_str());
    clock.AdvanceMs(CommandStatusIntervalMs);
    RASCONNSTATUS s;
    EXPECT_TRUE(PumpUntil(
        [&] { return RasGetConnectStatus(h, s) == 0 && s.rasconnstate == RASCS_Disconnected; }));
    EXPECT_EQ(s.dwError, ERROR_PORT_DISCONNECTED);
    EXPECT_EQ(told_.back(), std::make_pair(RASCS_Disconnected, ERROR_PORT_DISCONNECTED));
    EXPECT_TRUE(GoneAfterHangUp(h));
}

TEST_F(RasCommandTest, ThePasswordNeverShowsInAnyArgumentList) {
    for (const bool byEnvironment : {false, true}) {
        SCOPED_TRACE(byEnvironment);
        ::unlink((dir_.Path() + "ready").c_str());
        ::unlink((dir_.Path() + "release").c_str());
        std::ofstream(dir_.Path() + "hold").put('x');
        entry_.PasswordByEnvironment = byEnvironment;
        const HRASCONN h = Dial();
        // While the up command runs, no process shows the password among its arguments.
        ASSERT_TRUE(PumpUntil([&] { return Exists(dir_.Path() + "ready"); }));
        EXPECT_EQ(AllCommandLines().find(kPassword), std::string::npos);
        std::ofstream(dir_.Path() + "release").put('x');
        EXPECT_EQ(Settled(h).rasconnstate, RASCS_Connected);
        EXPECT_EQ(ReadFile(dir_.Path() + "got"), kPassword);
        EXPECT_TRUE(GoneAfterHangUp(h));
    }
    // The status and down commands are never given it.
    EXPECT_FALSE(Exists(dir_.Path() + "leaks"));
}

TEST_F(RasCommandTest, HangingUpWhileTheUpCommandRunsStopsIt) {
    std::ofstream(dir_.Path() + "hold").put('x');
    const HRASCONN h = Dial();
    ASSERT_TRUE(PumpUntil([&] { return Exists(dir_.Path() + "ready"); }));
    EXPECT_TRUE(GoneAfterHangUp(h));
    EXPECT_FALSE(Exists(dir_.Path() + "state"));
    EXPECT_EQ(ReadFile(dir_.Path() + "downs"), "down\n");
}

TEST_F(RasCommandTest, ALinkUpFromElsewhereIsListedAndGoesWhenItIsDown) {
    TManualClock clock;
    SetClock(&clock);
    ASSERT_EQ(WriteRasEntry(entry_), 0u);
    RASCONN list[10];
    unsigned bytes = 4120, count = 0;
    ASSERT_EQ(RasEnumConnections(list, bytes, count), 0u);
    EXPECT_EQ(count, 0u);

    std::ofstream(dir_.Path() + "state") << "activated";
    bytes = 4120;
    ASSERT_EQ(RasEnumConnections(list, bytes, count), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(list[0].szEntryName, "Office VPN");
    const HRASCONN h = list[0].hrasconn;
    RASCONNSTATUS s;
    ASSERT_EQ(RasGetConnectStatus(h, s), 0u);
    EXPECT_EQ(s.rasconnstate, RASCS_Connected);
    bytes = 4120;
    ASSERT_EQ(RasEnumConnections(list, bytes, count), 0u);
    EXPECT_EQ(count, 1u);  // taken in once

    // Down by other means: gone at the next status check, no down command run.
    ::unlink((dir_.Path() + "state").c_str());
    clock.AdvanceMs(CommandStatusIntervalMs);
    EXPECT_TRUE(PumpUntil([&] { return RasGetConnectStatus(h, s) == ERROR_INVALID_HANDLE; }));
    EXPECT_FALSE(Exists(dir_.Path() + "downs"));

    // Up again, and hung up here: the down command takes it down.
    std::ofstream(dir_.Path() + "state") << "activated";
    bytes = 4120;
    ASSERT_EQ(RasEnumConnections(list, bytes, count), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_TRUE(GoneAfterHangUp(list[0].hrasconn));
    EXPECT_EQ(ReadFile(dir_.Path() + "downs"), "down\n");
}

}  // namespace
