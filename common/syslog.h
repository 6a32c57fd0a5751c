#pragma once

#include <functional>
#include <string>

#include "common/base/clock.h"

// The system log: one file per program run in the log folder, named by the start time
// (yyyymmddhhnnssz.log), holding one CR LF ended line per message:
// "[yyyy/MM/dd hh:nn:ss] message". Messages carry level 1 (what an operator follows) or 2
// (working detail); a message is written when its level is at most the run's log level.

// Writes one line, or nothing when the level is above the log level or no log is open
// (before OpenLog, after CloseLog, or with log level 0). Safe from any thread; lines never
// interleave. A message over 1000 characters is cut to its first 995, trimmed, plus "...".
// A write error is raised as std::runtime_error. A level-1 message also goes to the echo
// (EchoLogTo), log or no log.
void WriteLog(const std::string& message, int level);

// WriteLog for lines whose failure must not stop the work around them (the main thread's
// cycle control, end handlers, destructors): a write error is dropped.
void WriteLogQuietly(const std::string& message, int level) noexcept;

// Opens this run's log: nothing when logLevel <= 0; otherwise creates logPath (with its
// parents) when missing and the file logPath + start time + ".log" (replacing a file of that
// name, never following a symbolic link there). Returns false when the folder or file cannot
// be made (the run then logs nothing); error, when given, then receives the reason (and stays
// empty for log level 0).
bool OpenLog(const std::string& logPath, int logLevel, std::string* error = nullptr);
// Releases the file; later WriteLog calls write nothing.
void CloseLog();
// Why this run's log is not kept: the reason the last OpenLog failed, or the first write
// that failed since; empty while the log works (or is off by its level).
std::string LogFailure();
// Writes every level-1 message also to fd, one "message" line each, without the time a
// journal adds itself (the daemon's standard error); -1 ends it. Write errors there are
// ignored.
void EchoLogTo(int fd);
bool LogEchoes();
// The full name of the open log file, or empty text.
std::string LogFileName();
// The log file name for a start at value: yyyymmddhhnnssz + ".log".
std::string LogFileNameFor(TDateTime value);
// The line WriteLog writes for message at value, line end included.
std::string FormatLogLine(const std::string& message, TDateTime value);
