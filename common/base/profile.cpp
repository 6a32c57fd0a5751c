#include "common/base/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/base/fileutil.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& text, std::size_t b, std::size_t e) {
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

// One line of the file as byte offsets into the text, with what it holds.
struct TLine {
    std::size_t start = 0;       // first byte
    std::size_t contentEnd = 0;  // end of the text before CR LF / LF
    std::size_t end = 0;         // after the line end (== contentEnd on a last line without one)
    enum Kind { Other, Section, Entry } kind = Other;
    std::string name;            // section name or key, trimmed
    std::size_t valueStart = 0;  // for entries: first byte after "="
};

std::vector<TLine> SplitLines(const std::string& text) {
    std::vector<TLine> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        TLine line;
        line.start = pos;
        std::size_t nl = text.find('\n', pos);
        line.end = nl == std::string::npos ? text.size() : nl + 1;
        line.contentEnd = nl == std::string::npos ? text.size() : nl;
        if (line.contentEnd > line.start && text[line.contentEnd - 1] == '\r') --line.contentEnd;
        std::size_t b = line.start;
        // A byte-order mark some editors put before the first line is not part of its text.
        if (b == 0 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) b = 3;
        while (b < line.contentEnd && IsBlank(text[b])) ++b;
        if (b < line.contentEnd && text[b] == '[') {
            std::size_t close = text.find(']', b);
            if (close == std::string::npos || close > line.contentEnd) close = line.contentEnd;
            line.kind = TLine::Section;
            line.name = TrimBlanks(text, b + 1, close);
        } else if (b < line.contentEnd && text[b] != ';') {
            std::size_t eq = text.find('=', b);
            if (eq != std::string::npos && eq < line.contentEnd) {
                line.kind = TLine::Entry;
                line.name = TrimBlanks(text, b, eq);
                line.valueStart = eq + 1;
            }
        }
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

// Index range [first, last) of the lines after the first heading named section; false when
// the file has no such section.
bool FindSection(const std::vector<TLine>& lines, const std::string& section, std::size_t& first,
                 std::size_t& last) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == TLine::Section && SameText(lines[i].name, section)) {
            first = i + 1;
            last = first;
            while (last < lines.size() && lines[last].kind != TLine::Section) ++last;
            return true;
        }
    }
    return false;
}

std::string LoadText(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// Replaces the file by text: written to a new file beside it, flushed, then renamed over it,
// so a crash never leaves half a settings file.
void SaveText(const std::string& name, const std::string& text) {
    // Through a symbolic link the file it points to is replaced, not the link.
    char resolved[PATH_MAX];
    const std::string fileName = realpath(name.c_str(), resolved) ? resolved : name;
    std::string temp = fileName + ".~new";
    mode_t mode = 0644;
    struct stat st {};
    if (stat(fileName.c_str(), &st) == 0) mode = st.st_mode & 07777;
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) throw EIniFileError("Unable to write " + fileName + ": " + std::strerror(errno));
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    bool ok = done == text.size() && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), fileName.c_str()) != 0) {
        int err = errno;
        unlink(temp.c_str());
        throw EIniFileError("Unable to write " + fileName + ": " + std::strerror(err));
    }
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

bool TIniFile::SectionExists(const std::string& section) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t first, last;
    return FindSection(SplitLines(LoadText(fileName_)), section, first, last);
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    TStringList values;
    ReadSectionValues(section, values);
    return values.IndexOfName(key) >= 0;
}

void TIniFile::ReadSectionValues(const std::string& section, TStringList& values) const {
    std::lock_guard<std::mutex> lock(mutex_);
    values.Clear();
    const std::string text = LoadText(fileName_);
    const std::vector<TLine> lines = SplitLines(text);
    std::size_t first, last;
    if (!FindSection(lines, section, first, last)) return;
    for (std::size_t i = first; i < last; ++i)
        if (lines[i].kind == TLine::Entry && !lines[i].name.empty())
            values.Add(lines[i].name + "=" +
                       TrimBlanks(text, lines[i].valueStart, lines[i].contentEnd));
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    TStringList values;
    ReadSectionValues(section, values);
    int i = values.IndexOfName(key);
    return i < 0 ? defaultValue : values.ValueFromIndex(static_cast<std::size_t>(i));
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key,
                          int defaultValue) const {
    const std::string text = ReadString(section, key, "");
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    int base = 10;
    if (text.size() - pos > 2 && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    } else if (text.size() - pos > 1 && text[pos] == '$') {
        base = 16;
        pos += 1;
    }
    if (pos >= text.size()) return defaultValue;
    long long value = 0;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
        if (digit >= base) return defaultValue;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL) return defaultValue;
    }
    if (base == 16 && !negative) return static_cast<int>(static_cast<unsigned int>(value));
    if (negative) value = -value;
    if (value > 2147483647LL || value < -2147483648LL) return defaultValue;
    return static_cast<int>(value);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key,
                        bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    // A line break or NUL inside a name or value would split or cut the line.
    for (const std::string* part : {&section, &key, &value})
        if (part->find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            throw EIniFileError("Unable to write " + fileName_ + ": line break in a value of [" +
                                section + "] " + key);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text = LoadText(fileName_);
    const std::vector<TLine> lines = SplitLines(text);
    const std::string eol =
        text.find('\n') == std::string::npos || text.find("\r\n") != std::string::npos ? "\r\n"
                                                                                       : "\n";
    std::size_t first, last;
    if (FindSection(lines, section, first, last)) {
        for (std::size_t i = first; i < last; ++i) {
            if (lines[i].kind == TLine::Entry && SameText(lines[i].name, key)) {
                text.replace(lines[i].valueStart, lines[i].contentEnd - lines[i].valueStart, value);
                SaveText(fileName_, text);
                return;
            }
        }
        // A new entry goes after the section's last non-blank line.
        std::size_t after = first;
        for (std::size_t i = first; i < last; ++i)
            if (lines[i].contentEnd > lines[i].start) after = i + 1;
        std::size_t at = after == 0 ? 0 : lines[after - 1].end;
        std::string insert = key + "=" + value + eol;
        if (after > 0 && lines[after - 1].end == lines[after - 1].contentEnd) insert = eol + insert;
        text.insert(at, insert);
    } else {
        // A new section goes at the end, after one blank line.
        if (!text.empty() && text.back() != '\n') text += eol;
        if (!lines.empty() && lines.back().contentEnd > lines.back().start) text += eol;
        text += "[" + section + "]" + eol + key + "=" + value + eol;
    }
    SaveText(fileName_, text);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}
