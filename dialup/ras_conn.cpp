#include "dialup/ras_conn.h"

std::atomic<HRASCONN> DVR_RASConn{0};

unsigned RasGetConnectStatus(HRASCONN connection, int& state) {
    // 6 is the remote-access layer's "invalid handle".
    if (connection == 0) return 6;
    state = RASCS_Connected;
    return 0;
}
