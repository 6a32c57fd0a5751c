// libFuzzer target for the mail parser: any bytes as a message must parse without a crash,
// a hang or a read out of bounds, and fail only with the parser's own errors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mail/orv_msg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kExpected[] = {"", "multipart/mixed", "text/plain",
                                            "application/x-orders"};
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string expected = size ? kExpected[data[0] % 4] : "";
    TOrvMsg msg;
    msg.SetExpectedContentType(expected);
    msg.RawMail().SetText(input.substr(size ? 1 : 0));
    try {
        msg.ParseMsg();
    } catch (const std::exception& e) {
        std::string_view what = e.what();
        if (what != "Oops..." && !what.starts_with("List index out of bounds") &&
            what != "The header block is longer than 8 MB")
            std::abort();
        return 0;
    }
    // After a parse without error every attachment has its data.
    for (std::size_t i = 0; i < msg.Attachments().Count(); ++i)
        if (!msg.Attachments()[i].Data()) std::abort();
    return 0;
}
