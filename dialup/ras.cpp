#include "dialup/ras.h"

#include <cstring>
#include <map>
#include <mutex>

#include "common/base/clock.h"
#include "common/base/text.h"
#include "dialup/ras_line.h"
#include "dialup/ras_sim.h"

namespace {

struct TConnection {
    std::string entryName;
    std::unique_ptr<IRasLine> line;
    TRasDialNotifier notifier;
};

struct TNotice {
    TRasDialNotifier notifier;
    int state;
    unsigned error;
};

// The service's connections by handle; handles only grow, so the map's order is the order the
// connections were made in.
struct TService {
    std::mutex mutex;
    std::map<HRASCONN, TConnection> connections;
    HRASCONN nextHandle = 0x10000;
    std::map<std::string, int> dialCounts;  // by upper-case entry name
    RASDIALPARAMS lastDial;
};

TService& Service() {
    static TService service;
    return service;
}

// Brings every connection up to now (lock held): changes to tell are queued in notices, and
// connections gone after their hang-up are forgotten.
void UpdateConnections(TService& s, std::vector<TNotice>& notices) {
    const int64_t now = MonotonicMs();
    for (auto it = s.connections.begin(); it != s.connections.end();) {
        TConnection& c = it->second;
        int state = 0;
        unsigned error = 0;
        c.line->Poll(
            now,
            [&](int st, unsigned err) {
                if (c.notifier) notices.push_back({c.notifier, st, err});
            },
            state, error);
        if (c.line->Gone(now))
            it = s.connections.erase(it);
        else
            ++it;
    }
}

void Tell(const std::vector<TNotice>& notices) {
    for (const TNotice& n : notices) n.notifier(WM_RASDIALEVENT, n.state, n.error);
}

// Runs act on the connections brought up to now, under the lock; what changed meanwhile is
// told to the notifiers after the lock is let go, so a notifier may call the service again.
template <class TAct>
unsigned WithConnections(TService& s, TAct act) {
    std::vector<TNotice> notices;
    unsigned result;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        UpdateConnections(s, notices);
        result = act();
    }
    Tell(notices);
    return result;
}

bool DefaultPhoneBook(const char* phoneBook) { return phoneBook == nullptr || !*phoneBook; }

bool FitsFields(const RASDIALPARAMS& p) {
    return p.szEntryName.size() <= RAS_MaxEntryName &&
           p.szPhoneNumber.size() <= RAS_MaxPhoneNumber &&
           p.szCallbackNumber.size() <= RAS_MaxPhoneNumber && p.szUserName.size() <= UNLEN &&
           p.szPassword.size() <= PWLEN && p.szDomain.size() <= DNLEN;
}

bool HeldFor(TService& s, const std::string& entryName) {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [handle, c] : s.connections)
        if (SameText(c.entryName, entryName)) return true;
    return false;
}

// Command-line links that are up but not held here (brought up by the operator or another
// program) are taken into the list, as the platform lists every program's connections.
void TakeInOtherCommandLinks(TService& s) {
    std::vector<std::string> names;
    if (ListRasEntries(names) != ERROR_SUCCESS) return;
    for (const std::string& name : names) {
        TRasEntry entry;
        if (ReadRasEntry(name, entry) != ERROR_SUCCESS || entry.Line != TRasLineKind::Command ||
            entry.StatusCommand.empty() || HeldFor(s, entry.Name) || !CommandLinkUp(entry))
            continue;
        std::lock_guard<std::mutex> lock(s.mutex);
        for (const auto& [handle, c] : s.connections)
            if (SameText(c.entryName, entry.Name)) return;
        TConnection& c = s.connections[s.nextHandle++];
        c.entryName = entry.Name;
        c.line = MakeCommandLineAlreadyUp(entry);
    }
}

}  // namespace

unsigned RasEnumConnections(RASCONN* connections, unsigned& byteCount, unsigned& count) {
    if (byteCount % RASCONN_SIZE != 0) return ERROR_INVALID_SIZE;
    if (connections == nullptr && byteCount != 0) return ERROR_INVALID_BUFFER;
    TService& s = Service();
    TakeInOtherCommandLinks(s);
    return WithConnections(s, [&]() -> unsigned {
        const auto active = static_cast<unsigned>(s.connections.size());
        count = active;
        const bool fits = active * RASCONN_SIZE <= byteCount;
        byteCount = active * RASCONN_SIZE;
        if (!fits) return ERROR_BUFFER_TOO_SMALL;
        unsigned i = 0;
        for (const auto& [handle, c] : s.connections) {
            connections[i].dwSize = RASCONN_SIZE;
            connections[i].hrasconn = handle;
            connections[i].szEntryName = c.entryName;
            ++i;
        }
        return ERROR_SUCCESS;
    });
}

unsigned RasEnumEntries(const char* phoneBook, std::vector<std::string>& names) {
    if (!DefaultPhoneBook(phoneBook)) return ERROR_CANNOT_OPEN_PHONEBOOK;
    return ListRasEntries(names);
}

unsigned RasGetConnectStatus(HRASCONN connection, RASCONNSTATUS& status) {
    if (status.dwSize != RASCONNSTATUS_SIZE) return ERROR_INVALID_SIZE;
    TService& s = Service();
    return WithConnections(s, [&]() -> unsigned {
        const auto it = s.connections.find(connection);
        if (it == s.connections.end()) return ERROR_INVALID_HANDLE;
        int state = 0;
        unsigned error = 0;
        it->second.line->Poll(
            MonotonicMs(), [](int, unsigned) {}, state, error);
        status.rasconnstate = state;
        status.dwError = error;
        return ERROR_SUCCESS;
    });
}

unsigned RasGetConnectStatus(HRASCONN connection, int& state) {
    RASCONNSTATUS status;
    const unsigned result = RasGetConnectStatus(connection, status);
    if (result == ERROR_SUCCESS) state = status.rasconnstate;
    return result;
}

unsigned RasDial(const void*, const char* phoneBook, const RASDIALPARAMS& params, unsigned,
                 TRasDialNotifier notifier, HRASCONN& handle) {
    handle = 0;
    if (params.dwSize != RASDIALPARAMS_SIZE) return ERROR_INVALID_SIZE;
    if (!FitsFields(params)) return ERROR_INVALID_PARAMETER;
    if (!DefaultPhoneBook(phoneBook)) return ERROR_CANNOT_OPEN_PHONEBOOK;
    TRasEntry entry;
    if (const unsigned read = ReadRasEntry(params.szEntryName, entry); read != ERROR_SUCCESS)
        return read;
    TService& s = Service();
    std::vector<TNotice> notices;
    unsigned result = ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.lastDial = params;
        const int dial = s.dialCounts[UpperCase(entry.Name)]++;
        std::unique_ptr<IRasLine> line;
        if (entry.Line == TRasLineKind::Command) {
            result = MakeCommandLine(entry, params, line);
        } else {
            const auto& results = entry.SimResults;
            const TSimOutcome outcome =
                results.empty() ? TSimOutcome::Connected
                                : results[std::min<std::size_t>(dial, results.size() - 1)];
            if (outcome == TSimOutcome::Fail)
                result = entry.SimError != 0 ? entry.SimError : ERROR_PORT_NOT_AVAILABLE;
            else
                line = MakeSimulatedLine(entry, outcome, MonotonicMs());
        }
        if (result == ERROR_SUCCESS) {
            handle = s.nextHandle++;
            TConnection& c = s.connections[handle];
            c.entryName = entry.Name;
            c.line = std::move(line);
            c.notifier = std::move(notifier);
            UpdateConnections(s, notices);
        }
    }
    Tell(notices);
    return result;
}

unsigned RasHangUp(HRASCONN connection) {
    TService& s = Service();
    return WithConnections(s, [&]() -> unsigned {
        const auto it = s.connections.find(connection);
        if (it == s.connections.end()) return ERROR_INVALID_HANDLE;
        // Nothing more is told once the caller hangs up.
        it->second.notifier = nullptr;
        it->second.line->HangUp(MonotonicMs());
        if (it->second.line->Gone(MonotonicMs())) s.connections.erase(it);
        return ERROR_SUCCESS;
    });
}

unsigned RasGetEntryDialParams(const char* phoneBook, RASDIALPARAMS& params, bool& passwordSaved) {
    if (params.dwSize != RASDIALPARAMS_SIZE) return ERROR_INVALID_SIZE;
    if (!DefaultPhoneBook(phoneBook)) return ERROR_CANNOT_OPEN_PHONEBOOK;
    if (params.szEntryName.size() > RAS_MaxEntryName) return ERROR_INVALID_PARAMETER;
    TRasEntry entry;
    if (const unsigned read = ReadRasEntry(params.szEntryName, entry); read != ERROR_SUCCESS)
        return read;
    params.szPhoneNumber = entry.PhoneNumber;
    params.szCallbackNumber.clear();
    params.szUserName = entry.UserName;
    params.szPassword = entry.PasswordSaved ? entry.Password : std::string();
    params.szDomain = entry.Domain;
    passwordSaved = entry.PasswordSaved;
    return ERROR_SUCCESS;
}

unsigned RasSetEntryDialParams(const char* phoneBook, const RASDIALPARAMS& params,
                               bool removePassword) {
    if (params.dwSize != RASDIALPARAMS_SIZE) return ERROR_INVALID_SIZE;
    if (!DefaultPhoneBook(phoneBook)) return ERROR_CANNOT_OPEN_PHONEBOOK;
    if (!FitsFields(params)) return ERROR_INVALID_PARAMETER;
    TRasEntry entry;
    if (const unsigned read = ReadRasEntry(params.szEntryName, entry); read != ERROR_SUCCESS)
        return read;
    entry.UserName = params.szUserName;
    entry.Domain = params.szDomain;
    entry.PasswordSaved = !removePassword && !params.szPassword.empty();
    entry.Password = entry.PasswordSaved ? params.szPassword : std::string();
    return WriteRasEntry(entry);
}

unsigned RasGetEntryPropertiesA(const char* phoneBook, const char* entryName, RASENTRY* entry,
                                unsigned* entrySize, void*, unsigned* deviceInfoSize) {
    if (entrySize == nullptr || entryName == nullptr) return ERROR_INVALID_PARAMETER;
    if (!DefaultPhoneBook(phoneBook)) return ERROR_CANNOT_OPEN_PHONEBOOK;
    if (deviceInfoSize != nullptr) *deviceInfoSize = 0;
    if (entry == nullptr || *entrySize < RASENTRY_SIZE) {
        *entrySize = RASENTRY_SIZE;
        return ERROR_BUFFER_TOO_SMALL;
    }
    if (entry->dwSize != RASENTRY_SIZE) return ERROR_INVALID_SIZE;
    TRasEntry stored;
    if (const unsigned read = ReadRasEntry(entryName, stored); read != ERROR_SUCCESS) return read;
    entry->szLocalPhoneNumber = stored.PhoneNumber;
    return ERROR_SUCCESS;
}

unsigned RasCreatePhonebookEntryA(void*, const char* phoneBook) {
    if (!DefaultPhoneBook(phoneBook)) return ERROR_CANNOT_OPEN_PHONEBOOK;
    const TRasEntryEditor editor = RasEntryEditor();
    TRasEntry entry;
    if (!editor || !editor(entry, true)) return ERROR_SUCCESS;
    return WriteRasEntry(entry);
}

unsigned RasEditPhonebookEntryA(void*, const char* phoneBook, const char* entryName) {
    if (!DefaultPhoneBook(phoneBook)) return ERROR_CANNOT_OPEN_PHONEBOOK;
    if (entryName == nullptr) return ERROR_INVALID_PARAMETER;
    TRasEntry entry;
    if (const unsigned read = ReadRasEntry(entryName, entry); read != ERROR_SUCCESS) return read;
    const TRasEntryEditor editor = RasEntryEditor();
    const std::string oldName = entry.Name;
    if (!editor || !editor(entry, false)) return ERROR_SUCCESS;
    // A renamed entry is written under its new name and the old one leaves the list.
    if (!SameText(entry.Name, oldName)) {
        TRasEntry existing;
        if (ReadRasEntry(entry.Name, existing) == ERROR_SUCCESS) return ERROR_ALREADY_EXISTS;
        if (const unsigned written = WriteRasEntry(entry); written != ERROR_SUCCESS) return written;
        return DeleteRasEntry(oldName);
    }
    return WriteRasEntry(entry);
}

HRASCONN SimPlaceOtherConnection(const std::string& entryName, int dropAfterSeconds) {
    TService& s = Service();
    std::lock_guard<std::mutex> lock(s.mutex);
    const HRASCONN handle = s.nextHandle++;
    TConnection& c = s.connections[handle];
    c.entryName = entryName;
    c.line = MakeOtherProgramLine(MonotonicMs(), dropAfterSeconds);
    return handle;
}

void SimResetLine() {
    TService& s = Service();
    std::map<HRASCONN, TConnection> old;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        old.swap(s.connections);
        s.dialCounts.clear();
        s.lastDial = RASDIALPARAMS{};
    }
    // Lines are released outside the lock: a command line may wait for its thread.
}

int SimDialCount(const std::string& entryName) {
    TService& s = Service();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.dialCounts.find(UpperCase(entryName));
    return it == s.dialCounts.end() ? 0 : it->second;
}

RASDIALPARAMS SimLastDialParams() {
    TService& s = Service();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.lastDial;
}
