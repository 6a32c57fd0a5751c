#include "service/status_command.h"

#include <fstream>
#include <ostream>
#include <stdexcept>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/certificate_check.h"
#include "gateway/gateway_status.h"
#include "service/installation.h"
#include "service/terminal_text.h"

namespace {

std::string When(TDateTime value) {
    return value == 0 ? "-" : FormatDateTime("yyyy/MM/dd hh:nn:ss", value);
}

void PrintOutcome(std::ostream& out, const char* name, const char* counted,
                  const TCycleOutcome& outcome) {
    out << name;
    if (outcome.Time == 0) {
        out << "none since the start\n";
        return;
    }
    out << When(outcome.Time) << ", " << (outcome.Failed ? "failed" : "ok") << ", " << outcome.Count
        << " " << counted;
    if (outcome.FailedCount > 0) out << ", " << outcome.FailedCount << " not delivered";
    if (!outcome.Detail.empty()) out << " (" << TerminalText(outcome.Detail) << ")";
    out << "\n";
}

// The status is a few hundred bytes; anything much larger is not one.
std::string ReadStatusText(const std::string& file) {
    constexpr std::size_t kLimit = 64 * 1024;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open it");
    std::string text(kLimit + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) throw std::runtime_error("read error");
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLimit) throw std::runtime_error("larger than a status file can be");
    return text;
}

}  // namespace

int PrintStatus(const std::string& dir, std::ostream& out, TDateTime now) {
    const std::string file = LogFolderOf(ResolveProgramDir(dir)) + kStatusFileName;
    std::string text;
    try {
        if (!FileExists(file)) {
            out << "ATTENTION: no status file " << file
                << " (the gateway has not run on this installation)\n";
            return 1;
        }
        text = ReadStatusText(file);
    } catch (const std::exception& e) {
        out << "ATTENTION: cannot read " << file << ": " << e.what() << "\n";
        return 1;
    }
    TGatewayStatus status;
    std::string error;
    if (!StatusFromJson(text, status, error)) {
        out << "ATTENTION: " << file << " is not a status file: " << error << "\n";
        return 1;
    }
    const auto problems = StatusProblems(status, now);
    if (problems.empty()) {
        out << "OK: the gateway is running\n";
    } else {
        out << "ATTENTION: ";
        for (std::size_t i = 0; i < problems.size(); ++i)
            out << (i > 0 ? "; " : "") << TerminalText(problems[i]);
        out << "\n";
    }
    out << "status file:     " << file << "\n"
        << "updated:         " << When(status.Updated) << (status.Running ? "" : " (stopped)")
        << "\n";
    PrintOutcome(out, "last send:       ", "file(s) sent", status.LastSend);
    PrintOutcome(out, "last receive:    ", "message(s) received", status.LastReceive);
    out << "outbox waiting:  " << status.OutboxWaiting << "\n"
        << "error files:     " << status.ErrorFiles << "\n"
        << "next connection: "
        << (status.NextConnection == 0 ? std::string("not scheduled") : When(status.NextConnection))
        << "\n"
        << "line:            " << TerminalText(status.Line) << "\n";
    // Only a status written before the check was kept lacks it.
    if (!status.CertificateCheck.empty())
        out << "certificate:     " << TerminalText(status.CertificateCheck)
            << (status.CertificateCheck == kNoCertificateCheck ? " (any certificate is accepted)"
                                                               : "")
            << "\n";
    return problems.empty() ? 0 : 1;
}
