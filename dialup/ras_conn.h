#pragma once

// The dial-up connection the program holds, shared by the connection check on the main
// thread and the transfer workers. 0 means none (a leased line, or the line dropped).

#include <atomic>
#include <cstdint>

using HRASCONN = std::uintptr_t;

// Connection states of the remote-access layer the transfer workers rely on.
inline constexpr int RASCS_Connected = 0x2000;  // 8192

extern std::atomic<HRASCONN> DVR_RASConn;

// The state of connection (RasGetConnectStatus of dialup/ras.h): 0 on success with state set,
// else a remote-access error code (6 once the connection is gone).
unsigned RasGetConnectStatus(HRASCONN connection, int& state);
