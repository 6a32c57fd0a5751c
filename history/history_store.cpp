#include "history/history_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <memory>

#include "common/base/datetime.h"

namespace {

// A busy database (another connection commits) is waited for this long before giving up.
constexpr int kBusyTimeoutMs = 5000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS transfers ("
    " id INTEGER PRIMARY KEY,"
    " time REAL NOT NULL,"
    " direction TEXT NOT NULL,"
    " name TEXT NOT NULL,"
    " final_name TEXT NOT NULL,"
    " folder TEXT NOT NULL,"
    " service TEXT NOT NULL,"
    " partner TEXT NOT NULL,"
    " size INTEGER NOT NULL,"
    " sha256 TEXT NOT NULL,"
    " outcome TEXT NOT NULL,"
    " failed INTEGER NOT NULL,"
    " reason TEXT NOT NULL,"
    " message_id TEXT NOT NULL,"
    " subject TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS transfers_time ON transfers(time);"
    "CREATE INDEX IF NOT EXISTS transfers_sha256 ON transfers(sha256);";

bool DamagedCode(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

using TStatement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

std::string LikeEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '%' || c == '_') out += '\\';
        out += c;
    }
    return out;
}

std::string Column(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

}  // namespace

std::string LikePatternOfWildcards(const std::string& pattern) {
    std::string out;
    for (char c : pattern) {
        if (c == '*')
            out += '%';
        else if (c == '?')
            out += '_';
        else
            out += LikeEscaped(std::string(1, c));
    }
    return out;
}

THistoryStore::THistoryStore(const std::string& path, TOpen open) : path_(path) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (open == TOpen::Create) flags |= SQLITE_OPEN_CREATE;
    int code = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK && open == TOpen::Existing) {
        // A search by somebody who may read the history but not write its folder.
        sqlite3_close(db_);
        db_ = nullptr;
        code = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                               nullptr);
    }
    try {
        if (code != SQLITE_OK) Fail("cannot open it", code);
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        if (open == TOpen::Existing && sqlite3_db_readonly(db_, "main") == 1) {
            Exec("SELECT count(*) FROM sqlite_schema");  // a file that is no database fails here
            return;
        }
        // WAL: a reader never waits for the writer, and a write cut short by a kill is rolled
        // back from the log on the next open. FULL: a committed cycle survives a power cut.
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=FULL");
        Exec(kSchema);
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

THistoryStore::~THistoryStore() { sqlite3_close(db_); }

void THistoryStore::Fail(const std::string& what, int code) const {
    std::string text = "History " + path_ + ": " + what;
    if (db_ && sqlite3_errcode(db_) == code)
        text += " (" + std::string(sqlite3_errmsg(db_)) + ")";
    else
        text += std::string(" (") + sqlite3_errstr(code) + ")";
    throw EHistoryError(text, DamagedCode(code));
}

void THistoryStore::Exec(const char* sql) const {
    char* message = nullptr;
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (code != SQLITE_OK) Fail("cannot run " + std::string(sql).substr(0, 40), code);
}

void THistoryStore::Add(const std::vector<THistoryRow>& rows) {
    if (rows.empty()) return;
    sqlite3_stmt* raw = nullptr;
    int code = sqlite3_prepare_v2(
        db_,
        "INSERT INTO transfers (time, direction, name, final_name, folder, service, partner, "
        "size, sha256, outcome, failed, reason, message_id, subject) "
        "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        -1, &raw, nullptr);
    TStatement insert(raw, &sqlite3_finalize);
    if (code != SQLITE_OK) Fail("cannot add rows", code);
    Exec("BEGIN IMMEDIATE");
    try {
        for (const THistoryRow& row : rows) {
            sqlite3_stmt* s = insert.get();
            const auto text = [s](int at, const std::string& value) {
                sqlite3_bind_text(s, at, value.data(), static_cast<int>(value.size()),
                                  SQLITE_TRANSIENT);
            };
            sqlite3_bind_double(s, 1, row.Time);
            text(2, HistoryDirectionText(row.Direction));
            text(3, row.Name);
            text(4, row.FinalName);
            text(5, row.Folder);
            text(6, row.Service);
            text(7, row.Partner);
            sqlite3_bind_int64(s, 8, row.Size);
            text(9, row.Sha256);
            text(10, HistoryOutcomeText(row.Outcome));
            sqlite3_bind_int(s, 11, HistoryOutcomeFailed(row.Outcome) ? 1 : 0);
            text(12, row.Reason);
            text(13, row.MessageId);
            text(14, row.Subject);
            code = sqlite3_step(s);
            if (code != SQLITE_DONE) Fail("cannot add a row", code);
            sqlite3_reset(s);
        }
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<THistoryRow> THistoryStore::Find(const THistoryFilter& filter) const {
    std::string sql =
        "SELECT id, time, direction, name, final_name, folder, service, partner, size, sha256, "
        "outcome, reason, message_id, subject FROM transfers WHERE 1";
    std::vector<std::string> texts;
    const auto bindText = [&texts](const std::string& value) {
        texts.push_back(value);
        return "?" + std::to_string(texts.size() + 2);
    };
    if (!filter.Name.empty()) {
        const std::string p = bindText(LikePatternOfWildcards(filter.Name));
        sql += " AND (name LIKE " + p + " ESCAPE '\\' OR final_name LIKE " + p + " ESCAPE '\\')";
    }
    if (!filter.Partner.empty())
        sql += " AND partner LIKE " + bindText("%" + LikeEscaped(filter.Partner) + "%") +
               " ESCAPE '\\'";
    if (filter.Direction)
        sql += " AND direction = " + bindText(HistoryDirectionText(*filter.Direction));
    if (filter.FailedOnly) sql += " AND failed = 1";
    if (!filter.Sha256.empty()) sql += " AND sha256 = " + bindText(filter.Sha256);
    if (!filter.Text.empty()) {
        const std::string p = bindText("%" + LikeEscaped(filter.Text) + "%");
        sql += " AND (";
        const char* columns[] = {"name",       "final_name", "folder",  "partner", "reason",
                                 "message_id", "subject",    "outcome", "sha256",  "service"};
        for (const char* column : columns)
            sql += std::string(column == columns[0] ? "" : " OR ") + column + " LIKE " + p +
                   " ESCAPE '\\'";
        sql += ")";
    }
    if (filter.Since != 0) sql += " AND time >= ?1";
    if (filter.Until != 0) sql += " AND time < ?2";
    sql += " ORDER BY time DESC, id DESC";
    if (filter.Limit > 0) sql += " LIMIT " + std::to_string(filter.Limit);

    sqlite3_stmt* raw = nullptr;
    int code = sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr);
    TStatement select(raw, &sqlite3_finalize);
    if (code != SQLITE_OK) Fail("cannot search", code);
    if (filter.Since != 0) sqlite3_bind_double(raw, 1, filter.Since);
    if (filter.Until != 0) sqlite3_bind_double(raw, 2, filter.Until);
    for (std::size_t i = 0; i < texts.size(); ++i)
        sqlite3_bind_text(raw, static_cast<int>(i + 3), texts[i].data(),
                          static_cast<int>(texts[i].size()), SQLITE_STATIC);
    std::vector<THistoryRow> rows;
    while ((code = sqlite3_step(raw)) == SQLITE_ROW) {
        THistoryRow row;
        row.Id = sqlite3_column_int64(raw, 0);
        row.Time = sqlite3_column_double(raw, 1);
        HistoryDirectionFromText(Column(raw, 2), row.Direction);
        row.Name = Column(raw, 3);
        row.FinalName = Column(raw, 4);
        row.Folder = Column(raw, 5);
        row.Service = Column(raw, 6);
        row.Partner = Column(raw, 7);
        row.Size = sqlite3_column_int64(raw, 8);
        row.Sha256 = Column(raw, 9);
        HistoryOutcomeFromText(Column(raw, 10), row.Outcome);
        row.Reason = Column(raw, 11);
        row.MessageId = Column(raw, 12);
        row.Subject = Column(raw, 13);
        rows.push_back(std::move(row));
    }
    if (code != SQLITE_DONE) Fail("cannot search", code);
    return rows;
}

long THistoryStore::PurgeBefore(TDateTime cutOff) {
    sqlite3_stmt* raw = nullptr;
    int code = sqlite3_prepare_v2(db_, "DELETE FROM transfers WHERE time < ?1", -1, &raw, nullptr);
    TStatement purge(raw, &sqlite3_finalize);
    if (code != SQLITE_OK) Fail("cannot purge", code);
    sqlite3_bind_double(raw, 1, cutOff);
    code = sqlite3_step(raw);
    if (code != SQLITE_DONE) Fail("cannot purge", code);
    return static_cast<long>(sqlite3_changes(db_));
}

bool ParseHistoryTime(const std::string& text, bool endOfDay, TDateTime& value) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char separator = 0;
    int used = 0;
    const int got = std::sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d:%2d", &year, &month, &day,
                                &used, &separator, &hour, &minute, &second);
    TDateTime date = 0, time = 0;
    if (got < 3 || !TryEncodeDate(year, month, day, date)) return false;
    if (got == 3) {
        if (static_cast<std::size_t>(used) != text.size()) return false;
        value = endOfDay ? date + 1 : date;
        return true;
    }
    if ((separator != ' ' && separator != 'T') || got < 6) return false;
    if (!TryEncodeTime(hour, minute, got == 7 ? second : 0, 0, time)) return false;
    value = date + time;
    return true;
}
