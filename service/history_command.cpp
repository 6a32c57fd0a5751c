#include "service/history_command.h"

#include <cstdio>
#include <iomanip>
#include <memory>
#include <ostream>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/file_digest.h"
#include "gateway/gateway_status.h"
#include "service/installation.h"
#include "service/terminal_text.h"

namespace {

std::string HistoryTime(TDateTime value) { return FormatDateTime("yyyy-MM-dd hh:nn:ss", value); }

std::string HistoryPath(const std::string& programDir) {
    return LogFolderOf(programDir) + kHistoryFileName;
}

// Opens the history for a search; null (and a line on err) when there is none to read.
std::unique_ptr<THistoryStore> OpenHistory(const std::string& programDir, std::ostream& err) {
    const std::string path = HistoryPath(programDir);
    if (!FileExists(path)) {
        err << "No transfer history " << path << " (nothing was sent or received yet)\n";
        return nullptr;
    }
    try {
        return std::make_unique<THistoryStore>(path, THistoryStore::TOpen::Existing);
    } catch (const EHistoryError& e) {
        err << TerminalText(e.what()) << "\n";
        return nullptr;
    }
}

// The rows filter finds; false (and a line on err) when the search failed.
bool FindRows(const THistoryStore& store, const THistoryFilter& filter,
              std::vector<THistoryRow>& rows, std::ostream& err) {
    try {
        rows = store.Find(filter);
        return true;
    } catch (const EHistoryError& e) {
        err << TerminalText(e.what()) << "\n";
        return false;
    }
}

std::string SizeOrDash(int64_t size) { return size < 0 ? "-" : std::to_string(size); }

}  // namespace

std::string HistoryRowJson(const THistoryRow& row) {
    return "{\"time\": " +
           JsonString(FormatDateTime("yyyy-MM-dd", row.Time) + "T" +
                      FormatDateTime("hh:nn:ss", row.Time)) +
           ", \"direction\": " + JsonString(HistoryDirectionText(row.Direction)) +
           ", \"name\": " + JsonString(row.Name) +
           ", \"final_name\": " + JsonString(row.FinalName) +
           ", \"folder\": " + JsonString(row.Folder) + ", \"service\": " + JsonString(row.Service) +
           ", \"partner\": " + JsonString(row.Partner) +
           ", \"size\": " + (row.Size < 0 ? "null" : std::to_string(row.Size)) +
           ", \"sha256\": " + JsonString(row.Sha256) +
           ", \"outcome\": " + JsonString(HistoryOutcomeText(row.Outcome)) +
           ", \"failed\": " + (HistoryOutcomeFailed(row.Outcome) ? "true" : "false") +
           ", \"reason\": " + JsonString(row.Reason) +
           ", \"message_id\": " + JsonString(row.MessageId) +
           ", \"subject\": " + JsonString(row.Subject) + "}";
}

int PrintHistory(const std::string& programDir, const THistoryFilter& filter, bool json,
                 std::ostream& out, std::ostream& err) {
    const auto store = OpenHistory(programDir, err);
    if (!store) return 1;
    std::vector<THistoryRow> rows;
    if (!FindRows(*store, filter, rows, err)) return 1;
    if (json) {
        for (const THistoryRow& row : rows) out << HistoryRowJson(row) << "\n";
        return 0;
    }
    out << std::left << std::setw(20) << "TIME" << std::setw(8) << "DIR" << std::setw(24) << "NAME"
        << std::setw(21) << "OUTCOME" << std::setw(10) << "SIZE" << std::setw(28) << "PARTNER"
        << "WHERE / REASON\n";
    for (const THistoryRow& row : rows) {
        std::string where = row.Folder + row.FinalName;
        if (!row.Reason.empty()) where += (where.empty() ? "" : " - ") + row.Reason;
        out << std::setw(20) << HistoryTime(row.Time) << std::setw(8)
            << HistoryDirectionText(row.Direction) << std::setw(24) << TerminalText(row.Name)
            << std::setw(21) << HistoryOutcomeText(row.Outcome) << std::setw(10)
            << SizeOrDash(row.Size) << std::setw(28) << TerminalText(row.Partner)
            << TerminalText(where) << "\n";
    }
    out << rows.size() << " row(s)\n";
    return 0;
}

int VerifyFile(const std::string& programDir, const std::string& file, std::ostream& out,
               std::ostream& err) {
    const TFileDigest digest = FileDigest(file);
    if (digest.Size < 0) {
        err << "Cannot read " << TerminalText(file) << "\n";
        return 2;
    }
    const auto store = OpenHistory(programDir, err);
    if (!store) return 1;
    THistoryFilter filter;
    filter.Sha256 = digest.Sha256;
    std::vector<THistoryRow> rows;
    if (!FindRows(*store, filter, rows, err)) return 1;
    bool transferred = false;
    for (const THistoryRow& row : rows) {
        transferred = transferred || HistoryOutcomeTransferred(row.Outcome);
        out << HistoryTime(row.Time) << "  "
            << (row.Direction == THistoryDirection::Send ? "sent as " : "received as ")
            << TerminalText(row.Name) << ": " << HistoryOutcomeText(row.Outcome);
        if (!row.Partner.empty())
            out << (row.Direction == THistoryDirection::Send ? ", to " : ", from ")
                << TerminalText(row.Partner);
        if (!row.Folder.empty()) out << ", in " << TerminalText(row.Folder + row.FinalName);
        out << "\n";
    }
    if (!transferred) {
        out << TerminalText(file) << " (SHA-256 " << digest.Sha256
            << ") was never sent or received.\n";
        return 1;
    }
    out << TerminalText(file) << " (SHA-256 " << digest.Sha256 << ", " << digest.Size
        << " bytes) was sent or received " << rows.size() << " time(s).\n";
    return 0;
}
