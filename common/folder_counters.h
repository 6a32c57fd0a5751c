#pragma once

// The three folder counters of the main window.
//
// Counting may run on any thread (a worker asks for it after each file); the counts then
// go to the window's counter sink, always on the main thread (through MainThread()).

#include <functional>
#include <string>

struct TSettings;

struct TFolderCounts {
    long Inbox = 0;
    long Outbox = 0;
    long Error = 0;
};

// Files in folder and, recursively, in its sub-folders. Hidden entries (names starting
// with ".") are neither counted nor entered; symbolic links to folders are not followed.
long CountFilesRecursive(const std::string& folder);

// Regular files directly in folder (no sub-folders, no hidden files) whose extension,
// leading dot included (".TXT", "" for none), passes accept.
long CountFilesWithExtension(const std::string& folder,
                             const std::function<bool(const std::string&)>& accept);

// "Inbox (12)".
std::string CounterCaption(const std::string& name, long count);

// Inbox, Outbox and Error counts of the loaded settings; Outbox and Error files count only
// when their extension is enabled for import.
TFolderCounts CountFolders();
TFolderCounts CountFolders(const TSettings& settings);

using TCounterSink = std::function<void(const TFolderCounts&)>;

// The window hands in its sink when shown and takes it back when it closes.
void SetCounterSink(TCounterSink sink);

// Counts the folders on the calling thread and hands the counts to the sink on the main
// thread: at once when called there, else through a posted call.
void RefreshCounters();
// The same for a worker, on the settings of its cycle.
void RefreshCounters(const TSettings& settings);
