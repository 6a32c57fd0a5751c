#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "mail/mail_lines.h"
#include "mail/mail_stream.h"

// One attachment of a parsed message.
class TAttachedFile {
  public:
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& v) { fileName_ = v; }
    const std::string& SourcePath() const { return sourcePath_; }
    void SetSourcePath(const std::string& v) { sourcePath_ = v; }
    const std::string& ContentType() const { return contentType_; }
    void SetContentType(const std::string& v) { contentType_ = v; }
    TMailLines& EncodedLines() { return encodedLines_; }
    // The decoded bytes; null until the parser has decoded the attachment. Bytes decoded
    // into the spool file stay there until Data is first asked for, so a large attachment is
    // held in memory only by those who need it there.
    TMailMemoryStream* Data() const;
    TMailMemoryStream& CreateData();
    void SetDataFile(std::unique_ptr<TDataFile> file);
    // Number of decoded bytes, without loading them.
    std::size_t DataSize() const;

    // Writes the decoded bytes to path, replacing an existing file whole or not at all;
    // "Invalid op." when the item has no data.
    void SaveToFile(const std::string& path) const;
    // The same, but never over an existing file: false then, and nothing is written.
    bool SaveToFileIfFree(const std::string& path) const;

  private:
    std::string fileName_, sourcePath_, contentType_;
    TMailLines encodedLines_;
    mutable std::unique_ptr<TMailMemoryStream> data_;
    mutable std::unique_ptr<TDataFile> dataFile_;
};

// The attachments of a message, in the order the parser created them.
class TAttachedFiles {
  public:
    std::size_t Count() const { return items_.size(); }
    TAttachedFile& operator[](std::size_t i) { return *items_.at(i); }
    const TAttachedFile& operator[](std::size_t i) const { return *items_.at(i); }
    // Appends an item named by the name part of nameOrPath, with the content type registered
    // for its extension.
    TAttachedFile& Add(const std::string& nameOrPath);
    void Clear();
    // The file in which the decoded bytes of the attachments wait, made when first needed.
    TDataSpool& Spool();

  private:
    std::vector<std::unique_ptr<TAttachedFile>> items_;
    std::shared_ptr<TDataSpool> spool_;
};

// The media type registered for the file's extension in /etc/mime.types;
// "application/octet-stream" when there is none.
std::string LookupContentType(const std::string& path);
// The same lookup in another table of the mime.types form (for tests and other systems).
std::string LookupContentTypeIn(const std::string& path, const std::string& tableFile);
