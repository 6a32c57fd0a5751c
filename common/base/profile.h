#pragma once

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/base/stringlist.h"

// A profile (INI) file: "[section]" headings, "key=value" entries, ";" comment lines.
// Section and key names compare without regard to case; keys and values are read without
// surrounding blanks and tabs, and a value wrapped in one pair of matching double or single
// quotes is read without them. Reads answer from the parsed file, which is read again whenever
// the file on disk changed (another inode, size or modification time), so another copy's write
// is seen. Every write goes to disk at once and leaves every other line and byte of the file as
// it was (line ends included). A missing file reads as empty; the first write creates it; a
// file that exists but cannot be read raises EIniFileError. One object may be used from several
// threads.
//
// A write is a read-modify-write under an exclusive advisory lock (flock) on the file, so
// writers in other threads, objects and processes never lose each other's updates. The new
// text replaces the file through the atomic writer (a uniquely named new file renamed over it,
// owner and mode kept). Where that is not possible, because the folder is not writable or the
// owner could not be kept, the file is rewritten in place instead (write, truncate, fsync), as
// the classic profile functions do. Through a symbolic link the file it points to is changed,
// not the link.
//
// The file the first write creates gets the mode the umask allows, or for a file that holds a
// password (TIniAccess::OwnerOnly) 0600. An existing file keeps its mode.
enum class TIniAccess { Shared, OwnerOnly };

class TIniFile {
  public:
    explicit TIniFile(std::string fileName, TIniAccess access = TIniAccess::Shared);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

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
    struct TParsed;
    // The file as it is on disk now; mutex_ held.
    const TParsed& Current() const;

    std::string fileName_;
    TIniAccess access_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<TParsed> parsed_;
};

class EIniFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
