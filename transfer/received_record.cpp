#include "transfer/received_record.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"

namespace {

const std::string kTag = "Quillbern Dovrant received message";
const std::string kSize = "Size: ";

}  // namespace

std::string ReceivedRecordPath(const std::string& rawPath) {
    return ExtractFilePath(rawPath) + "." + ExtractFileName(rawPath) + ".received";
}

void WriteReceivedRecord(const std::string& rawPath, const std::string& msgId, uint64_t size) {
    std::string id = msgId;
    std::erase_if(id, [](char c) { return c == '\r' || c == '\n'; });
    WriteFileAtomic(ReceivedRecordPath(rawPath),
                    kTag + "\nId: " + id + "\n" + kSize + std::to_string(size) + "\n");
}

bool IsRecordedReceived(const std::string& rawPath) {
    struct stat st {};
    if (::lstat(rawPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::ifstream record(ReceivedRecordPath(rawPath), std::ios::binary);
    std::string line;
    if (!std::getline(record, line) || line != kTag) return false;
    // A few lines at most; a file that is no record of ours ends the look.
    for (int i = 0; i < 8 && std::getline(record, line); ++i)
        if (line.rfind(kSize, 0) == 0)
            return line.substr(kSize.size()) == std::to_string(st.st_size);
    return false;
}

void RemoveReceivedRecord(const std::string& rawPath) {
    ::unlink(ReceivedRecordPath(rawPath).c_str());
}
