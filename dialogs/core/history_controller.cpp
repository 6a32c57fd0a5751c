#include "dialogs/core/history_controller.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/base/text.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The field's text as a bound of the search; false when it is no time.
bool TimeField(const std::string& text, bool endOfDay, TDateTime& value) {
    const std::string trimmed = Trim(text);
    value = 0;
    return trimmed.empty() || ParseHistoryTime(trimmed, endOfDay, value);
}

// -1, 0 or 1 as a comes before, with or after b in column, ascending.
int Compare(const THistoryRow& a, const THistoryRow& b, THistoryColumn column) {
    auto order = [](const auto& x, const auto& y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (column == THistoryColumn::Time) return order(a.Time, b.Time);
    if (column == THistoryColumn::Size) return order(a.Size, b.Size);
    // The others by the words shown, in any case, so the order is the one the operator reads.
    return order(Lower(THistoryController::CellText(a, column)),
                 Lower(THistoryController::CellText(b, column)));
}

}  // namespace

THistoryController::THistoryController(std::string databasePath) : path_(std::move(databasePath)) {}

bool THistoryController::Reload() {
    rows_.clear();
    THistoryFilter filter;
    if (!TimeField(Fields.From, false, filter.Since)) {
        message_ = "From needs a date (YYYY-MM-DD[ hh:mm[:ss]])";
        return false;
    }
    if (!TimeField(Fields.To, true, filter.Until)) {
        message_ = "To needs a date (YYYY-MM-DD[ hh:mm[:ss]])";
        return false;
    }
    filter.Text = Trim(Fields.Search);
    filter.Name = Trim(Fields.Name);
    filter.Partner = Trim(Fields.Partner);
    if (Fields.Direction == THistoryFields::TDirection::Sent)
        filter.Direction = THistoryDirection::Send;
    if (Fields.Direction == THistoryFields::TDirection::Received)
        filter.Direction = THistoryDirection::Receive;
    filter.FailedOnly = Fields.FailedOnly;
    // One more than is shown tells whether there are more.
    filter.Limit = kMaxRows + 1;
    if (!FileExists(path_)) {
        message_ = "No transfer history yet: nothing was sent or received.";
        return false;
    }
    try {
        rows_ = THistoryStore(path_, THistoryStore::TOpen::Existing).Find(filter);
    } catch (const EHistoryError& e) {
        message_ = e.what();
        return false;
    }
    const bool more = rows_.size() > kMaxRows;
    if (more) rows_.resize(kMaxRows);
    message_ = more ? "The newest " + std::to_string(kMaxRows) +
                          " rows are shown; narrow the search to see older ones."
                    : std::to_string(rows_.size()) + (rows_.size() == 1 ? " row" : " rows");
    Sort();
    return true;
}

void THistoryController::SortBy(THistoryColumn column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
    Sort();
}

void THistoryController::Sort() {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [this](const THistoryRow& a, const THistoryRow& b) {
                         const int by = Compare(a, b, sortColumn_);
                         if (by != 0) return ascending_ ? by < 0 : by > 0;
                         // Alike in the column: newest first, and of one moment the last written
                         // first.
                         if (a.Time != b.Time) return a.Time > b.Time;
                         return a.Id > b.Id;
                     });
}

int THistoryController::IndexOf(int64_t id) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Id == id) return static_cast<int>(i);
    return -1;
}

std::string THistoryController::CellText(const THistoryRow& row, THistoryColumn column) {
    switch (column) {
        case THistoryColumn::Time:
            return FormatDateTime("yyyy/MM/dd hh:nn:ss", row.Time);
        case THistoryColumn::Direction:
            return row.Direction == THistoryDirection::Send ? "sent" : "received";
        case THistoryColumn::Name:
            return row.Name;
        case THistoryColumn::Outcome:
            return HistoryOutcomeText(row.Outcome);
        case THistoryColumn::Size:
            return row.Size < 0 ? "" : std::to_string(row.Size);
        case THistoryColumn::Partner:
            return row.Partner;
        case THistoryColumn::Where:
            return row.Folder + row.FinalName;
        case THistoryColumn::Reason:
            return row.Reason;
        case THistoryColumn::Count:
            break;
    }
    return "";
}

std::string THistoryController::Details(const THistoryRow& row) {
    std::string text;
    auto line = [&text](const char* label, const std::string& value) {
        if (!value.empty()) text += (text.empty() ? "" : "\n") + std::string(label) + value;
    };
    line(row.Direction == THistoryDirection::Send ? "Sent file: " : "Received file: ", row.Name);
    line("Where: ", CellText(row, THistoryColumn::Where));
    line("Outcome: ", HistoryOutcomeText(row.Outcome));
    line("Reason: ", row.Reason);
    line("Service address: ", row.Service);
    line(row.Direction == THistoryDirection::Send ? "To: " : "From: ", row.Partner);
    line("Subject: ", row.Subject);
    line("Message id: ", row.MessageId);
    line("Size: ", row.Size < 0 ? "" : std::to_string(row.Size) + " bytes");
    line("SHA-256: ", row.Sha256);
    return text;
}

std::string THistoryController::FolderOf(const THistoryRow& row, std::string& note) {
    note.clear();
    if (row.Folder.empty()) {
        note = row.Name + " is in no folder: " + HistoryOutcomeText(row.Outcome) + ".";
        return "";
    }
    if (!DirectoryExists(row.Folder)) {
        note = "The folder " + row.Folder + " is no longer there.";
        return "";
    }
    // Files in the Inbox are taken on by other programs, and housekeeping clears the Sentbox:
    // the folder still tells where it went.
    if (!row.FinalName.empty() && !FileExists(row.Folder + row.FinalName))
        note = row.FinalName + " is no longer in " + row.Folder + ".";
    return row.Folder;
}
