#pragma once

// The LocalFile the response body is written to: created (replacing an existing file) when
// the first body piece arrives, so a response without body leaves the file untouched.

#include <string>
#include <string_view>

#include "common/base/unique_handle.h"

class TLocalFileWriter {
  public:
    explicit TLocalFileWriter(std::string path) : path_(std::move(path)) {}

    bool IsOpen() const { return static_cast<bool>(fd_); }
    // Creates the file; false when it cannot be created.
    bool Open();
    // Writes all of piece; false (with Error) when the file did not take it all, and the
    // file is closed then.
    bool Write(std::string_view piece);
    // Closes the file; false (with Error) when the system reports that what was written
    // did not reach it.
    bool Close();
    // The errno of the last failure.
    int Error() const { return error_; }

  private:
    std::string path_;
    TUniqueFd fd_;
    int error_ = 0;
};
