#pragma once

// The remote-access service of the gateway: a phone book of dial-up entries, the active
// connections, dialing with a state notifier, hang-up and the entries' dial parameters. The
// calls, records, states and result codes are those the dial-up logic is written against;
// every call returns 0 on success or one of the codes below.
//
// Each entry names its kind of line:
// - simulated: the entry scripts what a dial does (states passed with their delays, then
//   connected, busy, no answer, a failure at once or a given error; a drop some seconds after
//   connecting), measured on the program clock, so tests and the demo run the same every time;
// - command: operator-configured commands bring the link up, take it down and report whether
//   it is up (dialup/ras_command.h).
//
// Everything here may be called from any thread.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dialup/ras_conn.h"

// Connection states (RASCONNSTATE).
inline constexpr int RASCS_OpenPort = 0;
inline constexpr int RASCS_PortOpened = 1;
inline constexpr int RASCS_ConnectDevice = 2;
inline constexpr int RASCS_DeviceConnected = 3;
inline constexpr int RASCS_AllDevicesConnected = 4;
inline constexpr int RASCS_Authenticate = 5;
inline constexpr int RASCS_AuthNotify = 6;
inline constexpr int RASCS_AuthProject = 10;
inline constexpr int RASCS_Authenticated = 14;
inline constexpr int RASCS_Projected = 18;
inline constexpr int RASCS_LogonNetwork = 21;
inline constexpr int RASCS_Interactive = 0x1000;
inline constexpr int RASCS_PasswordExpired = 0x1003;
// RASCS_Connected (8192) is declared with DVR_RASConn.
inline constexpr int RASCS_Disconnected = 0x2001;  // 8193

// Result codes.
inline constexpr unsigned ERROR_SUCCESS = 0;
inline constexpr unsigned ERROR_INVALID_HANDLE = 6;
inline constexpr unsigned ERROR_INVALID_PARAMETER = 87;
inline constexpr unsigned ERROR_INVALID_NAME = 123;
inline constexpr unsigned ERROR_ALREADY_EXISTS = 183;
inline constexpr unsigned ERROR_BUFFER_TOO_SMALL = 603;
inline constexpr unsigned ERROR_INVALID_SIZE = 632;
inline constexpr unsigned ERROR_INVALID_BUFFER = 610;
inline constexpr unsigned ERROR_CANNOT_OPEN_PHONEBOOK = 621;
inline constexpr unsigned ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;
inline constexpr unsigned ERROR_CANNOT_WRITE_PHONEBOOK = 624;
inline constexpr unsigned ERROR_PORT_DISCONNECTED = 628;
inline constexpr unsigned ERROR_PORT_NOT_AVAILABLE = 633;
inline constexpr unsigned ERROR_REQUEST_TIMEOUT = 638;
inline constexpr unsigned ERROR_FROM_DEVICE = 651;
inline constexpr unsigned ERROR_LINE_BUSY = 676;
inline constexpr unsigned ERROR_NO_ANSWER = 678;
inline constexpr unsigned ERROR_AUTHENTICATION_FAILURE = 691;

// Record sizes (dwSize) of the records' versions in use.
inline constexpr unsigned RASDIALPARAMS_SIZE = 1052;
inline constexpr unsigned RASCONN_SIZE = 412;
inline constexpr unsigned RASCONNSTATUS_SIZE = 160;
inline constexpr unsigned RASENTRY_SIZE = 1768;
// Field lengths: longer texts are refused with ERROR_INVALID_PARAMETER.
inline constexpr std::size_t RAS_MaxEntryName = 256;
inline constexpr std::size_t RAS_MaxPhoneNumber = 128;
inline constexpr std::size_t UNLEN = 256;
inline constexpr std::size_t PWLEN = 256;
inline constexpr std::size_t DNLEN = 15;

struct RASDIALPARAMS {
    unsigned dwSize = RASDIALPARAMS_SIZE;
    std::string szEntryName;
    std::string szPhoneNumber;
    std::string szCallbackNumber;
    std::string szUserName;
    std::string szPassword;
    std::string szDomain;
};

struct RASCONN {
    unsigned dwSize = RASCONN_SIZE;
    HRASCONN hrasconn = 0;
    std::string szEntryName;
};

struct RASCONNSTATUS {
    unsigned dwSize = RASCONNSTATUS_SIZE;
    int rasconnstate = 0;
    unsigned dwError = 0;
};

struct RASENTRY {
    unsigned dwSize = RASENTRY_SIZE;
    std::string szLocalPhoneNumber;
};

// The notifier of a dial: (message, state, error) at each change of state. Called on the
// thread that asks the service about the connection (a simulated line) or on the line's own
// thread (a command line); never while the service holds its lock.
inline constexpr unsigned WM_RASDIALEVENT = 0xCCCD;
using TRasDialNotifier = std::function<void(unsigned message, int state, unsigned error)>;

// Lists the active connections into connections[0 .. byteCount / RASCONN_SIZE). byteCount
// must be a multiple of RASCONN_SIZE (else ERROR_INVALID_SIZE). When more are active than fit,
// ERROR_BUFFER_TOO_SMALL, byteCount the size needed, count the number active.
unsigned RasEnumConnections(RASCONN* connections, unsigned& byteCount, unsigned& count);
// The phone-book entry names, in the order they were made. phoneBook must be null or empty
// (the default phone book).
unsigned RasEnumEntries(const char* phoneBook, std::vector<std::string>& names);
// The state of a connection; ERROR_INVALID_HANDLE once it is gone.
unsigned RasGetConnectStatus(HRASCONN connection, RASCONNSTATUS& status);
// Starts dialing the entry params.szEntryName: 0 with handle set, the dial then runs on and
// reports through notifier; any other result means it failed at once (handle stays 0).
// The dial parameters given are used for this dial only.
unsigned RasDial(const void* extensions, const char* phoneBook, const RASDIALPARAMS& params,
                 unsigned notifierType, TRasDialNotifier notifier, HRASCONN& handle);
// Starts taking a connection down; it is gone once RasGetConnectStatus gives
// ERROR_INVALID_HANDLE.
unsigned RasHangUp(HRASCONN connection);
// The stored dial parameters of params.szEntryName (dwSize must be RASDIALPARAMS_SIZE). The
// password is given only when one is stored; passwordSaved tells which.
unsigned RasGetEntryDialParams(const char* phoneBook, RASDIALPARAMS& params, bool& passwordSaved);
// Stores the user name, the domain and, unless removePassword, the password with the entry
// params.szEntryName; removePassword drops a stored password.
unsigned RasSetEntryDialParams(const char* phoneBook, const RASDIALPARAMS& params,
                               bool removePassword);
// The entry's properties (RasGetEntryProperties, bound by name through GetRasProc). With
// entry null the size needed is returned in entrySize with ERROR_BUFFER_TOO_SMALL.
unsigned RasGetEntryPropertiesA(const char* phoneBook, const char* entryName, RASENTRY* entry,
                                unsigned* entrySize, void* deviceInfo, unsigned* deviceInfoSize);
// The service's text for a remote-access error code (600 and up) into buffer (size bytes, NUL
// ended); ERROR_INVALID_PARAMETER for other codes, ERROR_INVALID_BUFFER when it does not fit.
unsigned RasGetErrorStringA(unsigned code, char* buffer, unsigned size);
// Creates an entry or edits entryName through the entry editor (SetRasEntryEditor). 0 also
// when the operator cancelled; ERROR_CANNOT_FIND_PHONEBOOK_ENTRY for an unknown entry to edit.
unsigned RasCreatePhonebookEntryA(void* owner, const char* phoneBook);
unsigned RasEditPhonebookEntryA(void* owner, const char* phoneBook, const char* entryName);
