#pragma once

// One row of the transfer history: what became of one file sent or one file or message
// received, in the words the operator searches for.

#include <cstdint>
#include <string>

#include "common/base/clock.h"

enum class THistoryDirection { Send, Receive };

enum class THistoryOutcome {
    Sent,               // sent and filed in the Sentbox
    KeptAsSent,         // sent; kept in the Outbox as ".sent"
    SentLeft,           // sent; still in the Outbox under its name
    ToError,            // not sent; moved to the Error folder
    PossiblyDelivered,  // the request went out whole, no answer came; in the Error folder
    LeftInOutbox,       // not sent; stays in the Outbox
    Stored,             // received and stored
    StoredInPart,       // stored as far as its message went; the message is in Error
    KeptInError,        // a received message that could not be stored, in the Error folder
    KeptInWorkFolder,   // a received message waiting in the Inbox work folder
    LeftInMailbox       // not taken from the mailbox
};

struct THistoryRow {
    int64_t Id = 0;  // given by the store
    TDateTime Time = 0;
    THistoryDirection Direction = THistoryDirection::Send;
    std::string Name;       // the Outbox file name, or the received file's stored name
    std::string FinalName;  // the name it was finally given in Folder
    std::string Folder;     // where it ended, ending with "/"; empty when nowhere
    std::string Service;    // our own address at the service
    std::string Partner;    // the receiver of a sent file, the sender of a received one
    int64_t Size = -1;      // -1 when unknown
    std::string Sha256;     // of the bytes sent or stored; empty when unknown
    THistoryOutcome Outcome = THistoryOutcome::Sent;
    std::string Reason;
    std::string MessageId;  // received rows only
    std::string Subject;    // received rows only
};

// The outcome's words ("sent", "kept as .sent", "to Error", ...), as stored and shown.
const char* HistoryOutcomeText(THistoryOutcome outcome);
// The outcome of those words; false for words no outcome has.
bool HistoryOutcomeFromText(const std::string& text, THistoryOutcome& outcome);
const char* HistoryDirectionText(THistoryDirection direction);  // "send" or "receive"
bool HistoryDirectionFromText(const std::string& text, THistoryDirection& direction);
// Whether the file or message did not simply go or arrive.
bool HistoryOutcomeFailed(THistoryOutcome outcome);
// Whether the bytes of the row went out or came in (sent, kept as sent, stored...).
bool HistoryOutcomeTransferred(THistoryOutcome outcome);
