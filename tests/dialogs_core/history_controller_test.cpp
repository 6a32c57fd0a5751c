#include "dialogs/core/history_controller.h"

#include <gtest/gtest.h>

#include "common/test_support.h"
#include "support/history_entry.h"
#include "support/temp_dir.h"

namespace {

THistoryFields Asked(std::string search, std::string name = "", std::string partner = "",
                     std::string from = "", std::string to = "",
                     THistoryFields::TDirection direction = THistoryFields::TDirection::Both,
                     bool failedOnly = false) {
    return {search, name, partner, from, to, direction, failedOnly};
}

std::string ShownNames(const THistoryController& controller) {
    std::string names;
    for (const THistoryRow& row : controller.Rows()) names += (names.empty() ? "" : " ") + row.Name;
    return names;
}

}  // namespace

// What the History window finds and in which order, field by field and column by column,
// against a history of known rows.
TEST(HistoryController, FiltersFromTheWindowsFieldsAndSortsByAnyColumn) {
    TTempDir dir;
    const std::string path = dir.Path() + kHistoryFileName;
    THistoryController controller(path);
    EXPECT_FALSE(controller.Reload());
    EXPECT_EQ(controller.Message(), "No transfer history yet: nothing was sent or received.");

    using D = THistoryDirection;
    using O = THistoryOutcome;
    std::vector<THistoryRow> rows = {
        HistoryEntry("A4711.TXT", 1, 10, D::Send, O::Sent, "/s/", "orders@acme.example", 300),
        HistoryEntry("B17.TXT", 2, 9, D::Send, O::ToError, "/e/", "billing@beta.example", 50),
        HistoryEntry("INV-88.pdf", 2, 12, D::Receive, O::Stored, "/i/", "bills@acme.example", 4000),
        HistoryEntry("C5.TXT", 3, 8, D::Send, O::PossiblyDelivered, "/e/", "orders@acme.example",
                     20),
        HistoryEntry("7713", 3, 9, D::Receive, O::LeftInMailbox, "", "", -1),
        HistoryEntry("a4711.txt", 3, 10, D::Send, O::Sent, "/s/", "orders@acme.example", 300),
    };
    rows[2].Subject = "Invoice 88";
    rows[4].FinalName = "";
    THistoryStore(path).Add(rows);

    using F = THistoryFields::TDirection;
    using C = THistoryColumn;
    struct TCase {
        const char* what;
        THistoryFields fields;
        C column;
        bool ascending;
        const char* names;  // in the order shown; null when the fields are refused
    };
    const TCase cases[] = {
        {"nothing set: newest first",
         {},
         C::Time,
         false,
         "a4711.txt 7713 C5.TXT INV-88.pdf B17.TXT A4711.TXT"},
        {"oldest first", {}, C::Time, true, "A4711.TXT B17.TXT INV-88.pdf C5.TXT 7713 a4711.txt"},
        {"search finds the subject", Asked(" invoice "), C::Time, false, "INV-88.pdf"},
        {"name with wildcards, any case", Asked("", "a47*"), C::Time, false, "a4711.txt A4711.TXT"},
        {"received only", Asked("", "", "", "", "", F::Received), C::Time, false,
         "7713 INV-88.pdf"},
        {"one whole day", Asked("", "", "", "2026-12-02", "2026-12-02"), C::Time, false,
         "INV-88.pdf B17.TXT"},
        {"from a time on", Asked("", "", "", "2026-12-02 10:00"), C::Time, true,
         "INV-88.pdf C5.TXT 7713 a4711.txt"},
        {"all together", Asked("", "", "acme", "", "", F::Sent, true), C::Time, false, "C5.TXT"},
        {"a from that is no date", Asked("", "", "", "12/02/2026"), C::Time, false, nullptr},
        {"a to that is no date", Asked("", "", "", "", "2026-13-01"), C::Time, false, nullptr},
        // Sizes as numbers, unknown first; equal sizes newest first.
        {"by size", {}, C::Size, true, "7713 C5.TXT B17.TXT a4711.txt A4711.TXT INV-88.pdf"},
        {"by name, any case",
         {},
         C::Name,
         true,
         "7713 a4711.txt A4711.TXT B17.TXT C5.TXT INV-88.pdf"},
        {"by outcome's words, down",
         {},
         C::Outcome,
         false,
         "B17.TXT INV-88.pdf a4711.txt A4711.TXT C5.TXT 7713"},
        {"by partner, filtered", Asked("", "", "", "", "", F::Sent), C::Partner, true,
         "B17.TXT a4711.txt C5.TXT A4711.TXT"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        controller.Fields = c.fields;
        controller.SortBy(c.column, c.ascending);
        const bool found = controller.Reload();
        EXPECT_EQ(found, c.names != nullptr);
        EXPECT_EQ(ShownNames(controller), c.names ? c.names : "");
        if (!c.names) {
            EXPECT_NE(controller.Message().find("needs a date"), std::string::npos);
        }
    }

    // A row written while the window shows the history is found again by its id, and the
    // order chosen holds for it.
    controller.Fields = {};
    controller.SortBy(C::Size, false);
    ASSERT_TRUE(controller.Reload());
    const int64_t invoiceId = controller.Rows()[0].Id;
    THistoryStore(path).Add({HistoryEntry("BIG.TXT", 4, 1, D::Send, O::Sent, "/s/", "x@y", 9000)});
    ASSERT_TRUE(controller.Reload());
    EXPECT_EQ(controller.Rows()[0].Name, "BIG.TXT");
    EXPECT_EQ(controller.IndexOf(invoiceId), 1);
    EXPECT_EQ(controller.IndexOf(-5), -1);
    EXPECT_EQ(controller.Message(), "7 rows");

    // More rows than a window shows: the newest, and the hint to narrow.
    std::vector<THistoryRow> many(THistoryController::kMaxRows,
                                  HistoryEntry("OLD.TXT", 1, 1, D::Send, O::Sent, "/s/", "x@y", 1));
    THistoryStore(path).Add(many);
    controller.SortBy(C::Time, false);
    ASSERT_TRUE(controller.Reload());
    EXPECT_EQ(controller.Rows().size(), THistoryController::kMaxRows);
    EXPECT_EQ(controller.Rows()[0].Name, "BIG.TXT");
    EXPECT_NE(controller.Message().find("narrow the search"), std::string::npos);

    // A file that is no database is told, not shown as an empty history.
    WriteFile(path, std::string(4096, 'x'));
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    EXPECT_FALSE(controller.Reload());
    EXPECT_TRUE(controller.Rows().empty());
    EXPECT_FALSE(controller.Message().empty());
}
