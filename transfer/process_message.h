#pragma once

// What a received message carries, stored: the attachments of ordinary mail go to the Inbox
// or to its sub-folder for the attachment's application reference; an "AUTOUPGRADE" message
// is a new release of this program (auto_upgrade.h).

#include <string>
#include <vector>

struct TSettings;
class TAttachedFile;
class TOrvMsg;

// The per-kind counts of one receive run, shown in its summary line. Encrypted mail and
// receipts are kinds this system does not take apart; their counts stay 0.
struct TMessageCounters {
    int AutoUpgrade = 0;
    int Email = 0;
    int Encrypted = 0;
    int Receipt = 0;
};

// Classifies message, counts it and stores what it carries. Raises an error when something
// could not be stored (the remaining attachments are then not saved) or when an auto-upgrade
// failed; the error is logged here as "Receive: " + its text before it leaves.
void ProcessMessage(TOrvMsg& message, TMessageCounters& counters);
// The same on the settings of a receive run; storedFiles, when given, gets the path of each
// file stored. resume is for a copy an earlier run may have stored in part before it was
// killed: an attachment whose bytes are already in its folder, under its name or one of the
// free names given for it, is not stored again (that path is told).
void ProcessMessage(const TSettings& settings, TOrvMsg& message, TMessageCounters& counters,
                    std::vector<std::string>* storedFiles = nullptr, bool resume = false);

// Whether a name from a received message may be used as a file name in one of our folders:
// not empty, not "." or "..", without "/", "\" or NUL. Anything else could write outside the
// folder, or onto the folder itself.
bool IsPlainFileName(const std::string& name);

// Saves the attachment's bytes in folder, whole or not at all, as its FileName or, when a file
// of that name is there, under the first free name (NAME_1.EXT, ...); never replaces a file.
// Returns the path used. A name that is not plain is refused with an error.
std::string SaveAttachment(const TAttachedFile& file, const std::string& folder);
// The path of a file in folder with the attachment's bytes, under its FileName or NAME_1.EXT,
// NAME_2.EXT, ... (up to the first free one); empty when there is none.
std::string FindStoredAttachment(const TAttachedFile& file, const std::string& folder);

// Creates folder with its missing parents, and flushes each new folder's entry to disk so a
// file written into it survives a power cut together with its folder. True when the folder
// exists afterwards.
bool ForceDirectoriesSynced(const std::string& folder);
