#include "mail/mail_text.h"

namespace mailtext {
namespace {

char Up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
char Low(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

std::string_view Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Up(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Low(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Up(a[i]) != Up(b[i])) return false;
  return true;
}

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
