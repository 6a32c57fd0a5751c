#pragma once

// The LocalFile the response body is written to: created (replacing an existing file) when
// the first body piece arrives, so a response without body leaves the file untouched.

#include <string>
#include <string_view>

class TLocalFileWriter {
  public:
    explicit TLocalFileWriter(std::string path) : path_(std::move(path)) {}
    ~TLocalFileWriter() { Close(); }
    TLocalFileWriter(const TLocalFileWriter&) = delete;
    TLocalFileWriter& operator=(const TLocalFileWriter&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Failed() const { return failed_; }
    // Creates the file; false when it cannot be created.
    bool Open();
    // Writes all of piece; on failure the file is closed and later pieces are dropped.
    bool Write(std::string_view piece);
    void Close();

  private:
    std::string path_;
    int fd_ = -1;
    bool failed_ = false;
};
