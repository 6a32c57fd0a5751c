#include "mail/attached_files.h"

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "mail/mail_text.h"

namespace {

std::string NamePart(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Extension (without its dot, lower-case) to media type, from a file of lines
// "type ext ext ..."; "#" starts a comment.
std::map<std::string, std::string> LoadMimeTypes(const std::string& tableFile) {
    std::map<std::string, std::string> table;
    std::ifstream in(tableFile);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string type, ext;
        if (!(words >> type)) continue;
        while (words >> ext) table.emplace(mailtext::LowerCase(ext), type);
    }
    return table;
}

std::string Lookup(const std::map<std::string, std::string>& table, const std::string& path) {
    std::string name = NamePart(path);
    std::string::size_type dot = name.rfind('.');
    if (dot != std::string::npos) {
        auto it = table.find(mailtext::LowerCase(name.substr(dot + 1)));
        if (it != table.end()) return it->second;
    }
    return "application/octet-stream";
}

}  // namespace

TMailMemoryStream& TAttachedFile::CreateData() {
    dataFile_.reset();
    data_ = std::make_unique<TMailMemoryStream>();
    return *data_;
}

void TAttachedFile::SetDataFile(std::unique_ptr<TDataFile> file) {
    data_.reset();
    dataFile_ = std::move(file);
}

TMailMemoryStream* TAttachedFile::Data() const {
    if (!data_ && dataFile_) {
        auto data = std::make_unique<TMailMemoryStream>();
        data->LoadFromDataFile(*dataFile_);
        data_ = std::move(data);
        dataFile_.reset();
    }
    return data_.get();
}

std::size_t TAttachedFile::DataSize() const {
    return data_ ? data_->Size() : dataFile_ ? dataFile_->Size() : 0;
}

void TAttachedFile::SaveToFile(const std::string& path) const {
    if (data_)
        WriteFileWhole(path, data_->View());
    else if (dataFile_)
        WriteFileWhole(path, *dataFile_);
    else
        throw std::runtime_error("Invalid op.");
}

bool TAttachedFile::SaveToFileIfFree(const std::string& path) const {
    if (data_) return WriteFileWholeIfFree(path, data_->View());
    if (dataFile_) return WriteFileWholeIfFree(path, *dataFile_);
    throw std::runtime_error("Invalid op.");
}

TAttachedFile& TAttachedFiles::Add(const std::string& nameOrPath) {
    auto item = std::make_unique<TAttachedFile>();
    item->SetFileName(NamePart(nameOrPath));
    item->SetSourcePath(nameOrPath);
    item->SetContentType(LookupContentType(nameOrPath));
    items_.push_back(std::move(item));
    return *items_.back();
}

void TAttachedFiles::Clear() {
    items_.clear();
    spool_.reset();
}

TDataSpool& TAttachedFiles::Spool() {
    if (!spool_) spool_ = TDataSpool::Create();
    return *spool_;
}

std::string LookupContentType(const std::string& path) {
    static const auto table = LoadMimeTypes("/etc/mime.types");
    return Lookup(table, path);
}

std::string LookupContentTypeIn(const std::string& path, const std::string& tableFile) {
    return Lookup(LoadMimeTypes(tableFile), path);
}
