#include "mail/mail_lines.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "mail/mail_stream.h"

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

// Calls add(view) for every line of text; a line ends at CR, LF or CR LF. The next line feed
// is found with memchr and remembered until the scan passes it, so text with CR line ends
// alone (an old Mac file) is searched once, not once for each of its lines.
template <class TAdd>
void ForEachLine(std::string_view text, TAdd add) {
    const char* p = text.data();
    const char* end = p + text.size();
    if (p == end) return;
    auto nextLf = [end](const char* from) {
        const char* lf = static_cast<const char*>(std::memchr(from, '\n', std::size_t(end - from)));
        return lf ? lf : end;
    };
    const char* lf = nextLf(p);
    while (p < end) {
        if (lf < p) lf = nextLf(p);
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', std::size_t(lf - p)));
        const char* lineEnd = cr ? cr : lf;
        add(std::string_view(p, std::size_t(lineEnd - p)));
        if (lineEnd == end) break;
        // CR LF is one line break.
        p = lineEnd + (cr && cr + 1 == lf && lf < end ? 2 : 1);
    }
}

std::size_t CountLineBreaks(std::string_view text) {
    std::size_t count = 1;
    for (const char *p = text.data(), *end = p + text.size();
         (p = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)))) != nullptr; ++p)
        ++count;
    return count;
}

}  // namespace

std::vector<std::string_view> SplitMailLines(std::string_view text) {
    std::vector<std::string_view> out;
    ForEachLine(text, [&](std::string_view line) { out.push_back(line); });
    return out;
}

std::string JoinMailLines(std::span<const std::string_view> lines) {
    std::size_t size = 0;
    for (auto line : lines) size += line.size() + 2;
    std::string out;
    out.reserve(size);
    for (auto line : lines) {
        out.append(line);
        out.append("\r\n");
    }
    return out;
}

TMailLines::TMailLines(const TMailLines& other) { AddLines(other.lines_); }

TMailLines& TMailLines::operator=(const TMailLines& other) {
    if (this != &other) {
        TMailLines copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void TMailLines::Add(std::string_view line) {
    if (line.empty()) {
        lines_.emplace_back();
        return;
    }
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().size < line.size()) {
        TBlock block;
        block.capacity = std::max(kBlockSize, line.size());
        block.bytes = std::make_unique_for_overwrite<char[]>(block.capacity);
        blocks_.push_back(std::move(block));
    }
    TBlock& block = blocks_.back();
    char* at = block.bytes.get() + block.size;
    std::memcpy(at, line.data(), line.size());
    block.size += line.size();
    lines_.emplace_back(at, line.size());
}

void TMailLines::Reserve(std::size_t more) {
    // Growth by at least half the list, so many small appends copy each entry a few times at
    // most, not once for every append.
    const std::size_t want = lines_.size() + more;
    if (want > lines_.capacity()) lines_.reserve(std::max(want, lines_.capacity() * 3 / 2));
}

void TMailLines::AddLines(std::span<const std::string_view> lines) {
    Reserve(lines.size());
    for (auto line : lines) Add(line);
}

void TMailLines::Clear() {
    lines_.clear();
    lines_.shrink_to_fit();
    blocks_.clear();
}

std::string TMailLines::Text() const { return JoinMailLines(lines_); }

void TMailLines::SetText(std::string_view text) {
    Clear();
    AddText(std::string(text));
}

void TMailLines::AddBlock(std::unique_ptr<char[]> bytes, std::size_t size) {
    std::string_view text(bytes.get(), size);
    Reserve(CountLineBreaks(text));
    ForEachLine(text, [&](std::string_view line) { lines_.push_back(line); });
    // The block is full. It goes before a block that Add is still filling, so text added
    // between single lines does not leave that block's room unused.
    const bool filling = !blocks_.empty() && blocks_.back().size < blocks_.back().capacity;
    blocks_.insert(blocks_.end() - (filling ? 1 : 0), TBlock{std::move(bytes), size, size});
}

void TMailLines::AddText(std::string&& text) {
    auto bytes = std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(text.size(), 1));
    std::memcpy(bytes.get(), text.data(), text.size());
    std::size_t size = text.size();
    text.clear();
    text.shrink_to_fit();
    AddBlock(std::move(bytes), size);
}

void TMailLines::LoadFromFile(const std::string& path) {
    TFileBytes file = ReadWholeFile(path);
    Clear();
    AddBlock(std::move(file.bytes), file.size);
}
