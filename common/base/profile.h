#pragma once

#include <mutex>
#include <stdexcept>
#include <string>

#include "common/base/stringlist.h"

// A profile (INI) file: "[section]" headings, "key=value" entries, ";" comment lines.
// Section and key names compare without regard to case; keys and values are read without
// surrounding blanks and tabs. Every read looks at the file as it is on disk now; every write
// goes to disk at once and leaves every other line and byte of the file as it was (line ends
// included). A missing file reads as empty; the first write creates it. One object may be used
// from several threads.
class TIniFile {
  public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Decimal, or hexadecimal after "0x"; a missing or unparsable value gives the default.
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
    // ReadInteger with 0 or 1; 0 is false, every other number true.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    // Every entry of section, in file order, as "key=value" lines.
    void ReadSectionValues(const std::string& section, TStringList& values) const;
    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;

    // Write raise EIniFileError when the file cannot be written.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

  private:
    std::string fileName_;
    mutable std::mutex mutex_;
};

class EIniFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
