#include <vector>

#include "dialup/ras_line.h"

namespace {

// A scripted line: a fixed list of timed events, the state at a moment being the last event
// due by then.
class TScriptedLine : public IRasLine {
  public:
    struct TEvent {
        int64_t atMs;
        int state;
        unsigned error;
    };

    TScriptedLine(std::vector<TEvent> events, int hangUpMs)
        : events_(std::move(events)), hangUpMs_(hangUpMs) {}

    void Poll(int64_t nowMs, const std::function<void(int, unsigned)>& notify, int& state,
              unsigned& error) override {
        // After a hang-up the line reports disconnected until it is gone.
        std::size_t due = 0;
        while (due < events_.size() && events_[due].atMs <= nowMs &&
               (hungUpAtMs_ < 0 || events_[due].atMs <= hungUpAtMs_))
            ++due;
        for (; told_ < due; ++told_) notify(events_[told_].state, events_[told_].error);
        if (hungUpAtMs_ >= 0) {
            state = RASCS_Disconnected, error = 0;
            return;
        }
        state = due == 0 ? RASCS_OpenPort : events_[due - 1].state;
        error = due == 0 ? 0 : events_[due - 1].error;
    }

    void HangUp(int64_t nowMs) override {
        if (hungUpAtMs_ < 0) hungUpAtMs_ = nowMs;
    }

    bool Gone(int64_t nowMs) override {
        return hungUpAtMs_ >= 0 && nowMs >= hungUpAtMs_ + hangUpMs_;
    }

  private:
    std::vector<TEvent> events_;
    int hangUpMs_;
    std::size_t told_ = 0;
    int64_t hungUpAtMs_ = -1;
};

}  // namespace

std::unique_ptr<IRasLine> MakeSimulatedLine(const TRasEntry& entry, TSimOutcome outcome,
                                            int64_t nowMs) {
    std::vector<TScriptedLine::TEvent> events;
    int64_t at = nowMs;
    for (const TSimStep& step : entry.SimStates) {
        events.push_back({at, step.state, 0});
        at += step.delayMs;
    }
    switch (outcome) {
        case TSimOutcome::Connected:
            events.push_back({at, RASCS_Connected, 0});
            if (entry.SimDropAfter > 0)
                events.push_back({at + entry.SimDropAfter * int64_t{1000}, RASCS_Disconnected,
                                  ERROR_PORT_DISCONNECTED});
            break;
        case TSimOutcome::Busy:
            events.push_back({at, RASCS_Disconnected, ERROR_LINE_BUSY});
            break;
        case TSimOutcome::NoAnswer:
            events.push_back({at, RASCS_Disconnected, ERROR_NO_ANSWER});
            break;
        case TSimOutcome::Error:
            events.push_back({at, RASCS_Disconnected, entry.SimError});
            break;
        case TSimOutcome::Fail:
        case TSimOutcome::Never:
            break;
    }
    return std::make_unique<TScriptedLine>(std::move(events), entry.SimHangUpMs);
}

std::unique_ptr<IRasLine> MakeOtherProgramLine(int64_t nowMs, int dropAfterSeconds) {
    std::vector<TScriptedLine::TEvent> events{{nowMs, RASCS_Connected, 0}};
    if (dropAfterSeconds > 0)
        events.push_back({nowMs + dropAfterSeconds * int64_t{1000}, RASCS_Disconnected,
                          ERROR_PORT_DISCONNECTED});
    return std::make_unique<TScriptedLine>(std::move(events), 0);
}
