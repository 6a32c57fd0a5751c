#pragma once

// The texts shown and logged for connection states and remote-access error codes, and the
// message box for a failed remote-access call.

#include <string>

#include "common/view.h"

// The text of a connection state; with error not 0 the service's own text for the error
// instead (empty when it has none). A state without a text gives an empty text.
std::string RasStateText(int state, int error);
// The program's text for a remote-access error code: 0 and 600 to 753; "Unknown" otherwise.
std::string RasErrorText(int code);
// Logs (level 2) and shows prefix + the service's text for code in a message box of the given
// kind and buttons; nothing at all when the service has no text for the code.
void ShowRasError(const std::string& prefix, int code, TMsgButtons buttons, TMsgKind kind);

// The number of rows of the two tables.
int RasStateTextCount();
int RasErrorTextCount();
