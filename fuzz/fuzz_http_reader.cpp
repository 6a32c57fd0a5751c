// Feeds arbitrary bytes to the response reader, split into pieces chosen by the input, with
// redirects on or off, and resolves any redirect target as the engine would.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "https/response_reader.h"
#include "https/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool follow = data[0] & 1;
    const size_t step = 1 + data[1] % 64;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    TResponseReader reader(follow);
    size_t headerBytes = 0, bodyBytes = 0;
    reader.Events.Header = [&](const std::string& field, const std::string& value) {
        headerBytes += field.size() + value.size();
    };
    reader.Events.SetCookie = [&](const TSetCookie& cookie) {
        headerBytes += cookie.Name.size() + cookie.Path.size();
    };
    reader.Events.Body = [&](std::string_view piece) { bodyBytes += piece.size(); };
    while (!bytes.empty()) {
        const size_t take = bytes.size() < step ? bytes.size() : step;
        reader.Feed(bytes.substr(0, take));
        bytes.remove_prefix(take);
    }
    reader.Finish();
    if (reader.BodyBytes() != bodyBytes) __builtin_trap();
    if (reader.HeaderText().size() > TResponseReader::kMaxHeadBytes) __builtin_trap();

    TURLParts target;
    ParseURL(target, "https://server.example/a/b");
    ParseURL(target, reader.RedirectTarget(), true);
    (void)BasicCredentials(target.User, target.Password);
    (void)StatusCodeText(reader.StatusLine());
    return 0;
}
