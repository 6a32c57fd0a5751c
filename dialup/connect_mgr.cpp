#include "dialup/connect_mgr.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "common/base/clock.h"
#include "common/base/message_pump.h"
#include "common/base/text.h"
#include "common/settings.h"
#include "common/syslog.h"
#include "common/view.h"
#include "dialup/dial.h"
#include "dialup/dial_views.h"
#include "dialup/error_str.h"
#include "dialup/ras_bind.h"

bool IsNT = false;
std::atomic<bool> DialIdle{true};
std::atomic<bool> DialedBySelf{false};

namespace {

TDialupHooks& Hooks() {
    static TDialupHooks hooks;
    return hooks;
}

// Set while the dial-up information dialog is open: there is never a second one.
bool dialInfoOpen = false;

constexpr unsigned kConnectionSlots = 10;

std::string ErrorText(unsigned code) { return RasErrorText(static_cast<int>(code)); }

// Reads the state of one listed connection and logs it under caller's name: true when it is
// connected.
bool ConnectedAsLogged(const char* caller, const RASCONN& c) {
    PumpMessages(0);
    RASCONNSTATUS status;
    const unsigned read = RasGetConnectStatus(c.hrasconn, status);
    WriteLog(std::string(caller) + " - RasGetConnectStatus('" + c.szEntryName + "') return " +
                 ErrorText(read) + " ConnStatus := " +
                 RasStateText(status.rasconnstate, static_cast<int>(status.dwError)) + "(" +
                 std::to_string(status.rasconnstate) + ")",
             2);
    return read == ERROR_SUCCESS && status.rasconnstate == RASCS_Connected;
}

// The active connections in a buffer of kConnectionSlots records.
unsigned EnumConnections(RASCONN (&connections)[kConnectionSlots], unsigned& count) {
    unsigned byteCount = kConnectionSlots * RASCONN_SIZE;
    count = 0;
    return RasEnumConnections(connections, byteCount, count);
}

// Waits, processing messages, until the hung-up handle is gone; false when the line did not
// report it gone within kHangUpWaitLimitMs.
bool WaitUntilGone(HRASCONN handle) {
    const int64_t end = MonotonicMs() + kHangUpWaitLimitMs;
    for (int step = 0; step <= kHangUpWaitLimitMs / kHangUpPollMs; ++step) {
        PumpMessages(0);
        RASCONNSTATUS status;
        status.dwError = 0;
        const unsigned read = RasGetConnectStatus(handle, status);
        if (read == ERROR_INVALID_HANDLE || status.dwError == ERROR_INVALID_HANDLE) return true;
        if (MonotonicMs() >= end) break;
        WaitProcessingMessages(kHangUpPollMs);
    }
    WriteLog("The line did not report connection " + std::to_string(handle) + " gone within " +
                 std::to_string(kHangUpWaitLimitMs / 1000) + " seconds.",
             1);
    return false;
}

class TNoProgressView : public IDialProgressView {
  public:
    void SetForm(TDialProgress*) override {}
    void SetCaption(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void ShowModeless() override {}
    void Minimize() override {}
    void Close() override {}
    void ShowFrame(int) override {}
};

}  // namespace

void SetDialupHooks(TDialupHooks hooks) { Hooks() = std::move(hooks); }
const TDialupHooks& DialupHooks() { return Hooks(); }

int CheckConnection() {
    IsNT = (Hooks().platformId ? Hooks().platformId() : 1) == 2;
    WriteLog("Check connection before Send or Receive event.", 2);
    const std::string profile = ConnectionInfo.DialupProfile;
    if (!profile.empty()) {
        bool found = false;
        HRASCONN handle = DVR_RASConn;
        GetRASConn(profile, "", 0, found, handle);
        DVR_RASConn = handle;
        if (found)
            WriteLog("SO_RasConn.hConn := " + std::to_string(handle), 2);
        else
            WriteLog("No connection found!", 2);
    }

    RASDIALPARAMS params;
    bool savePassword = false;
    bool aborted = false;
    try {
        while (DVR_RASConn == 0 && !aborted) {
            DialIdle = false;
            WriteLog("Dialup Profile: '" + profile + "' was not connected.", 1);
            HRASCONN handle = DVR_RASConn;
            if (IsNT) {
                if (DialWithSystemDialog(profile, handle) != 0) aborted = true;
                DVR_RASConn = handle;
            } else {
                CheckDialupParameter(profile, params, aborted, savePassword);
            }
            if (aborted) WriteLog("User aborted in Dialup info screen.", 2);
            if (!IsNT && !aborted) {
                WriteLog("Dialup Info: ", 1);
                WriteLog("  szEntryName   := " + params.szEntryName, 2);
                WriteLog("  szUserName    := " + params.szUserName, 2);
                WriteLog("  szPhoneNumber := " + params.szPhoneNumber, 2);
                bool userAborted = false;
                DialWithProgress(params, handle, userAborted, savePassword);
                DVR_RASConn = handle;
                if (userAborted) {
                    WriteLog("User abort while connecting to Internet.", 2);
                    aborted = true;
                }
            }
            if (!aborted) {
                DialedBySelf = true;
                WriteLog("Connection DVR_RASConn := " + std::to_string(DVR_RASConn), 2);
            }
        }
    } catch (...) {
        DialIdle = true;
        throw;
    }
    DialIdle = true;
    return DVR_RASConn != 0 ? 0 : -1;
}

int GetRASConn(const std::string& profile, const std::string& excludedName, HRASCONN excludedHandle,
               bool& found, HRASCONN& handle) {
    handle = 0;
    try {
        RASCONN connections[kConnectionSlots];
        unsigned count = 0;
        const unsigned listed = EnumConnections(connections, count);
        WriteLog("RasEnumConnections( ) return " + ErrorText(listed) +
                     " lpConnections := " + std::to_string(count),
                 2);
        if (listed != ERROR_SUCCESS) return 0;
        if (count == 0) WriteLog("No active connection detected.", 1);
        std::string entryName;
        for (unsigned i = 0; i < count && i < kConnectionSlots; ++i) {
            const RASCONN& c = connections[i];
            if (!ConnectedAsLogged("GetRASConn", c)) continue;
            if (!SameText(c.szEntryName, profile) &&
                (SameText(c.szEntryName, excludedName) ||
                 (excludedHandle != 0 && c.hrasconn == excludedHandle)))
                continue;
            handle = c.hrasconn;
            entryName = c.szEntryName;
            WriteLog("Active connection found.", 2);
            break;
        }
        if (handle != 0) {
            WriteLog("Connection created by " + entryName + " is used.", 1);
            found = true;
        }
        return 0;
    } catch (const std::exception& e) {
        WriteLog(std::string("GetRASConn( ) failed. ") + e.what(), 1);
        return -1;
    }
}

int CheckOtherRASConn(HRASCONN handle) {
    int others = 0;
    try {
        RASCONN connections[kConnectionSlots];
        unsigned count = 0;
        if (EnumConnections(connections, count) != ERROR_SUCCESS || count == 0) return 0;
        for (unsigned i = 0; i < count && i < kConnectionSlots; ++i) {
            const RASCONN& c = connections[i];
            if (ConnectedAsLogged("CheckOtherRASConn", c) && c.hrasconn != handle) ++others;
        }
        return others;
    } catch (const std::exception& e) {
        WriteLog(std::string("CheckOtherRASConn( ) failed. ") + e.what(), 1);
        return 0;
    }
}

int DialWithSystemDialog(const std::string& profile, HRASCONN& handle) {
    WriteLog("WinNT or Win2000", 2);
    WriteLog("Connect to internet using Dialup Profile: " + profile, 1);
    unsigned dialogError = 0;
    bool dialed = false;
    if (Hooks().systemDialDialog) dialed = Hooks().systemDialDialog(profile, dialogError);
    if (!profile.empty()) SleepMs(0);
    WriteLog(dialed ? "rv = TRUE" : "rv = FALSE", 2);
    WriteLog("Entry = " + profile, 2);
    if (!dialed || dialogError != 0) {
        WriteLog("Dialup failed or cancelled by user.", 1);
        return -1;
    }
    RASCONN connections[kConnectionSlots];
    unsigned count = 0;
    if (EnumConnections(connections, count) != ERROR_SUCCESS) return -1;
    for (unsigned i = 0; i < count && i < kConnectionSlots; ++i) {
        const RASCONN& c = connections[i];
        PumpMessages(0);
        RASCONNSTATUS status;
        if (RasGetConnectStatus(c.hrasconn, status) != ERROR_SUCCESS ||
            status.rasconnstate != RASCS_Connected || !SameText(c.szEntryName, profile))
            continue;
        handle = c.hrasconn;
        WriteLog("Connection successfully established with dialup profile " + c.szEntryName, 1);
        return 0;
    }
    return -1;
}

int CheckDialupParameter(const std::string& profile, RASDIALPARAMS& params, bool& aborted,
                         bool& savePassword) {
    int result = -1;
    bool passwordSaved = false;
    // An error reading the entry is passed on after the operator had the chance to answer.
    std::exception_ptr readError;
    if (!profile.empty()) {
        try {
            GetDialupInfo(profile, params, passwordSaved);
        } catch (...) {
            readError = std::current_exception();
        }
    }
    WriteLog("Check Dialup Parameter", 2);
    if (!params.szPhoneNumber.empty() && !params.szUserName.empty() && !params.szPassword.empty()) {
        savePassword = true;
        result = 0;
    } else if (!dialInfoOpen) {
        WriteLog("Dialup parameter not enough. User should input again.", 2);
        std::unique_ptr<IDialInfoView> view;
        if (Hooks().makeDialInfo) view = Hooks().makeDialInfo();
        if (!view) {
            aborted = true;
        } else {
            dialInfoOpen = true;
            try {
                view->SetEntryName(params.szEntryName);
                view->SelectEntry(params.szEntryName);
                view->SetUserName(params.szUserName);
                view->SetPassword(params.szPassword);
                view->SetSavePassword(passwordSaved);
                if (view->ShowModal()) {
                    WriteLog("Check Dialup paramter again after input", 2);
                    GetDialupInfo(view->EntryText(), params, passwordSaved);
                    aborted = false;
                    params.szEntryName = Trim(view->EntryText());
                    params.szUserName = Trim(view->UserName());
                    params.szPassword = Trim(view->Password());
                    savePassword = view->SavePassword();
                    result = 0;
                } else {
                    aborted = true;
                }
            } catch (...) {
                dialInfoOpen = false;
                throw;
            }
            dialInfoOpen = false;
        }
    }
    if (readError) std::rethrow_exception(readError);
    return result;
}

int DialWithProgress(const RASDIALPARAMS& params, HRASCONN& handle, bool& userAborted,
                     bool savePassword) {
    std::unique_ptr<IDialProgressView> view;
    std::unique_ptr<TDialProgress> form;
    try {
        if (Hooks().makeDialProgress) view = Hooks().makeDialProgress();
        if (!view) view = std::make_unique<TNoProgressView>();
        form = std::make_unique<TDialProgress>(*view);
        view->ShowModeless();
        // Below one trial a pass could neither dial nor be cancelled: it makes one trial.
        const int trials = std::max(1, static_cast<int>(ConnectionInfo.Retry));
        DoDialup(*form, params, trials, savePassword, userAborted, handle);
        WriteLog("hRASConn := " + std::to_string(handle), 2);
    } catch (const std::exception& e) {
        WriteLog(std::string("Dialup failed. ") + e.what(), 1);
    }
    return 0;
}

unsigned DoHangUp(HRASCONN& handle) {
    unsigned code = ERROR_SUCCESS;
    try {
        WriteLog("Enter DoHangUp ('" + std::to_string(handle) + "')", 2);
        code = RasHangUp(handle);
        SleepMs(3000);
        WriteLog("RasHangUp( ) return " + ErrorText(code), 2);
        if (code == ERROR_SUCCESS) {
            WaitUntilGone(handle);
            handle = 0;
        }
    } catch (const std::exception&) {
        // A failed hang-up while dialing leaves the dial to go on.
    }
    return code;
}

int HangUpConnection(HRASCONN& handle, std::string& message, bool terminateSockets) {
    try {
        unsigned code = ERROR_SUCCESS;
        if (handle != 0) {
            WriteLog("RasHangUp. HRasConn: " + std::to_string(handle), 2);
            code = RasHangUp(handle);
            SleepMs(3000);
            WriteLog("RasHangUp( ) return " + std::to_string(code) + " - " + ErrorText(code), 2);
            if (code == ERROR_SUCCESS) {
                WaitUntilGone(handle);
            } else {
                char text[256];
                if (RasGetErrorStringA(code, text, sizeof text) == ERROR_SUCCESS) WriteLog(text, 1);
            }
        }
        if (terminateSockets) {
            if (Hooks().socketsCleanup) Hooks().socketsCleanup();
            WriteLog("Terminate Windows Sockets", 2);
        }
        if (code == ERROR_SUCCESS) WriteLog("Disconnect success.", 1);
        return 0;
    } catch (const std::exception& e) {
        message = e.what();
        if (terminateSockets) {
            if (Hooks().socketsCleanup) Hooks().socketsCleanup();
            WriteLog("Terminate Window Sockets", 2);
        }
        return 1;
    }
}

void HangUpDialup() {
    if (Hooks().busyCursor) Hooks().busyCursor(true);
    struct TRestore {
        ~TRestore() {
            DialedBySelf = false;
            if (Hooks().busyCursor) Hooks().busyCursor(false);
        }
    } restore;
    WriteLog("Disconnect dialup now", 2);
    WriteLog("Disconnect dialup connection. Dialup profile: " + ConnectionInfo.DialupProfile, 1);
    HRASCONN handle = DVR_RASConn;
    const int others = CheckOtherRASConn(handle);
    std::string message;
    if (HangUpConnection(handle, message, others == 0) != 0) throw std::runtime_error(message);
    DVR_RASConn = 0;
}

unsigned GetDialupInfo(const std::string& profile, RASDIALPARAMS& params, bool& passwordSaved) {
    WriteLog("Get dialup info for profile :" + profile + ".", 1);
    RASENTRY entry;
    unsigned entrySize = 0;
    unsigned deviceInfoSize = 0;
    std::string stage;
    RasGetEntryProperties(nullptr, profile.c_str(), nullptr, &entrySize, nullptr, &deviceInfoSize);
    stage = "RASGetEntryProperties( )";
    RasGetEntryProperties(nullptr, profile.c_str(), &entry, &entrySize, nullptr, &deviceInfoSize);

    params = RASDIALPARAMS{};
    params.szEntryName = profile;
    stage = "RASGetEntryDialParams( )";
    const unsigned code = RasGetEntryDialParams(nullptr, params, passwordSaved);
    params.szPhoneNumber = entry.szLocalPhoneNumber;

    std::string suffix;
    std::string reason;
    switch (code) {
        case ERROR_INVALID_PARAMETER:
            suffix = " - Invalid Parameter.", reason = "Invalid Parameter.";
            break;
        case ERROR_BUFFER_TOO_SMALL:
            suffix = " - Buffer too small.", reason = "Buffer too small.";
            break;
        case ERROR_INVALID_BUFFER:
            suffix = " - Invalid Buffer.", reason = "Invalid Buffer.";
            break;
        case ERROR_CANNOT_OPEN_PHONEBOOK:
            suffix = " - Cannot open phonebook.", reason = "Cannot open phonebook.";
            break;
        case ERROR_CANNOT_FIND_PHONEBOOK_ENTRY:
            suffix = " - Cannot find phonebook entry.";
            reason = "Cannot find phonebook entry '" + profile + "'.";
            break;
        default:
            return code;
    }
    WriteLog(stage + " - Failed. ErrCode: " + std::to_string(code) + suffix, 2);
    OperatorView().MessageBox(TMsgKind::Error,
                              "Unable to get dialup information. Reason: " + reason, "",
                              TMsgButtons::OK);
    return code;
}
