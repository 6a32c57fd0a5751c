#include "history/history_recorder.h"

#include <cstdio>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"

THistoryRecorder::THistoryRecorder(std::string path, TLog log)
    : path_(std::move(path)), log_(std::move(log)) {}

THistoryRecorder::~THistoryRecorder() = default;

void THistoryRecorder::SetAside(const std::string& reason) {
    store_.reset();
    // Named after the moment, so an earlier damaged file is never replaced.
    const std::string stamp = FormatDateTime("yyyyMMdd-hhnnss", Now());
    std::string aside = path_ + ".damaged-" + stamp;
    for (int n = 1; FileExists(aside); ++n)
        aside = path_ + ".damaged-" + stamp + "-" + std::to_string(n);
    // Its log and index go with it: replayed onto a new database they would damage that too.
    const bool moved = std::rename(path_.c_str(), aside.c_str()) == 0;
    for (const char* part : {"-wal", "-shm"})
        if (std::rename((path_ + part).c_str(), (aside + part).c_str()) != 0)
            std::remove((path_ + part).c_str());
    if (log_)
        log_(moved ? "History: " + reason + "; the file was set aside as " + aside +
                         " and a new history is started."
                   : "History: " + reason + "; the file could not be set aside.");
}

bool THistoryRecorder::Run(const std::function<void(THistoryStore&)>& work) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (!store_) {
                // The log folder exists only once a log was written into it.
                ForceDirectories(ExtractFilePath(path_));
                store_ = std::make_unique<THistoryStore>(path_);
            }
            work(*store_);
            problem_.clear();
            return true;
        } catch (const EHistoryError& e) {
            store_.reset();
            if (e.Damaged() && attempt == 0) {
                SetAside(e.what());
                continue;
            }
            if (problem_.empty() && log_) log_(std::string(e.what()) + "; the transfers go on.");
            problem_ = e.what();
            return false;
        } catch (const std::exception& e) {
            store_.reset();
            if (problem_.empty() && log_)
                log_("History " + path_ + ": " + e.what() + "; the transfers go on.");
            problem_ = e.what();
            return false;
        }
    }
    return false;
}

bool THistoryRecorder::Record(const std::vector<THistoryRow>& rows) {
    if (rows.empty()) return true;
    return Run([&rows](THistoryStore& store) { store.Add(rows); });
}

long THistoryRecorder::Purge(TDateTime cutOff) {
    long removed = -1;
    Run([&](THistoryStore& store) { removed = store.PurgeBefore(cutOff); });
    return removed;
}
