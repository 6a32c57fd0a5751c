#pragma once

// The transfer history's database: one SQLite file in the installation's log folder, in WAL
// mode, so the gateway writes while a search reads, and a program killed while it writes
// leaves the file readable. Each connection belongs to one thread.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "history/history_row.h"

struct sqlite3;

inline constexpr const char* kHistoryFileName = "history.db";

class EHistoryError : public std::runtime_error {
  public:
    EHistoryError(const std::string& what, bool damaged)
        : std::runtime_error(what), damaged_(damaged) {}
    // The file is no database, or a damaged one: it cannot be written again as it is.
    bool Damaged() const { return damaged_; }

  private:
    bool damaged_;
};

// What a search asks for; every part left empty matches every row.
struct THistoryFilter {
    TDateTime Since = 0;  // rows at or after; 0 for no bound
    TDateTime Until = 0;  // rows before; 0 for no bound
    std::string Name;     // the name or final name, with the wildcards * and ?, any case
    std::string Partner;  // a part of the partner's address, any case
    std::optional<THistoryDirection> Direction;
    bool FailedOnly = false;
    std::string Text;       // a part of any text of the row, any case (the window's search box)
    std::string Sha256;     // exactly these bytes
    std::size_t Limit = 0;  // at most so many rows, the newest; 0 for all
};

class THistoryStore {
  public:
    enum class TOpen { Create, Existing };
    // Opens (or creates) the database at path; raises EHistoryError.
    explicit THistoryStore(const std::string& path, TOpen open = TOpen::Create);
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // Adds rows in one transaction: all of them or none. Raises EHistoryError.
    void Add(const std::vector<THistoryRow>& rows);
    // The rows filter asks for, newest first. Raises EHistoryError.
    std::vector<THistoryRow> Find(const THistoryFilter& filter) const;
    // Removes the rows older than cutOff; returns how many. Raises EHistoryError.
    long PurgeBefore(TDateTime cutOff);

  private:
    void Exec(const char* sql) const;
    [[noreturn]] void Fail(const std::string& what, int code) const;

    std::string path_;
    sqlite3* db_ = nullptr;
};

// The SQL LIKE pattern (escape "\") of a name pattern with the wildcards * and ?.
std::string LikePatternOfWildcards(const std::string& pattern);
// A date ("2024-03-01") or a date and time ("2024-03-01 14:30", "2024-03-01T14:30:05") of a
// search; endOfDay makes a date alone mean the end of that day. False when it is none.
bool ParseHistoryTime(const std::string& text, bool endOfDay, TDateTime& value);
