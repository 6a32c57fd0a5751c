#pragma once

// Writes the transfer history for the gateway. A history that cannot be written never
// stops or fails a transfer: the trouble is logged once (until a write works again) and
// told by Problem() for the status file. A damaged database is set aside under a new name
// and a new one is started.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/history_store.h"

class THistoryRecorder {
  public:
    using TLog = std::function<void(const std::string& line)>;
    // path: the database file; log: writes one line to the system log.
    THistoryRecorder(std::string path, TLog log);
    ~THistoryRecorder();

    // Adds rows; false (and never an exception) when they could not be written.
    bool Record(const std::vector<THistoryRow>& rows);
    // Removes rows older than cutOff; the count, or -1 when the history could not be purged.
    long Purge(TDateTime cutOff);
    // Why the last write failed; empty when it worked.
    const std::string& Problem() const { return problem_; }
    const std::string& Path() const { return path_; }

  private:
    // Runs work on the store, setting a damaged database aside and trying once more.
    bool Run(const std::function<void(THistoryStore&)>& work);
    void SetAside(const std::string& reason);

    std::string path_;
    TLog log_;
    std::unique_ptr<THistoryStore> store_;
    std::string problem_;
};
