#pragma once

#include <span>
#include <string>
#include <string_view>

#include "mail/mail_stream.h"

// Value of a hexadecimal digit (either case), -1 for any other character.
int HexDigit(char c);

// Decodes quoted-printable text in place: "=" with two hexadecimal digits (either case) is
// that byte, "=" with two other characters is "@", a soft line break "=" CR LF (or "=" with a
// lone CR or LF) disappears, an "=" without two characters after it ends the text. An
// underscore stays an underscore.
void QuotedPrintableDecode(std::string& text);
std::string QuotedPrintableDecoded(std::string_view text);

// Value of a character in a uuencoded line: "!" to "_" are 1 to 63, the grave accent and the
// blank are 0; any other character raises "Oops...".
unsigned UuValue(unsigned char c);

// Decodes a uuencoded block into out, a line at a time. The first line that is not blank is
// the begin line and is not decoded; blank lines are skipped; decoding stops before a line
// "end" or a line holding the grave accent alone after a decoded line.
class TUuDecoder {
  public:
    explicit TUuDecoder(TMailStream& out) : out_(out) {}
    void Line(std::string_view line);
    bool Stopped() const { return stopped_; }

  private:
    TMailStream& out_;
    bool begun_ = false, decoded_ = false, stopped_ = false;
};

// The lines of a whole block through TUuDecoder.
void UUDecode(std::span<const std::string_view> lines, TMailStream& out);
