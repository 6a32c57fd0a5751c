#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// Where a line starts in a line source: a line number or a byte offset, as the source decides.
using TLinePos = std::uint64_t;
// The end of whatever the source holds.
inline constexpr TLinePos kSourceEnd = UINT64_MAX;

// The lines of one message, read front to back, with a way back to a line read before: the
// parser reads a part again where a decision needs all of it, instead of keeping it in memory.
class TLineSource {
  public:
    virtual ~TLineSource() = default;
    // The next line, valid until the next call of Next or Seek; false at the end.
    virtual bool Next(std::string_view& line) = 0;
    // The position of the line that Next gives next.
    virtual TLinePos Tell() const = 0;
    // Goes to a position that Tell gave.
    virtual void Seek(TLinePos pos) = 0;
};

// Lines already in memory; a position is a line number.
class TMemoryLineSource : public TLineSource {
  public:
    explicit TMemoryLineSource(std::span<const std::string_view> lines) : lines_(lines) {}
    bool Next(std::string_view& line) override {
        if (at_ >= lines_.size()) return false;
        line = lines_[at_++];
        return true;
    }
    TLinePos Tell() const override { return at_; }
    void Seek(TLinePos pos) override { at_ = pos; }

  private:
    std::span<const std::string_view> lines_;
    TLinePos at_ = 0;
};

// The lines of a file, read through a buffer (grown only for a line longer than it) and split
// as TMailLines::SetText splits text: a line ends at CR, LF or CR LF, a final line break does
// not start another line. A position is a byte offset; going back within the buffer reads
// nothing again.
class TFileLineSource : public TLineSource {
  public:
    static constexpr std::size_t kDefaultBufferSize = 256 * 1024;
    // Raises "Cannot open file" with the path and the system's reason.
    explicit TFileLineSource(const std::string& path, std::size_t bufferSize = kDefaultBufferSize);
    ~TFileLineSource() override;
    TFileLineSource(const TFileLineSource&) = delete;
    TFileLineSource& operator=(const TFileLineSource&) = delete;

    bool Next(std::string_view& line) override;
    TLinePos Tell() const override { return start_ + at_; }
    void Seek(TLinePos pos) override;

  private:
    // Keeps the bytes from at_ on, moved to the buffer's start, and reads more after them;
    // false when the file has no more.
    bool Fill();

    std::string path_;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0, size_ = 0, at_ = 0;
    // The file offset of the buffer's first byte.
    TLinePos start_ = 0;
    // Whether the file ends where the buffer does.
    bool atEof_ = false;
    // Where the next line feed in the buffer is (size_ for none), or npos when not known: text
    // with CR line ends alone is searched for a line feed once, not once for each line.
    std::size_t nextLf_ = std::string::npos;
};

// Splits text that arrives in pieces into lines as SplitMailLines splits the whole text.
class TLineSplitter {
  public:
    template <class TEmit>
    void Write(std::string_view piece, TEmit&& emit) {
        if (pendingCr_ && !piece.empty()) {
            pendingCr_ = false;
            if (piece.front() == '\n') piece.remove_prefix(1);
        }
        const char* p = piece.data();
        const char* end = p + piece.size();
        const char* lf = nullptr;
        while (p < end) {
            if (lf < p) lf = NextLf(p, end);
            const char* cr = static_cast<const char*>(std::memchr(p, '\r', std::size_t(lf - p)));
            const char* lineEnd = cr ? cr : lf;
            if (lineEnd == end) {
                partial_.append(p, std::size_t(end - p));
                return;
            }
            if (partial_.empty()) {
                emit(std::string_view(p, std::size_t(lineEnd - p)));
            } else {
                partial_.append(p, std::size_t(lineEnd - p));
                emit(std::string_view(partial_));
                partial_.clear();
            }
            p = lineEnd + 1;
            if (cr && p == end) pendingCr_ = true;
            if (cr && p < end && *p == '\n') ++p;
        }
    }
    // The last line, when the text does not end with a line break; true when there was one.
    template <class TEmit>
    bool Finish(TEmit&& emit) {
        pendingCr_ = false;
        if (partial_.empty()) return false;
        emit(std::string_view(partial_));
        partial_.clear();
        return true;
    }

  private:
    static const char* NextLf(const char* from, const char* end);
    std::string partial_;
    bool pendingCr_ = false;
};
