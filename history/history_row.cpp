#include "history/history_row.h"

#include <iterator>

namespace {

struct TOutcomeWords {
    THistoryOutcome Outcome;
    const char* Text;
    bool Failed;
    bool Transferred;
};

const TOutcomeWords kOutcomes[] = {
    {THistoryOutcome::Sent, "sent", false, true},
    {THistoryOutcome::KeptAsSent, "kept as .sent", true, true},
    {THistoryOutcome::SentLeft, "sent, left in the Outbox", true, true},
    {THistoryOutcome::ToError, "to Error", true, false},
    {THistoryOutcome::PossiblyDelivered, "possibly delivered", true, true},
    {THistoryOutcome::LeftInOutbox, "left in the Outbox", true, false},
    {THistoryOutcome::Stored, "stored", false, true},
    {THistoryOutcome::StoredInPart, "stored in part", true, true},
    {THistoryOutcome::KeptInError, "kept in Error", true, true},
    {THistoryOutcome::KeptInWorkFolder, "kept in the work folder", true, true},
    {THistoryOutcome::LeftInMailbox, "left in the mailbox", true, false},
};

const TOutcomeWords& WordsOf(THistoryOutcome outcome) {
    for (const TOutcomeWords& words : kOutcomes)
        if (words.Outcome == outcome) return words;
    return kOutcomes[0];
}

}  // namespace

const char* HistoryOutcomeText(THistoryOutcome outcome) { return WordsOf(outcome).Text; }

bool HistoryOutcomeFromText(const std::string& text, THistoryOutcome& outcome) {
    for (const TOutcomeWords& words : kOutcomes)
        if (text == words.Text) {
            outcome = words.Outcome;
            return true;
        }
    return false;
}

const char* HistoryDirectionText(THistoryDirection direction) {
    return direction == THistoryDirection::Send ? "send" : "receive";
}

bool HistoryDirectionFromText(const std::string& text, THistoryDirection& direction) {
    if (text == "send" || text == "sent" || text == "out") {
        direction = THistoryDirection::Send;
        return true;
    }
    if (text == "receive" || text == "received" || text == "in") {
        direction = THistoryDirection::Receive;
        return true;
    }
    return false;
}

bool HistoryOutcomeFailed(THistoryOutcome outcome) { return WordsOf(outcome).Failed; }

bool HistoryOutcomeTransferred(THistoryOutcome outcome) { return WordsOf(outcome).Transferred; }
