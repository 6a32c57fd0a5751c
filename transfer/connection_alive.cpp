#include "transfer/connection_alive.h"

#include "common/base/message_pump.h"
#include "dialup/ras_conn.h"

bool ConnectionAlive() {
    PumpMessages(0);
    int state = 0;
    if (RasGetConnectStatus(DVR_RASConn.load(), state) == 0 && state == RASCS_Connected)
        return true;
    DVR_RASConn = 0;
    return false;
}
