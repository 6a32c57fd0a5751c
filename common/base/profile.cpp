#include "common/base/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/text.h"
#include "common/base/unique_handle.h"

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

[[noreturn]] void Fail(const char* what, const std::string& fileName, int error) {
    throw EIniFileError(std::string("Unable to ") + what + " " + fileName + ": " +
                        std::strerror(error));
}

// The value of an entry line: without surrounding blanks, and without one pair of matching
// quotes around it, as the classic profile functions read "C:/My Files" or 'x'.
std::string EntryValue(const std::string& text, const TLine& line) {
    std::string value = TrimBlanks(text, line.valueStart, line.contentEnd);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

std::string ReadAll(int fd, const std::string& fileName) {
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("read", fileName, errno);
        if (n == 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

// Waits for the advisory lock. A file system without locks (ENOLCK, EOPNOTSUPP) is used
// unlocked rather than made unwritable.
void WaitForLock(int fd, int operation, const std::string& fileName) {
    while (::flock(fd, operation) != 0) {
        if (errno == EINTR) continue;
        if (errno == ENOLCK || errno == EOPNOTSUPP) return;
        Fail("lock", fileName, errno);
    }
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file itself when name is (or passes through) a symbolic link; name when it does not
// exist yet.
std::string Resolved(const std::string& name) {
    char resolved[PATH_MAX];
    return ::realpath(name.c_str(), resolved) ? std::string(resolved) : name;
}

// Opens target (creating it when missing) and takes the exclusive lock on the file its name
// refers to once the lock is granted: a writer that waited on a file another writer has
// meanwhile replaced starts again on the new one. writable tells whether the descriptor may
// write (it is read-only when the file is not writable for this user). A file made here gets
// createMode less the umask; the atomic writer keeps that mode when it replaces the file.
TUniqueFd LockForUpdate(const std::string& target, const std::string& fileName, mode_t createMode,
                        bool& writable) {
    for (;;) {
        writable = true;
        TUniqueFd fd(::open(target.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, createMode));
        if (!fd && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            writable = false;
            fd.Reset(::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        }
        if (!fd) Fail("write", fileName, errno);
        WaitForLock(fd.Get(), LOCK_EX, fileName);
        struct stat locked {};
        struct stat named {};
        if (::fstat(fd.Get(), &locked) != 0) Fail("write", fileName, errno);
        if (::lstat(target.c_str(), &named) == 0 && SameFile(locked, named)) return fd;
    }
}

// Whether a file replaced by the atomic writer gets the owner and group it has now: the new
// file is this process's, and only root, or the owner giving it one of its own groups, may
// set them back.
bool ReplacementKeepsOwner(const struct stat& st) {
    if (::geteuid() == 0) return true;
    if (st.st_uid != ::geteuid()) return false;
    if (st.st_gid == ::getegid()) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 &&
           std::find(groups.begin(), groups.begin() + got, st.st_gid) != groups.begin() + got;
}

// Rewrites the locked file in place: the last resort, since a crash midway leaves it damaged.
void RewriteInPlace(int fd, const std::string& text, const std::string& fileName) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("write", fileName, errno);
        if (n == 0) Fail("write", fileName, ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0 || ::fsync(fd) != 0)
        Fail("write", fileName, errno);
}

// Puts text into the locked file open on fd (named target).
void SaveText(const std::string& target, int fd, bool writable, const std::string& text,
              const std::string& fileName) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail("write", fileName, errno);
    if (ReplacementKeepsOwner(st)) {
        try {
            WriteFileAtomic(target, text);
            return;
        } catch (const EAtomicWriteError& e) {
            // No new file may be made or renamed in the folder: the file itself may still be
            // writable.
            if (e.Errno != EACCES && e.Errno != EPERM) throw EIniFileError(e.what());
        }
    }
    if (!writable) Fail("write", fileName, EACCES);
    RewriteInPlace(fd, text, fileName);
}

// text with [section] key set to value.
std::string WithValue(std::string text, const std::string& section, const std::string& key,
                      const std::string& value) {
    const std::vector<TLine> lines = SplitLines(text);
    const std::string eol =
        text.find('\n') == std::string::npos || text.find("\r\n") != std::string::npos ? "\r\n"
                                                                                       : "\n";
    std::size_t first, last;
    if (FindSection(lines, section, first, last)) {
        for (std::size_t i = first; i < last; ++i) {
            if (lines[i].kind == TLine::Entry && SameText(lines[i].name, key)) {
                text.replace(lines[i].valueStart, lines[i].contentEnd - lines[i].valueStart, value);
                return text;
            }
        }
        // A new entry goes after the section's last non-blank line.
        std::size_t after = first;
        for (std::size_t i = first; i < last; ++i)
            if (lines[i].contentEnd > lines[i].start) after = i + 1;
        std::size_t at = after == 0 ? 0 : lines[after - 1].end;
        std::string insert = key + "=" + value + eol;
        // The line before has no line end of its own (a last line): it gets one first. A
        // lone CR there, which the reader does not take for a line end, is completed.
        if (after > 0 && text[lines[after - 1].end - 1] != '\n')
            insert = (text[lines[after - 1].end - 1] == '\r' ? "\n" : eol) + insert;
        text.insert(at, insert);
    } else {
        // A new section goes at the end, after one blank line.
        if (!text.empty() && text.back() != '\n') text += eol;
        if (!lines.empty() && lines.back().contentEnd > lines.back().start) text += eol;
        text += "[" + section + "]" + eol + key + "=" + value + eol;
    }
    return text;
}

}  // namespace

// The parsed file and what identified it on disk when it was read.
struct TIniFile::TParsed {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    std::string text;
    std::vector<TLine> lines;

    bool Describes(const struct stat& st) const {
        return exists && device == st.st_dev && inode == st.st_ino && size == st.st_size &&
               modified.tv_sec == st.st_mtim.tv_sec && modified.tv_nsec == st.st_mtim.tv_nsec;
    }
};

TIniFile::TIniFile(std::string fileName, TIniAccess access)
    : fileName_(std::move(fileName)), access_(access) {}

TIniFile::~TIniFile() = default;

const TIniFile::TParsed& TIniFile::Current() const {
    struct stat st {};
    if (::stat(fileName_.c_str(), &st) == 0 && parsed_ && parsed_->Describes(st)) return *parsed_;
    auto parsed = std::make_unique<TParsed>();
    TUniqueFd fd(::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd) {
        // A writer rewriting the file in place holds the exclusive lock meanwhile.
        WaitForLock(fd.Get(), LOCK_SH, fileName_);
        if (::fstat(fd.Get(), &st) != 0) Fail("read", fileName_, errno);
        parsed->text = ReadAll(fd.Get(), fileName_);
        parsed->exists = true;
        parsed->device = st.st_dev;
        parsed->inode = st.st_ino;
        parsed->size = st.st_size;
        parsed->modified = st.st_mtim;
        parsed->lines = SplitLines(parsed->text);
    } else if (errno != ENOENT && errno != ENOTDIR) {
        Fail("read", fileName_, errno);
    }
    parsed_ = std::move(parsed);
    return *parsed_;
}

bool TIniFile::SectionExists(const std::string& section) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t first, last;
    return FindSection(Current().lines, section, first, last);
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    TStringList values;
    ReadSectionValues(section, values);
    return values.IndexOfName(key) >= 0;
}

void TIniFile::ReadSectionValues(const std::string& section, TStringList& values) const {
    std::lock_guard<std::mutex> lock(mutex_);
    values.Clear();
    const TParsed& parsed = Current();
    std::size_t first, last;
    if (!FindSection(parsed.lines, section, first, last)) return;
    for (std::size_t i = first; i < last; ++i)
        if (parsed.lines[i].kind == TLine::Entry && !parsed.lines[i].name.empty())
            values.Add(parsed.lines[i].name + "=" + EntryValue(parsed.text, parsed.lines[i]));
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const TParsed& parsed = Current();
    std::size_t first, last;
    if (!FindSection(parsed.lines, section, first, last)) return defaultValue;
    for (std::size_t i = first; i < last; ++i)
        if (parsed.lines[i].kind == TLine::Entry && !parsed.lines[i].name.empty() &&
            SameText(parsed.lines[i].name, key))
            return EntryValue(parsed.text, parsed.lines[i]);
    return defaultValue;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key,
                          int defaultValue) const {
    int value = 0;
    return TryStrToInt(ReadString(section, key, ""), value) ? value : defaultValue;
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
    // Whatever happens below, the next read looks at the disk again.
    parsed_.reset();
    const std::string target = Resolved(fileName_);
    bool writable = false;
    TUniqueFd fd =
        LockForUpdate(target, fileName_, access_ == TIniAccess::OwnerOnly ? 0600 : 0666, writable);
    // Read under the lock: the text another writer saved a moment ago is the one to change.
    const std::string text = ReadAll(fd.Get(), fileName_);
    SaveText(target, fd.Get(), writable, WithValue(text, section, key, value), fileName_);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}
