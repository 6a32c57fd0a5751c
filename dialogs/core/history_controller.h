#pragma once

// The History window without the toolkit: the filters as the operator typed them, the rows
// they find in the transfer history, the order of the rows, and the folder to open for one.

#include <string>
#include <vector>

#include "history/history_store.h"

enum class THistoryColumn { Time, Direction, Name, Outcome, Size, Partner, Where, Reason, Count };

// The window's fields, as typed; empty texts match every row.
struct THistoryFields {
    std::string Search;   // a part of any text of the row
    std::string Name;     // with the wildcards * and ?
    std::string Partner;  // a part of the partner's address
    std::string From;     // YYYY-MM-DD[ hh:mm[:ss]]
    std::string To;       // the same; a date alone counts to the end of that day
    enum class TDirection { Both, Sent, Received } Direction = TDirection::Both;
    bool FailedOnly = false;
};

class THistoryController {
  public:
    // More rows than a window can usefully show: the newest so many, and a hint to narrow.
    static constexpr std::size_t kMaxRows = 5000;

    explicit THistoryController(std::string databasePath);

    THistoryFields Fields;

    // Searches again with Fields, keeping the order. False, with Message() telling why, when a
    // field is not understood or the history cannot be read; the rows are then empty.
    bool Reload();
    // Orders the rows by column; rows alike in it stay newest first.
    void SortBy(THistoryColumn column, bool ascending);
    THistoryColumn SortColumn() const { return sortColumn_; }
    bool Ascending() const { return ascending_; }

    const std::vector<THistoryRow>& Rows() const { return rows_; }
    // Where the rows are, by the row's id; -1 when the search no longer finds it.
    int IndexOf(int64_t id) const;
    // How many rows were found, or why none could be.
    const std::string& Message() const { return message_; }

    static std::string CellText(const THistoryRow& row, THistoryColumn column);
    // Everything the row knows, one item a line, for the window's details.
    static std::string Details(const THistoryRow& row);
    // The folder to open for row; empty when there is none. note tells what the operator
    // should know: that the file is in no folder, the folder is gone or the file left it.
    static std::string FolderOf(const THistoryRow& row, std::string& note);

  private:
    void Sort();

    std::string path_;
    std::vector<THistoryRow> rows_;
    std::string message_;
    THistoryColumn sortColumn_ = THistoryColumn::Time;
    bool ascending_ = false;
};
