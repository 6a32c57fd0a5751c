#pragma once

// Controls of the simulated line for tests and the demo.

#include <string>

#include "dialup/ras.h"

// Places a connection "made by another program" on entryName (which need not be in the phone
// book): connected at once and listed by RasEnumConnections after those already active;
// dropped (disconnected with ERROR_PORT_DISCONNECTED) dropAfterSeconds later when above 0.
HRASCONN SimPlaceOtherConnection(const std::string& entryName, int dropAfterSeconds = 0);
// Forgets every connection (without running any command) and every dial count.
void SimResetLine();
// How many times entryName was dialed since the last reset (names without regard to case).
int SimDialCount(const std::string& entryName);
// The dial parameters of the latest RasDial call, as given.
RASDIALPARAMS SimLastDialParams();
