#pragma once

// Whether the held dial-up connection still stands: pending messages of the calling
// thread are processed, then the remote-access layer is asked for the state of
// DVR_RASConn. A connection found gone clears DVR_RASConn. Only asked without a leased line.
bool ConnectionAlive();
