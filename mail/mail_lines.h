#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A list of text lines as the mail model keeps them (the message's raw lines, its header
// lines, its text body). The bytes of the lines live in a few large blocks owned by the list,
// so a message of many megabytes costs its own size plus one small entry per line, and the
// line views stay valid when the list is moved.
class TMailLines {
  public:
    TMailLines() = default;
    TMailLines(const TMailLines& other);
    TMailLines& operator=(const TMailLines& other);
    TMailLines(TMailLines&&) noexcept = default;
    TMailLines& operator=(TMailLines&&) noexcept = default;

    std::size_t Count() const { return lines_.size(); }
    bool Empty() const { return lines_.empty(); }
    std::string_view operator[](std::size_t i) const { return lines_[i]; }
    std::span<const std::string_view> Lines() const { return lines_; }
    auto begin() const { return lines_.begin(); }
    auto end() const { return lines_.end(); }

    void Add(std::string_view line);
    void AddLines(std::span<const std::string_view> lines);
    void Clear();

    // Every line followed by CR LF.
    std::string Text() const;
    // Replaces the lines with those of text: a line ends at CR, LF or CR LF; a final line
    // break does not start another line.
    void SetText(std::string_view text);
    // Appends the lines of text (same rules), taking over its bytes without a copy.
    void AddText(std::string&& text);
    // Replaces the lines with those of the file's content (same rules); a file that cannot be
    // read raises an error naming it.
    void LoadFromFile(const std::string& path);

  private:
    struct TBlock {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        std::size_t capacity = 0;
    };
    void AddBlock(std::unique_ptr<char[]> bytes, std::size_t size);
    // Room for more lines.
    void Reserve(std::size_t more);

    std::vector<std::string_view> lines_;
    std::vector<TBlock> blocks_;
};

// The lines of text, split as TMailLines::SetText does, as views into text.
std::vector<std::string_view> SplitMailLines(std::string_view text);
// The lines joined, each followed by CR LF.
std::string JoinMailLines(std::span<const std::string_view> lines);
