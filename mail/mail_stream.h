#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Byte streams of the mail model: the decoders write into them, attachments keep their data
// in a memory stream.
class TMailStream {
  public:
    enum TSeekOrigin { soBeginning, soCurrent, soEnd };
    virtual ~TMailStream() = default;
    // Number of bytes taken.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // A stream that cannot be read or positioned raises "Invalid stream operation".
    virtual std::size_t Read(void* buffer, std::size_t count);
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
};

class TDataFile;

// Bytes held in memory, grown as they are written.
class TMailMemoryStream : public TMailStream {
  public:
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::size_t Read(void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    std::size_t Size() const { return size_; }
    std::size_t Position() const { return position_; }
    const char* Memory() const { return bytes_.get(); }
    std::string_view View() const { return {bytes_.get(), size_}; }
    void Clear();
    // Replaces the content with the whole file, read into a buffer of exactly its size.
    void LoadFromFile(const std::string& path);
    // Replaces the content with the whole of an open file, read from its start.
    void LoadFromFd(int fd);
    // Replaces the content with the bytes of a data file.
    void LoadFromDataFile(const TDataFile& file);

  private:
    void LoadFromFd(int fd, const std::string& path);
    void Reserve(std::size_t capacity);
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0, capacity_ = 0, position_ = 0;
};

// The whole content of a file, in a buffer of about its size.
struct TFileBytes {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0, capacity = 0;
};
// Raises "Cannot open file" or "Cannot read file" with the path and the system's reason.
TFileBytes ReadWholeFile(const std::string& path);
// The same for an open file, read from its start; errors name path.
TFileBytes ReadWholeFd(int fd, const std::string& path);

// A file written from the start through a buffer; "Cannot create file" when it cannot be
// opened, "Stream write error" when the disk refuses the bytes.
class TMailFileStream : public TMailStream {
  public:
    explicit TMailFileStream(const std::string& path);
    // Writes to an open file that the stream does not own.
    explicit TMailFileStream(int fd) : fd_(fd), owned_(false) { buffer_.reserve(1 << 16); }
    ~TMailFileStream() override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    // Writes the buffered bytes out (and closes an owned file); errors are raised.
    void Close();

  private:
    void Flush();
    int fd_ = -1;
    bool owned_ = true;
    std::string buffer_;
};

// A new, empty file with the prefix "orv" in the system temporary folder ($TMPDIR, else /tmp).
// The file is created exclusively and left in place, so no other process can take its name
// before the caller opens it.
std::string MakeSystemTempFile();

// A temporary file made by MakeSystemTempFile that holds the decoded bytes of the attachments
// of one message, one after another. Its name is removed as soon as it is open, so it
// disappears with its last user on every path, a crash included; however many attachments a
// message has, they hold one descriptor between them.
class TDataSpool : public std::enable_shared_from_this<TDataSpool> {
  public:
    static std::shared_ptr<TDataSpool> Create();
    ~TDataSpool();
    TDataSpool(const TDataSpool&) = delete;
    TDataSpool& operator=(const TDataSpool&) = delete;
    int Fd() const { return fd_; }
    // Appends what write writes into the stream it is given; those bytes make one data file.
    std::unique_ptr<TDataFile> Append(const std::function<void(TMailStream&)>& write);

  private:
    TDataSpool();
    int fd_ = -1;
};

// Decoded bytes waiting in a spool: a range of it, which keeps the spool open. The range's
// disk space is given back when it goes.
class TDataFile {
  public:
    TDataFile(std::shared_ptr<const TDataSpool> spool, std::uint64_t offset, std::size_t size);
    ~TDataFile();
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;
    std::size_t Size() const { return size_; }
    // Copies the bytes to the start of the open file out.
    void CopyTo(int out) const;
    // The bytes, in a buffer of their size.
    TFileBytes Read() const;

  private:
    std::shared_ptr<const TDataSpool> spool_;
    std::uint64_t offset_ = 0;
    std::size_t size_ = 0;
};

// Writes data to path whole or not at all: a hidden temporary file in the same folder is
// written, flushed to disk and renamed over path.
void WriteFileWhole(const std::string& path, std::string_view data);
void WriteFileWhole(const std::string& path, const TDataFile& data);
// The same, but a file already at path (or put there meanwhile) is never replaced: false then,
// and nothing is written.
bool WriteFileWholeIfFree(const std::string& path, std::string_view data);
bool WriteFileWholeIfFree(const std::string& path, const TDataFile& data);
