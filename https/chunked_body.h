#pragma once

// The body of an answer sent with "Transfer-Encoding: chunked": each chunk is its size in
// hexadecimal on a line of its own, its data and a line end; a chunk of size 0, trailer lines
// and an empty line end the body. Only the data is passed on, so a mail never carries the
// framing, and a body that stops before its last chunk can be told from a whole one.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TChunkedBody {
  public:
    // Longest size or trailer line taken; a longer one breaks the body.
    static constexpr size_t kMaxLineLength = 4096;

    // Takes the next framed bytes and passes on the data they carry. Once the framing is
    // broken, or after the end of the body, bytes are dropped.
    void Feed(std::string_view bytes, const std::function<void(std::string_view)>& data);
    // The last chunk and the empty line after the trailer have arrived.
    bool Complete() const { return state_ == TState::Done; }

  private:
    enum class TState { Size, Data, DataEnd, Trailer, Done, Broken };

    // Collects the line under way; true once its LF has come (line_ then holds it without
    // its line end).
    bool TakeLine(std::string_view& bytes);
    void TakeSizeLine();

    TState state_ = TState::Size;
    std::string line_;
    uint64_t left_ = 0;  // data bytes of the current chunk still to come
};
