#include "common/base/format_text.h"

#include <cctype>

#include "common/base/datetime.h"

namespace {

[[noreturn]] void Invalid(const std::string& format) {
    throw EConvertError("Format '" + format + "' invalid or incompatible with argument");
}

// Reads digits at i; -1 when there are none.
int ReadNumber(const std::string& text, std::size_t& i) {
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    int value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i] - '0');
        if (value > 100000) return -1;
        ++i;
    }
    return value;
}

}  // namespace

std::string FormatText(const std::string& format, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (++i >= format.size()) Invalid(format);
        if (format[i] == '%') {
            out += '%';
            continue;
        }
        // [index ":"] ["-"] [width] ["." precision] "s"
        std::size_t at = i;
        int index = ReadNumber(format, at);
        if (index >= 0 && at < format.size() && format[at] == ':') {
            next = static_cast<std::size_t>(index);
            i = at + 1;
        }
        bool left = false;
        if (i < format.size() && format[i] == '-') {
            left = true;
            ++i;
        }
        const int width = ReadNumber(format, i);
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            precision = ReadNumber(format, i);
            if (precision < 0) Invalid(format);
        }
        if (i >= format.size() || std::tolower(static_cast<unsigned char>(format[i])) != 's')
            Invalid(format);
        if (next >= args.size()) Invalid(format);
        std::string value = args[next++];
        if (precision >= 0 && value.size() > static_cast<std::size_t>(precision))
            value.resize(static_cast<std::size_t>(precision));
        if (width > 0 && value.size() < static_cast<std::size_t>(width)) {
            const std::string pad(static_cast<std::size_t>(width) - value.size(), ' ');
            value = left ? value + pad : pad + value;
        }
        out += value;
    }
    return out;
}
