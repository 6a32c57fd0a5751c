#include "operator/log_lines.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> LogNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name[0] != '.' && name.compare(name.size() - 4, 4, ".log") == 0)
                names.push_back(name);
        }
        closedir(d);
    }
    // The names are start times, so their order is the order of the runs.
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TLogLine ParseLogLine(const std::string& line) {
    TLogLine parsed;
    if (line.size() > 2 && line[0] == '[') {
        const std::size_t close = line.find("] ");
        if (close != std::string::npos) {
            parsed.Stamp = line.substr(1, close - 1);
            parsed.Message = line.substr(close + 2);
            return parsed;
        }
    }
    parsed.Message = line;
    return parsed;
}

TLogKind KindOfLogLine(const std::string& message) {
    if (!message.empty() && (message[0] == ' ' || message[0] == '\t')) return TLogKind::Detail;
    static const char* const kProblemWords[] = {"unable",    "fail",    "error",  "not available",
                                                "could not", "invalid", "refused"};
    // Paths name folders such as ERROR; only the words around them tell of a failure.
    std::string words;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '/' && (i == 0 || message[i - 1] == ' ' || message[i - 1] == '\'')) {
            while (i < message.size() && message[i] != ' ' && message[i] != '\'') ++i;
            if (i == message.size()) break;
        }
        words += message[i];
    }
    const std::string lower = Lower(words);
    for (const char* word : kProblemWords)
        if (lower.find(word) != std::string::npos) return TLogKind::Problem;
    return TLogKind::Info;
}

bool LogLineShown(const TLogLine& line, TLogFilter filter, const std::string& search) {
    const TLogKind kind = KindOfLogLine(line.Message);
    if (filter == TLogFilter::NoDetail && kind == TLogKind::Detail) return false;
    if (filter == TLogFilter::Problems && kind != TLogKind::Problem) return false;
    if (search.empty()) return true;
    return Lower(line.Message).find(Lower(search)) != std::string::npos ||
           line.Stamp.find(search) != std::string::npos;
}

std::vector<std::string> LogFilesOfDay(const std::string& logFolder, TDateTime day) {
    const std::string folder = IncludeTrailingPathDelimiter(logFolder);
    const std::string prefix = FormatDateTime("yyyymmdd", day);
    std::vector<std::string> files;
    for (const std::string& name : LogNames(folder))
        if (name.compare(0, prefix.size(), prefix) == 0) files.push_back(folder + name);
    return files;
}

std::vector<std::string> LogFilesNewestFirst(const std::string& logFolder) {
    const std::string folder = IncludeTrailingPathDelimiter(logFolder);
    std::vector<std::string> files;
    for (const std::string& name : LogNames(folder)) files.push_back(folder + name);
    std::reverse(files.begin(), files.end());
    return files;
}

std::vector<std::string> TLogFollower::ReadNew() {
    std::vector<std::string> lines;
    const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return lines;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return lines;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (static_cast<uint64_t>(st.st_ino) != inode_ || size < offset_) {
        inode_ = static_cast<uint64_t>(st.st_ino);
        offset_ = 0;
        partial_.clear();
    }
    std::string data;
    char buffer[65536];
    while (offset_ < size) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
        offset_ += static_cast<uint64_t>(n);
    }
    close(fd);
    partial_ += data;
    std::size_t start = 0;
    for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::size_t stop = end;
        if (stop > start && partial_[stop - 1] == '\r') --stop;
        lines.push_back(partial_.substr(start, stop - start));
    }
    partial_.erase(0, start);
    return lines;
}

void TLogFollower::Skip(uint64_t offset) {
    struct stat st {};
    if (stat(path_.c_str(), &st) != 0) return;
    inode_ = static_cast<uint64_t>(st.st_ino);
    offset_ = offset;
    partial_.clear();
}

std::vector<std::string> ReadLogLines(const std::string& path) {
    TLogFollower follower(path);
    return follower.ReadNew();
}
