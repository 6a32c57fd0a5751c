#include "operator/failed_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "operator/log_lines.h"
#include "transfer/received_record.h"

namespace {

bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Lines recording a move into the Error folder (or a retry out of it) name the file but say
// nothing about why it failed.
bool RecordsMove(const std::string& message) {
    return message.rfind("Move file: ", 0) == 0 ||
           message.find("could not be stored and was moved to") != std::string::npos ||
           message.rfind("Retry: ", 0) == 0;
}

}  // namespace

bool IsReceivedFailure(const std::string& name) {
    return name.size() > 9 && name.rfind("RECV_", 0) == 0 &&
           name.compare(name.size() - 4, 4, ".eml") == 0;
}

TMovedBy MovedIntoErrorBy(const std::vector<std::string>& messages, const std::string& name) {
    const std::string moved = "Move file: " + name + " to ";
    for (std::size_t i = messages.size(); i-- > 0;) {
        const std::string& m = messages[i];
        if (m.starts_with("Recv: The received message ") && NamesFile(m, name))
            return TMovedBy::ReceiveSide;
        // "Move file: A to /E/" files A as A; "Move file: B to /E/ as A" files B as A.
        if (m.starts_with("Move file: ") &&
            ((m.starts_with(moved) && m.find(" as ", moved.size()) == std::string::npos) ||
             m.ends_with(" as " + name)))
            return TMovedBy::SendSide;
    }
    return TMovedBy::Unknown;
}

bool NamesFile(const std::string& message, const std::string& name) {
    if (name.empty()) return false;
    for (std::size_t at = message.find(name); at != std::string::npos;
         at = message.find(name, at + 1)) {
        if (at > 0) {
            const char before = message[at - 1];
            if (NameChar(before) || before == '.') continue;
        }
        const std::size_t end = at + name.size();
        if (end < message.size()) {
            const char after = message[end];
            if (NameChar(after)) continue;
            // A full stop ends a sentence, but ".sent" or ".bak" make another name.
            if (after == '.' && end + 1 < message.size() && NameChar(message[end + 1])) continue;
        }
        return true;
    }
    return false;
}

std::string ReasonFromLines(const std::vector<std::string>& messages, const std::string& name) {
    std::size_t moveAt = messages.size();
    for (std::size_t i = messages.size(); i-- > 0;) {
        if (!NamesFile(messages[i], name)) continue;
        if (!RecordsMove(messages[i])) return messages[i];
        if (moveAt == messages.size()) moveAt = i;
    }
    if (moveAt == messages.size()) return "";
    // The reason precedes the move; detail lines (indented) in between are skipped.
    for (std::size_t i = moveAt; i-- > 0;)
        if (!messages[i].empty() && messages[i][0] != ' ') return messages[i];
    return messages[moveAt];
}

std::vector<TFailedFile> ListFailedFiles(const std::string& errorFolder,
                                         const std::string& logFolder, int maxLogFiles,
                                         const TFailureReasons& known) {
    const std::string folder = IncludeTrailingPathDelimiter(errorFolder);
    std::vector<TFailedFile> files;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            struct stat st {};
            const std::string path = folder + e->d_name;
            if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            TFailedFile file;
            file.Name = e->d_name;
            file.Size = static_cast<uint64_t>(st.st_size);
            FileModifiedTime(path, file.Modified);
            file.Received = IsRecordedReceived(path);
            if (auto reason = known.find(file.Name); reason != known.end())
                file.Reason = reason->second;
            files.push_back(std::move(file));
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end(),
              [](const TFailedFile& a, const TFailedFile& b) { return a.Name < b.Name; });
    if (files.empty() || logFolder.empty()) return files;

    // Without its record, a file of the receive side's name may be an earlier version's raw
    // copy; the log tells.
    std::vector<bool> undecided;
    for (const TFailedFile& file : files)
        undecided.push_back(!file.Received && IsReceivedFailure(file.Name));
    const auto open = [&](std::size_t i) { return files[i].Reason.empty() || undecided[i]; };
    std::size_t left = 0;
    for (std::size_t i = 0; i < files.size(); ++i) left += open(i) ? 1 : 0;
    int read = 0;
    for (const std::string& log : LogFilesNewestFirst(logFolder)) {
        if (left == 0 || read++ >= maxLogFiles) break;
        std::vector<std::string> messages;
        for (const std::string& line : ReadLogLines(log))
            messages.push_back(ParseLogLine(line).Message);
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!open(i)) continue;
            TFailedFile& file = files[i];
            if (file.Reason.empty()) file.Reason = ReasonFromLines(messages, file.Name);
            if (undecided[i]) {
                const TMovedBy by = MovedIntoErrorBy(messages, file.Name);
                undecided[i] = by == TMovedBy::Unknown;
                file.Received = by == TMovedBy::ReceiveSide;
            }
            if (!open(i)) --left;
        }
    }
    return files;
}
