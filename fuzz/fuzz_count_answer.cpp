// The answers of the web-mail service read as data: the count answer ("N/id;id;...;") and the
// return codes of the send, count, retrieve and delete calls. Any body must be read without a
// crash, fail only with the reader's own error, and give ids that are whole pieces of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/base/text.h"
#include "common/settings.h"
#include "transfer/send_thread.h"
#include "transfer/webmail_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    int count = -12345;
    std::vector<std::string> ids;
    try {
        if (ParseCountAnswer(body, count, ids)) {
            if (ids.size() != static_cast<std::size_t>(count < 0 ? 0 : count)) std::abort();
            for (const std::string& id : ids)
                if (id.find(';') != std::string::npos || body.find(id) == std::string::npos)
                    std::abort();
        } else if (!ids.empty()) {
            std::abort();
        }
    } catch (const EConvertError&) {
        if (!ids.empty()) std::abort();
    }

    // A return code is the trimmed body when it is a number of at most five characters.
    const std::string code = Trim(body);
    int value = 0;
    if (TryStrToInt(code, value)) {
        static const TSettings settings;
        static TWebMailClient client(settings);
        if (SendReturnCodeText(value, body).empty() || client.ReturnCodeText(value).empty())
            std::abort();
        // What it reads back in decimal is what it read.
        if (code.size() <= 5 && code.find_first_not_of("+-0123456789") == std::string::npos &&
            std::strtol(code.c_str(), nullptr, 10) != value)
            std::abort();
    }
    return 0;
}
