#include "gateway/cycle_report.h"

#include <cstdlib>

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// The number after prefix ("Send: 3 file(s) ..." gives 3).
long NumberAfter(const std::string& text, std::size_t prefixLength) {
    return std::strtol(text.c_str() + prefixLength, nullptr, 10);
}

}  // namespace

void TCycleReport::Fail(TCycleOutcome& outcome, const std::string& detail) {
    if (!outcome.Failed) outcome.Detail = detail;
    outcome.Failed = true;
}

void TCycleReport::Observe(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (StartsWith(message, "Send: ")) {
        if (Contains(message, " file(s) successfully sent")) send_.Count = NumberAfter(message, 6);
        // A failed upload is retried; only a file given up (moved to the Error folder or
        // left in the Outbox) or a lost connection makes the cycle a failure.
        else if (StartsWith(message, "Send: Remote connection not available") ||
                 StartsWith(message, "Send: Error on sending message(s).") ||
                 Contains(message, " stays in the Outbox"))
            Fail(send_, message);
    } else if (StartsWith(message, "Move file: ") || StartsWith(message, "Fail to copy file: ")) {
        // Only the send worker files anything in the Error folder under these words.
        ++send_.FailedCount;
        Fail(send_, message);
    } else if (StartsWith(message, "Receive: ") && Contains(message, " message(s) was/were")) {
        receive_.Count = NumberAfter(message, 9);
    } else if (StartsWith(message, "Recv: ")) {
        if (StartsWith(message, "Recv: The received message could not be stored") ||
            StartsWith(message, "Recv: Unable to move the received message")) {
            ++receive_.FailedCount;
            Fail(receive_, message);
        } else if (StartsWith(message, "Recv: Error occurred when receiving mails") ||
                   StartsWith(message, "Recv: Unable to receiving mails") ||
                   StartsWith(message, "Recv: Error on receiving message(s).")) {
            Fail(receive_, message);
        }
    }
}

TCycleOutcome TCycleReport::EndSend(TDateTime value) {
    std::lock_guard<std::mutex> lock(mutex_);
    TCycleOutcome outcome = send_;
    outcome.Time = value;
    send_ = TCycleOutcome{};
    return outcome;
}

TCycleOutcome TCycleReport::EndReceive(TDateTime value) {
    std::lock_guard<std::mutex> lock(mutex_);
    TCycleOutcome outcome = receive_;
    outcome.Time = value;
    receive_ = TCycleOutcome{};
    return outcome;
}

void TCycleReport::SendFailed(const std::string& detail) {
    std::lock_guard<std::mutex> lock(mutex_);
    Fail(send_, detail);
}

void TCycleReport::ReceiveFailed(const std::string& detail) {
    std::lock_guard<std::mutex> lock(mutex_);
    Fail(receive_, detail);
}
