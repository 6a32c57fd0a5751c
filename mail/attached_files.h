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
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& v) { file_name_ = v; }
  const std::string& SourcePath() const { return source_path_; }
  void SetSourcePath(const std::string& v) { source_path_ = v; }
  const std::string& ContentType() const { return content_type_; }
  void SetContentType(const std::string& v) { content_type_ = v; }
  TMailLines& EncodedLines() { return encoded_lines_; }
  // The decoded bytes; null until the parser has decoded the attachment. Bytes decoded
  // through a temporary file stay there until Data is first asked for, so a large attachment
  // is held in memory only by those who need it there.
  TMailMemoryStream* Data() const;
  TMailMemoryStream& CreateData();
  void SetDataFile(std::unique_ptr<TDataFile> file);
  // Number of decoded bytes, without loading them.
  std::size_t DataSize() const;

  // Writes the decoded bytes to path, replacing an existing file whole or not at all;
  // "Invalid op." when the item has no data.
  void SaveToFile(const std::string& path) const;

 private:
  std::string file_name_, source_path_, content_type_;
  TMailLines encoded_lines_;
  mutable std::unique_ptr<TMailMemoryStream> data_;
  mutable std::unique_ptr<TDataFile> data_file_;
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
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TAttachedFile>> items_;
};

// The media type registered for the file's extension in /etc/mime.types;
// "application/octet-stream" when there is none.
std::string LookupContentType(const std::string& path);
// The same lookup in another table of the mime.types form (for tests and other systems).
std::string LookupContentTypeIn(const std::string& path, const std::string& tableFile);
