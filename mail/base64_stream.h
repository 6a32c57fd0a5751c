#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mail_stream.h"

// Value of each character code in Base64 text: 0-63 for the alphabet, 64 for the pad "=",
// 99 for every other code.
extern const std::array<std::uint8_t, 256> kBase64DecodeTable;

// A write-only stream that decodes the Base64 text written into it and writes the bytes to
// its destination. Text may arrive in pieces of any size: a group of fewer than four
// characters waits for the next write. Characters outside the alphabet (line breaks, blanks,
// TABs) are skipped. Finish ends the text; pending characters are dropped when the stream is
// freed without it.
class TBase64DecodingStream : public TMailStream {
  public:
    explicit TBase64DecodingStream(TMailStream& destination);
    // Returns the number of decoded bytes this call wrote to the destination.
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::size_t LastOutput() const { return lastOutput_; }
    // Decodes the group still short at the end of a text that lacks its padding: two or three
    // characters give one or two bytes. Returns the number of bytes written.
    std::size_t Finish();
    // Whether Finish met a group short of four characters: the text was cut in the middle.
    bool EndedMidGroup() const { return endedMidGroup_; }

  private:
    void Emit(std::size_t& used);
    void DecodeGroup(std::size_t& used);

    TMailStream& destination_;
    std::array<std::uint8_t, 4> group_{};
    int groupCount_ = 0;
    bool endedMidGroup_ = false;
    std::size_t lastOutput_ = 0;
    std::vector<std::uint8_t> out_;
};

// The bytes of a Base64 text, decoded as the stream does and finished; cut, when given, tells
// whether the text ended in the middle of a group.
std::string Base64Decode(std::string_view text, bool* cut = nullptr);
