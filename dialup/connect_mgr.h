#pragma once

// The connection check before each send and receive cycle, and the hang-up after it. Main
// thread only; every wait processes pending messages (so the progress dialog's Cancel works),
// and DialIdle keeps a second check from starting meanwhile.
//
// Flags (here and in dialup/ras_conn.h): DVR_RASConn is the connection in use (set by
// adoption or dialing, cleared by the hang-ups); DialedBySelf is set after a dialing pass that
// was not aborted and cleared by HangUpDialup; DialIdle is false while the check dials.

#include <atomic>
#include <string>

#include "dialup/ras.h"

// The line's own state: false while a connection check dials; true once this program
// dialled the connection it holds.
extern std::atomic<bool> DialIdle;
extern std::atomic<bool> DialedBySelf;

// Bounds of the waits for a hung-up line to report the connection gone.
inline constexpr int kHangUpWaitLimitMs = 30000;
inline constexpr int kHangUpPollMs = 10;

// Set by every CheckConnection: the operating system is of the NT family (platform id 2).
extern bool IsNT;

// Adopts a connection that is up or dials ConnectionInfo.DialupProfile until connected or
// the operator aborts: 0 when a connection is held (DVR_RASConn non-zero), else -1.
int CheckConnection();
// Hangs up DVR_RASConn; raises std::runtime_error with the message of a failed hang-up (then
// DVR_RASConn keeps its value). DialedBySelf is false afterwards in every case.
void HangUpDialup();

// Finds a connected connection: one on profile, else the first not on excludedName nor
// excludedHandle. 0, or -1 when an error was caught (logged).
int GetRASConn(const std::string& profile, const std::string& excludedName, HRASCONN excludedHandle,
               bool& found, HRASCONN& handle);
// The number of connected connections other than handle.
int CheckOtherRASConn(HRASCONN handle);
// Dials through the platform's own dialog: 0 when a connection on profile is up afterwards.
int DialWithSystemDialog(const std::string& profile, HRASCONN& handle);
// Reads the stored dial parameters of profile and asks the operator (the dial-up information
// dialog, never two at once) when phone number, user name or password is missing. 0 when
// complete; aborted when the operator cancelled.
int CheckDialupParameter(const std::string& profile, RASDIALPARAMS& params, bool& aborted,
                         bool& savePassword);
// Dials params with the progress dialog, ConnectionInfo.Retry trials (one when below 1).
int DialWithProgress(const RASDIALPARAMS& params, HRASCONN& handle, bool& userAborted,
                     bool savePassword);
// Hangs up handle while dialing and waits (bounded) until it is gone; handle is 0 after a
// hang-up that started. The service's result.
unsigned DoHangUp(HRASCONN& handle);
// Hangs up handle (none when 0) and ends the sockets' use when terminateSockets. 0, or 1
// with message set when an error was caught.
int HangUpConnection(HRASCONN& handle, std::string& message, bool terminateSockets);
// The stored dial parameters and phone number of profile; the codes 87, 603, 610, 621 and
// 623 are shown to the operator. The service's result.
unsigned GetDialupInfo(const std::string& profile, RASDIALPARAMS& params, bool& passwordSaved);
