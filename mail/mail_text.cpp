#include "mail/mail_text.h"

namespace mailtext {
namespace {

char Up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

bool StartsWithUpper(std::string_view text, std::string_view upperPart) {
    return text.size() >= upperPart.size() && SameText(text.substr(0, upperPart.size()), upperPart);
}

std::size_t FindUpper(std::string_view text, std::string_view upperPart, std::size_t from) {
    if (upperPart.empty()) return from <= text.size() ? from : std::string_view::npos;
    for (std::size_t i = from; i + upperPart.size() <= text.size(); ++i) {
        if (Up(text[i]) != upperPart[0]) continue;
        if (SameText(text.substr(i, upperPart.size()), upperPart)) return i;
    }
    return std::string_view::npos;
}

bool ContainsUpper(std::string_view text, std::string_view upperPart) {
    return FindUpper(text, upperPart) != std::string_view::npos;
}

}  // namespace mailtext
