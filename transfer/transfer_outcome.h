#pragma once

// What a transfer run hands back to its owner: per file or message what happened, where it
// ended and why, and the run's own failure. Everything the operator sees of a run (status
// file, tray, notifications, Failed Files) reads these values, never the log.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/file_digest.h"

enum class TFileFate {
    SentAndFiled,    // uploaded and moved to the Sentbox
    SentKeptAsSent,  // uploaded; the Sentbox could not take it, kept in the Outbox as ".sent"
    SentLeft,        // uploaded; could not be moved or renamed, still in the Outbox
    MovedToError,    // given up and moved to the Error folder
    LeftInOutbox,    // not sent; stays in the Outbox for a later scan
    Skipped          // gone before its turn came
};

struct TFileOutcome {
    std::string Name;  // the file name in the Outbox
    TFileFate Fate = TFileFate::Skipped;
    std::string Reason;   // why it did not simply go; empty for a plain send
    std::string FiledAs;  // the path it ended at (Sentbox, Error folder, ".sent" name)
};

// What became of a file, in the words of its log line ("Move file: A1.TXT to /x/ERROR/").
std::string FileOutcomeText(const TFileOutcome& file);
// Whether the file did not simply go: it is in the Error folder, left, or kept as ".sent".
bool FileFailed(TFileFate fate);

struct TSendOutcome {
    std::vector<TFileOutcome> Files;
    // The run's first failure, in the log's words; empty when every file went.
    std::string Failure;
    // An error that escaped the worker; empty when it ended normally.
    std::string FatalError;
    // The bytes of each file sent or given up, read where it ended (FiledAs; the Outbox path
    // of a file sent but left there) as soon as it got there, for the transfer history.
    std::map<std::string, TFileDigest> Digests;
    // Where files ended (FiledAs) that were given up after an upload that went out whole
    // without an answer: the service may have them.
    std::set<std::string> MayBeDelivered;

    long SentCount() const;
    long ErrorCount() const;  // files moved to the Error folder
    // Failure, or the error that ended the run.
    std::string FirstFailure() const;
};

enum class TMessageFate {
    Stored,            // what it carries is in the Inbox
    KeptInError,       // could not be stored; the raw message is in the Error folder
    Damaged,           // ended early: what it carries is stored as far as it goes, and the
                       // whole raw message is in the Error folder
    KeptInWorkFolder,  // could not be stored nor moved; its copy waits in the Inbox work folder
    LeftInMailbox      // not taken: it stays in the mailbox for a later run
};

struct TMessageOutcome {
    std::string Id;  // the mailbox's message id
    TMessageFate Fate = TMessageFate::LeftInMailbox;
    std::vector<std::string> Files;  // the files stored from it
    std::string Where;               // the Error or work-folder path of a kept message
    std::string Reason;
};

struct TReceiveOutcome {
    std::vector<TMessageOutcome> Messages;
    long Received = 0;  // messages stored, as the summary counts
    // The run's own failure (count failed, the line went down, the run could not complete),
    // in the log's words; empty when none. FailureReason is its cause alone, when it has one.
    // A message that could not be stored is told in Messages, not here.
    std::string Failure;
    std::string FailureReason;
    std::string FatalError;
    // For the transfer history: the bytes of each file stored (by its path) and of each raw
    // message kept (by Where), read as soon as they were written; and the sender and subject
    // of each message read, by message id.
    std::map<std::string, TFileDigest> Digests;
    struct THead {
        std::string From;
        std::string Subject;
    };
    std::map<std::string, THead> Heads;

    // Messages kept in the Error folder or the work folder: not stored whole.
    long NotStoredCount() const;
    // The first message not stored whole, else the first one left in the mailbox for a
    // reason, else Failure, else the error that ended the run.
    std::string FirstFailure() const;
};
