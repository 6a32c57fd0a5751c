#include "https/chunked_body.h"

#include <algorithm>

void TChunkedBody::Feed(std::string_view bytes, const std::function<void(std::string_view)>& data) {
    while (!bytes.empty() && state_ != TState::Done && state_ != TState::Broken) {
        if (state_ == TState::Data) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, bytes.size()));
            data(bytes.substr(0, take));
            bytes.remove_prefix(take);
            left_ -= take;
            if (left_ == 0) state_ = TState::DataEnd;
            continue;
        }
        if (!TakeLine(bytes)) continue;
        if (state_ == TState::Size)
            TakeSizeLine();
        else if (state_ == TState::DataEnd)
            state_ = line_.empty() ? TState::Size : TState::Broken;
        else if (line_.empty())
            state_ = TState::Done;  // the empty line after the trailer
        line_.clear();
    }
}

bool TChunkedBody::TakeLine(std::string_view& bytes) {
    const size_t lf = bytes.find('\n');
    line_.append(bytes.substr(0, lf));
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    if (line_.size() > kMaxLineLength) state_ = TState::Broken;
    if (lf == std::string_view::npos || state_ == TState::Broken) return false;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    return true;
}

void TChunkedBody::TakeSizeLine() {
    // Hexadecimal digits, then optionally blanks or ";" and extensions, which are ignored.
    uint64_t size = 0;
    size_t digits = 0;
    for (; digits < line_.size(); ++digits) {
        const char c = line_[digits];
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else
            break;
        if (size >> 60) {  // no body is that long
            state_ = TState::Broken;
            return;
        }
        size = size * 16 + static_cast<uint64_t>(value);
    }
    const bool rest = digits == line_.size() || line_[digits] == ';' || line_[digits] == ' ' ||
                      line_[digits] == '\t';
    if (digits == 0 || !rest) {
        state_ = TState::Broken;
        return;
    }
    left_ = size;
    state_ = size == 0 ? TState::Trailer : TState::Data;
}
