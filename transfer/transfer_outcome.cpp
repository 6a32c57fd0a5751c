#include "transfer/transfer_outcome.h"

#include <algorithm>

long TSendOutcome::SentCount() const {
    return std::count_if(Files.begin(), Files.end(), [](const TFileOutcome& f) {
        return f.Fate == TFileFate::SentAndFiled || f.Fate == TFileFate::SentKeptAsSent ||
               f.Fate == TFileFate::SentLeft;
    });
}

long TSendOutcome::ErrorCount() const {
    return std::count_if(Files.begin(), Files.end(),
                         [](const TFileOutcome& f) { return f.Fate == TFileFate::MovedToError; });
}

std::string TSendOutcome::FirstFailure() const {
    if (!Failure.empty() || FatalError.empty()) return Failure;
    return "Send: Error on sending message(s). " + FatalError;
}

bool FileFailed(TFileFate fate) {
    return fate != TFileFate::SentAndFiled && fate != TFileFate::Skipped;
}

std::string FileOutcomeText(const TFileOutcome& file) {
    switch (file.Fate) {
        case TFileFate::SentAndFiled:
            return "Send: " + file.Name + " was sent and filed as " + file.FiledAs;
        case TFileFate::SentKeptAsSent:
            return "Send: " + file.Name + " was sent and is kept in the Outbox as " +
                   file.FiledAs.substr(file.FiledAs.rfind('/') + 1) + ". Reason: " + file.Reason;
        case TFileFate::SentLeft:
            return "Send: " + file.Name +
                   " was sent but stays in the Outbox. Reason: " + file.Reason;
        case TFileFate::MovedToError:
            return "Move file: " + file.Name + " to " +
                   file.FiledAs.substr(0, file.FiledAs.rfind('/') + 1);
        case TFileFate::LeftInOutbox:
            return "Send: " + file.Name + " stays in the Outbox. Reason: " + file.Reason;
        case TFileFate::Skipped:
            break;
    }
    return "Send: " + file.Name + " was skipped. Reason: " + file.Reason;
}

namespace {

bool NotStoredWhole(TMessageFate fate) {
    return fate == TMessageFate::KeptInError || fate == TMessageFate::KeptInWorkFolder ||
           fate == TMessageFate::Damaged;
}

}  // namespace

long TReceiveOutcome::NotStoredCount() const {
    return std::count_if(Messages.begin(), Messages.end(),
                         [](const TMessageOutcome& m) { return NotStoredWhole(m.Fate); });
}

std::string TReceiveOutcome::FirstFailure() const {
    for (const TMessageOutcome& m : Messages)
        if (NotStoredWhole(m.Fate)) return m.Reason;
    // A message the run could not take stays in the mailbox; the status says why.
    for (const TMessageOutcome& m : Messages)
        if (m.Fate == TMessageFate::LeftInMailbox && !m.Reason.empty()) return m.Reason;
    if (!Failure.empty() || FatalError.empty()) return Failure;
    return "Recv: Error on receiving message(s). " + FatalError;
}
