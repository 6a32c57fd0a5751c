#pragma once

#include <string>
#include <vector>

// An ordered list of text lines, many of them "name=value" pairs, as the settings lists hold
// them. Name lookups compare without regard to case.
class TStringList {
  public:
    using const_iterator = std::vector<std::string>::const_iterator;

    std::size_t Count() const { return lines_.size(); }
    bool Empty() const { return lines_.empty(); }
    const std::string& operator[](std::size_t i) const { return lines_[i]; }
    const_iterator begin() const { return lines_.begin(); }
    const_iterator end() const { return lines_.end(); }
    void Add(const std::string& line) { lines_.push_back(line); }
    void Clear() { lines_.clear(); }

    // Index of the line equal to text (case-insensitive whole-line match), or -1.
    int IndexOf(const std::string& text) const;
    // The part of line i before the first "=" (the whole line when it has none).
    std::string Names(std::size_t i) const;
    // The part of line i after the first "=" (empty when it has none).
    std::string ValueFromIndex(std::size_t i) const;
    // Index of the first line whose name equals name (case-insensitive), or -1.
    int IndexOfName(const std::string& name) const;
    // The value of the first line named name, or empty text when there is none.
    std::string Values(const std::string& name) const;

  private:
    std::vector<std::string> lines_;
};
