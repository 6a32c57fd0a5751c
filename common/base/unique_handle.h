#pragma once

// Owners of POSIX handles: the handle is released on every path out of a scope, so error
// paths need no close calls of their own.

#include <dirent.h>
#include <unistd.h>

#include <utility>

// A file descriptor; -1 holds nothing.
class TUniqueFd {
  public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : fd_(fd) {}
    ~TUniqueFd() { Reset(); }
    TUniqueFd(TUniqueFd&& other) noexcept : fd_(other.Release()) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(fd_, -1); }
    // Closes what is held and takes fd.
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports close's result (0, or -1 with errno), for writers that must
    // know whether the data reached the file.
    int Close() { return fd_ >= 0 ? ::close(std::exchange(fd_, -1)) : 0; }

  private:
    int fd_ = -1;
};

// An open folder listing.
class TUniqueDir {
  public:
    TUniqueDir() = default;
    explicit TUniqueDir(DIR* dir) : dir_(dir) {}
    ~TUniqueDir() {
        if (dir_) closedir(dir_);
    }
    TUniqueDir(TUniqueDir&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}
    TUniqueDir& operator=(TUniqueDir&& other) noexcept {
        if (this != &other) {
            if (dir_) closedir(dir_);
            dir_ = std::exchange(other.dir_, nullptr);
        }
        return *this;
    }
    TUniqueDir(const TUniqueDir&) = delete;
    TUniqueDir& operator=(const TUniqueDir&) = delete;

    DIR* Get() const { return dir_; }
    explicit operator bool() const { return dir_ != nullptr; }

  private:
    DIR* dir_ = nullptr;
};
