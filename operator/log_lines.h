#pragma once

// Reading the system log back: its lines, today's files, and following a file as it grows.

#include <cstdint>
#include <string>
#include <vector>

#include "common/base/clock.h"

struct TLogLine {
    std::string Stamp;    // "yyyy/MM/dd hh:nn:ss", empty when the line has none
    std::string Message;  // the text after the stamp
};

// Splits "[stamp] message"; a line without a stamp is all message.
TLogLine ParseLogLine(const std::string& line);

// The log records no level, so the view tells the kinds apart by their text: indented lines
// are the detail of the line above; lines reporting a failure are problems.
enum class TLogKind { Detail, Info, Problem };
TLogKind KindOfLogLine(const std::string& message);

// Which lines the log view shows: all, all but the detail, or the problems only.
enum class TLogFilter { All, NoDetail, Problems };
// Whether line passes filter and holds search (case-insensitive; empty matches all).
bool LogLineShown(const TLogLine& line, TLogFilter filter, const std::string& search);

// The log files of logFolder written by runs started on day, oldest first (full paths).
std::vector<std::string> LogFilesOfDay(const std::string& logFolder, TDateTime day);
// Every log file of logFolder, newest first (full paths).
std::vector<std::string> LogFilesNewestFirst(const std::string& logFolder);

// Reads a growing file line by line: each call returns the lines completed since the last
// one (line ends cut off); a line still being written waits for its end. A file that was
// replaced or cut shorter is read again from its start.
class TLogFollower {
  public:
    explicit TLogFollower(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }
    std::vector<std::string> ReadNew();
    // Starts at offset of the file as it is now, as if what lies before was read already.
    void Skip(uint64_t offset);

  private:
    std::string path_;
    uint64_t offset_ = 0;
    uint64_t inode_ = 0;
    std::string partial_;
};

// Every complete line of a file (line ends cut off); empty when it cannot be read.
std::vector<std::string> ReadLogLines(const std::string& path);
