#include "mail/base64_stream.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kPad = 64;
constexpr std::uint8_t kOutside = 99;
constexpr std::size_t kOutChunk = 3 * 16384;

constexpr std::array<std::uint8_t, 256> MakeTable() {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t) v = kOutside;
    for (int i = 0; i < 26; ++i) {
        t['A' + i] = std::uint8_t(i);
        t['a' + i] = std::uint8_t(26 + i);
    }
    for (int i = 0; i < 10; ++i) t['0' + i] = std::uint8_t(52 + i);
    t['+'] = 62;
    t['/'] = 63;
    t['='] = kPad;
    return t;
}

// A sink that appends what it is given to a string, for decoding text in memory.
class TStringSink : public TMailStream {
  public:
    explicit TStringSink(std::string& out) : out_(out) {}
    std::size_t Write(const void* buffer, std::size_t count) override {
        out_.append(static_cast<const char*>(buffer), count);
        return count;
    }

  private:
    std::string& out_;
};

}  // namespace

const std::array<std::uint8_t, 256> kBase64DecodeTable = MakeTable();

TBase64DecodingStream::TBase64DecodingStream(TMailStream& destination)
    : destination_(destination) {}

void TBase64DecodingStream::Emit(std::size_t& used) {
    if (used == 0) return;
    destination_.Write(out_.data(), used);
    lastOutput_ += used;
    used = 0;
}

// Four values a, b, c, d give three, two, one or no bytes by where the pad sits.
void TBase64DecodingStream::DecodeGroup(std::size_t& used) {
    const unsigned a = group_[0], b = group_[1];
    unsigned c = group_[2], d = group_[3];
    groupCount_ = 0;
    if (a == kPad) return;
    int n = 3;
    if (c == kPad) {
        n = 1;
        c = d = 0;
    } else if (d == kPad) {
        n = 2;
        d = 0;
    }
    std::uint8_t* o = out_.data() + used;
    o[0] = std::uint8_t(a * 4 + b / 16);
    if (n > 1) o[1] = std::uint8_t((b % 16) * 16 + c / 4);
    if (n > 2) o[2] = std::uint8_t((c % 4) * 64 + d);
    used += std::size_t(n);
}

std::size_t TBase64DecodingStream::Write(const void* buffer, std::size_t count) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    const auto* end = p + count;
    const auto& table = kBase64DecodeTable;
    std::size_t used = 0;
    lastOutput_ = 0;
    // The output chunk grows to what the largest write needs, up to a fixed size.
    if (std::size_t want = std::min(kOutChunk, count / 4 * 3 + 6); out_.size() < want)
        out_.resize(want);
    while (p < end) {
        if (used + 3 > out_.size()) Emit(used);
        // Whole groups of alphabet characters, the bulk of any attachment, go four at a time.
        if (groupCount_ == 0) {
            std::size_t room = (out_.size() - used) / 3;
            std::uint8_t* o = out_.data() + used;
            while (room > 0 && end - p >= 4) {
                const unsigned a = table[p[0]], b = table[p[1]], c = table[p[2]], d = table[p[3]];
                if ((a | b | c | d) >= kPad) break;
                o[0] = std::uint8_t(a << 2 | b >> 4);
                o[1] = std::uint8_t((b & 15) << 4 | c >> 2);
                o[2] = std::uint8_t((c & 3) << 6 | d);
                o += 3;
                p += 4;
                --room;
            }
            used = std::size_t(o - out_.data());
            if (p == end) break;
            if (used + 3 > out_.size()) continue;
        }
        const std::uint8_t v = table[*p++];
        // Line breaks and every other character outside the alphabet are skipped, so a blank at
        // the end of a line cannot shift the grouping of what follows.
        if (v == kOutside) continue;
        group_[groupCount_++] = v;
        if (groupCount_ == 4) DecodeGroup(used);
    }
    Emit(used);
    return lastOutput_;
}

std::size_t TBase64DecodingStream::Finish() {
    lastOutput_ = 0;
    endedMidGroup_ = groupCount_ != 0;
    if (groupCount_ < 2) {
        // Six bits make no byte.
        groupCount_ = 0;
        return 0;
    }
    for (int i = groupCount_; i < 4; ++i) group_[std::size_t(i)] = kPad;
    if (out_.size() < 3) out_.resize(3);
    std::size_t used = 0;
    DecodeGroup(used);
    Emit(used);
    return lastOutput_;
}

std::string Base64Decode(std::string_view text, bool* cut) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    TStringSink sink(out);
    TBase64DecodingStream stream(sink);
    stream.Write(text.data(), text.size());
    stream.Finish();
    if (cut) *cut = stream.EndedMidGroup();
    return out;
}
