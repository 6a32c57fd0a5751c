#include "gateway/history_rows.h"

#include "common/base/fileutil.h"
#include "common/lookups.h"
#include "common/settings.h"

namespace {

// Fills the place a file ended at and what its bytes were.
void EndedAt(THistoryRow& row, const std::string& path,
             const std::map<std::string, TFileDigest>& digests) {
    if (path.empty()) return;
    row.FinalName = ExtractFileName(path);
    row.Folder = ExtractFilePath(path);
    const auto digest = digests.find(path);
    if (digest == digests.end()) return;
    row.Size = digest->second.Size;
    row.Sha256 = digest->second.Sha256;
}

}  // namespace

std::vector<THistoryRow> SendHistoryRows(const TSendOutcome& outcome, const TSettings& settings,
                                         TDateTime ended) {
    std::vector<THistoryRow> rows;
    for (const TFileOutcome& file : outcome.Files) {
        THistoryRow row;
        switch (file.Fate) {
            case TFileFate::SentAndFiled:
                row.Outcome = THistoryOutcome::Sent;
                break;
            case TFileFate::SentKeptAsSent:
                row.Outcome = THistoryOutcome::KeptAsSent;
                break;
            case TFileFate::SentLeft:
                row.Outcome = THistoryOutcome::SentLeft;
                break;
            case TFileFate::MovedToError:
                row.Outcome = outcome.MayBeDelivered.count(file.FiledAs) > 0
                                  ? THistoryOutcome::PossiblyDelivered
                                  : THistoryOutcome::ToError;
                break;
            case TFileFate::LeftInOutbox:
                row.Outcome = THistoryOutcome::LeftInOutbox;
                break;
            case TFileFate::Skipped:
                continue;  // gone before its turn: nothing happened to it here
        }
        row.Time = ended;
        row.Direction = THistoryDirection::Send;
        row.Name = file.Name;
        row.Reason = file.Reason;
        row.Service = settings.CompanyInfo.EmailAddr;
        std::string service, webMailSender;
        LookupService(settings, file.Name, service, row.Partner, webMailSender);
        if (file.Fate == TFileFate::SentLeft)
            EndedAt(row, settings.ProgramInfo.OutboxPath + file.Name, outcome.Digests);
        else if (file.Fate != TFileFate::LeftInOutbox)
            EndedAt(row, file.FiledAs, outcome.Digests);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<THistoryRow> ReceiveHistoryRows(const TReceiveOutcome& outcome,
                                            const TSettings& settings, TDateTime ended) {
    std::vector<THistoryRow> rows;
    for (const TMessageOutcome& message : outcome.Messages) {
        THistoryRow base;
        base.Time = ended;
        base.Direction = THistoryDirection::Receive;
        base.Service = settings.CompanyInfo.EmailAddr;
        base.MessageId = message.Id;
        base.Reason = message.Reason;
        const auto head = outcome.Heads.find(message.Id);
        if (head != outcome.Heads.end()) {
            base.Partner = head->second.From;
            base.Subject = head->second.Subject;
        }
        // Each file stored from it, then the message itself when it did not arrive whole.
        for (const std::string& path : message.Files) {
            THistoryRow row = base;
            row.Outcome = message.Fate == TMessageFate::Stored ? THistoryOutcome::Stored
                                                               : THistoryOutcome::StoredInPart;
            EndedAt(row, path, outcome.Digests);
            row.Name = row.FinalName;
            rows.push_back(std::move(row));
        }
        THistoryRow row = base;
        switch (message.Fate) {
            case TMessageFate::Stored:
                if (!message.Files.empty()) continue;
                row.Outcome = THistoryOutcome::Stored;  // a message that carried no file
                break;
            case TMessageFate::KeptInError:
            case TMessageFate::Damaged:
                row.Outcome = THistoryOutcome::KeptInError;
                break;
            case TMessageFate::KeptInWorkFolder:
                row.Outcome = THistoryOutcome::KeptInWorkFolder;
                break;
            case TMessageFate::LeftInMailbox:
                row.Outcome = THistoryOutcome::LeftInMailbox;
                break;
        }
        EndedAt(row, message.Where, outcome.Digests);
        row.Name = row.FinalName;
        rows.push_back(std::move(row));
    }
    return rows;
}
