#include "dialup/ras_conn.h"

std::atomic<HRASCONN> DVR_RASConn{0};
