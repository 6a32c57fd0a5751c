#include "gateway/gateway_status.h"

#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>

#include "common/base/atomic_file.h"
#include "common/base/datetime.h"
#include "common/base/fileutil.h"

namespace {

// Local time as "yyyy-mm-ddThh:nn:ss"; null for 0 (never).
std::string TimeJson(TDateTime value) {
    if (value == 0) return "null";
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(value, y, mo, d, h, mi, s, ms);
    char text[40];
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02dT%02d:%02d:%02d\"", y, mo, d, h, mi, s);
    return text;
}

std::string TextsJson(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (const std::string& text : texts) out += (out.size() > 1 ? ", " : "") + JsonString(text);
    return out + "]";
}

std::string OutcomeJson(const TCycleOutcome& outcome, const char* countName,
                        const char* failedName) {
    const char* result = outcome.Time == 0 ? "none" : outcome.Failed ? "failed" : "ok";
    return std::string("{\"time\": ") + TimeJson(outcome.Time) + ", \"result\": \"" + result +
           "\", \"" + countName + "\": " + std::to_string(outcome.Count) + ", \"" + failedName +
           "\": " + std::to_string(outcome.FailedCount) +
           ", \"detail\": " + JsonString(outcome.Detail) + "}";
}

// A JSON value as far as the status needs one.
struct TJson {
    enum TKind { Null, Bool, Number, String, Object, Array } Kind = Null;
    bool BoolValue = false;
    double NumberValue = 0;
    std::string StringValue;
    std::map<std::string, TJson> Members;
    std::vector<TJson> Items;
};

class TJsonReader {
  public:
    explicit TJsonReader(const std::string& text) : text_(text) {}

    TJson Document() {
        TJson value = Value(0);
        Space();
        if (at_ != text_.size()) Fail("text after the value");
        return value;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) {
        throw std::runtime_error(what + " at offset " + std::to_string(at_));
    }
    void Space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Take(char c) {
        Space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) Fail(std::string("'") + c + "' expected");
    }
    bool Word(const char* word) {
        const std::string w(word);
        if (text_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }
    TJson Value(int depth) {
        if (depth > 16) Fail("nested too deeply");
        Space();
        if (at_ >= text_.size()) Fail("value expected");
        TJson value;
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            value.Kind = TJson::Object;
            if (Take('}')) return value;
            do {
                Space();
                std::string name = StringText();
                Expect(':');
                value.Members[name] = Value(depth + 1);
            } while (Take(','));
            Expect('}');
        } else if (c == '[') {
            ++at_;
            value.Kind = TJson::Array;
            if (Take(']')) return value;
            do value.Items.push_back(Value(depth + 1));
            while (Take(','));
            Expect(']');
        } else if (c == '"') {
            value.Kind = TJson::String;
            value.StringValue = StringText();
        } else if (Word("true") || Word("false")) {
            value.Kind = TJson::Bool;
            value.BoolValue = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
        } else if (Word("null")) {
            value.Kind = TJson::Null;
        } else {
            const char* begin = text_.c_str() + at_;
            char* end = nullptr;
            value.NumberValue = std::strtod(begin, &end);
            if (end == begin) Fail("value expected");
            value.Kind = TJson::Number;
            at_ += static_cast<std::size_t>(end - begin);
        }
        return value;
    }
    std::string StringText() {
        if (at_ >= text_.size() || text_[at_] != '"') Fail("string expected");
        ++at_;
        std::string out;
        while (true) {
            if (at_ >= text_.size()) Fail("unterminated string");
            const char c = text_[at_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) Fail("unterminated string");
            const char e = text_[at_++];
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    if (at_ + 4 > text_.size()) Fail("bad escape");
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const char h = text_[at_++];
                        code <<= 4;
                        if (h >= '0' && h <= '9')
                            code |= static_cast<unsigned>(h - '0');
                        else if (h >= 'a' && h <= 'f')
                            code |= static_cast<unsigned>(h - 'a' + 10);
                        else if (h >= 'A' && h <= 'F')
                            code |= static_cast<unsigned>(h - 'A' + 10);
                        else
                            Fail("bad escape");
                    }
                    if (code > 0xff) Fail("character outside the 8-bit range");
                    out += static_cast<char>(code);
                    break;
                }
                default:
                    out += e;  // \" \\ \/
            }
        }
    }

    const std::string& text_;
    std::size_t at_ = 0;
};

const TJson* Member(const TJson& object, const char* name) {
    auto found = object.Members.find(name);
    return found == object.Members.end() ? nullptr : &found->second;
}

long NumberOf(const TJson& object, const char* name, double limit = 1e15) {
    const TJson* value = Member(object, name);
    if (!value || value->Kind != TJson::Number)
        throw std::runtime_error(std::string("\"") + name + "\" missing");
    // Counts and process ids only; anything else (NaN included) is no status of ours.
    const double number = value->NumberValue;
    if (!(number >= 0 && number <= limit))
        throw std::runtime_error(std::string("\"") + name + "\" is out of range");
    return static_cast<long>(number);
}

std::string TextOf(const TJson& object, const char* name) {
    const TJson* value = Member(object, name);
    return value && value->Kind == TJson::String ? value->StringValue : std::string();
}

TDateTime TimeMember(const TJson& object, const char* name) {
    const TJson* value = Member(object, name);
    if (!value || value->Kind == TJson::Null) return 0;
    int y, mo, d, h, mi, s;
    char tail;
    TDateTime date, time;
    if (value->Kind != TJson::String ||
        std::sscanf(value->StringValue.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi,
                    &s, &tail) != 6 ||
        !TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, s, 0, time))
        throw std::runtime_error(std::string("\"") + name + "\" is not a time");
    // Before 1899-12-30 a date is negative and its time of day counts away from zero.
    return date < 0 ? date - time : date + time;
}

TCycleOutcome OutcomeOf(const TJson& status, const char* name, const char* countName,
                        const char* failedName) {
    const TJson* object = Member(status, name);
    if (!object || object->Kind != TJson::Object)
        throw std::runtime_error(std::string("\"") + name + "\" missing");
    TCycleOutcome outcome;
    outcome.Time = TimeMember(*object, "time");
    outcome.Failed = TextOf(*object, "result") == "failed";
    outcome.Count = NumberOf(*object, countName);
    outcome.FailedCount = NumberOf(*object, failedName);
    outcome.Detail = TextOf(*object, "detail");
    return outcome;
}

// A list of texts; absent in a status written before the list was kept.
std::vector<std::string> TextsOf(const TJson& object, const char* name) {
    std::vector<std::string> texts;
    const TJson* value = Member(object, name);
    if (!value) return texts;
    if (value->Kind != TJson::Array)
        throw std::runtime_error(std::string("\"") + name + "\" is not a list");
    for (const TJson& item : value->Items)
        if (item.Kind == TJson::String) texts.push_back(item.StringValue);
    return texts;
}

std::string Clock(TDateTime value) { return FormatDateTime("yyyy/MM/dd hh:nn:ss", value); }

void CheckOutcome(const char* what, const TCycleOutcome& outcome, std::vector<std::string>& out) {
    if (!outcome.Failed) return;
    std::string line = std::string("the last ") + what + " failed at " + Clock(outcome.Time);
    if (!outcome.Detail.empty()) line += ": " + outcome.Detail;
    out.push_back(line);
}

}  // namespace

std::string StatusToJson(const TGatewayStatus& status) {
    return "{\n  \"updated\": " + TimeJson(status.Updated) +
           ",\n  \"running\": " + (status.Running ? "true" : "false") +
           ",\n  \"pid\": " + std::to_string(status.Pid) +
           ",\n  \"last_send\": " + OutcomeJson(status.LastSend, "sent", "to_error") +
           ",\n  \"last_receive\": " + OutcomeJson(status.LastReceive, "received", "not_stored") +
           ",\n  \"outbox_waiting\": " + std::to_string(status.OutboxWaiting) +
           ",\n  \"error_files\": " + std::to_string(status.ErrorFiles) +
           ",\n  \"kept_sent\": " + TextsJson(status.KeptSent) +
           ",\n  \"next_connection\": " + TimeJson(status.NextConnection) +
           ",\n  \"line\": " + JsonString(status.Line) +
           ",\n  \"certificate_check\": " + JsonString(status.CertificateCheck) +
           ",\n  \"history\": " + JsonString(status.History) + "\n}\n";
}

bool StatusFromJson(const std::string& text, TGatewayStatus& status, std::string& error) {
    try {
        const TJson document = TJsonReader(text).Document();
        if (document.Kind != TJson::Object) throw std::runtime_error("not a JSON object");
        TGatewayStatus read;
        read.Updated = TimeMember(document, "updated");
        if (read.Updated == 0) throw std::runtime_error("\"updated\" missing");
        const TJson* running = Member(document, "running");
        if (!running || running->Kind != TJson::Bool)
            throw std::runtime_error("\"running\" missing");
        read.Running = running->BoolValue;
        // A process id wider than an int would be cut to some other process's id.
        read.Pid = static_cast<int>(NumberOf(document, "pid", std::numeric_limits<int>::max()));
        read.LastSend = OutcomeOf(document, "last_send", "sent", "to_error");
        read.LastReceive = OutcomeOf(document, "last_receive", "received", "not_stored");
        read.OutboxWaiting = NumberOf(document, "outbox_waiting");
        read.ErrorFiles = NumberOf(document, "error_files");
        read.KeptSent = TextsOf(document, "kept_sent");
        read.NextConnection = TimeMember(document, "next_connection");
        read.Line = TextOf(document, "line");
        read.CertificateCheck = TextOf(document, "certificate_check");
        read.History = TextOf(document, "history");
        status = read;
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

std::vector<std::string> StatusProblems(const TGatewayStatus& status, TDateTime now,
                                        int maxAgeMinutes) {
    std::vector<std::string> problems;
    // Written later than now: the clock was set back, or the file was not written by the
    // gateway. Either way its word is not to be taken.
    if (status.Updated - now > kStatusClockSlackMinutes / (24.0 * 60.0))
        problems.push_back("the status claims to be written at " + Clock(status.Updated) +
                           ", in the future (a clock set back, or a file not written by the "
                           "gateway)");
    if (!status.Running)
        problems.push_back("the gateway is not running (closed down at " + Clock(status.Updated) +
                           ")");
    else if (now - status.Updated > maxAgeMinutes / (24.0 * 60.0))
        problems.push_back("the status was last written at " + Clock(status.Updated) +
                           " (stale: the gateway may have stopped)");
    if (status.ErrorFiles > 0)
        problems.push_back(std::to_string(status.ErrorFiles) + " file(s) in the Error folder");
    for (const std::string& name : status.KeptSent)
        problems.push_back(name + " in the Outbox was sent, but the Sentbox could not take it");
    if (!status.History.empty())
        problems.push_back("the transfer history cannot be written: " + status.History);
    CheckOutcome("send", status.LastSend, problems);
    CheckOutcome("receive", status.LastReceive, problems);
    return problems;
}

void WriteStatusFile(const std::string& logPath, const TGatewayStatus& status) {
    // The log folder exists only once a log was opened; a run with log level 0 has none.
    if (!DirectoryExists(logPath) && !ForceDirectories(logPath))
        throw std::runtime_error("Unable to create " + logPath);
    // Monitoring trusts what the file says: others may read it, only its owner may change it,
    // whatever the umask or the mode an earlier file had.
    TAtomicFile file(logPath + kStatusFileName);
    file.Write(StatusToJson(status));
    file.SetModeAlways(0644 & ~ProcessUmask());
    file.Commit();
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}
