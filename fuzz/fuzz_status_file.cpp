// The status file as --status reads it: any text must be refused with a reason or read into a
// status that writes back to the same status, and be reported without a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/base/clock.h"
#include "gateway/gateway_status.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TGatewayStatus status;
    std::string error;
    if (!StatusFromJson(text, status, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    const std::string written = StatusToJson(status);
    TGatewayStatus again;
    if (!StatusFromJson(written, again, error) || StatusToJson(again) != written) std::abort();
    for (const TDateTime now : {status.Updated, status.Updated + 1.0, 45000.0})
        (void)StatusProblems(status, now);
    return 0;
}
