#pragma once

// The one way the program writes a file that others read: whole or not at all.
//
// The data goes to a temporary file made with mkstemp in the target's own folder, is
// flushed to disk and then renamed over the target, and the folder is flushed so the new
// name survives a power cut. A program watching the folder never sees half a file; a
// failure at any step leaves the previous file as it was and removes the temporary one.
//
// A replaced file keeps its mode (and, where the program may set it, its owner); a new file
// gets the mode the process's umask allows. A symbolic link at the target is replaced by
// the new file, never followed.

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

// A failed atomic write; Errno holds the cause.
class EAtomicWriteError : public std::runtime_error {
  public:
    EAtomicWriteError(const std::string& message, int error)
        : std::runtime_error(message), Errno(error) {}
    int Errno;
};

// The steps a test may make fail.
enum class TAtomicStep { Create, Write, Fsync, Rename };

// Installs a fault hook (empty removes it): called before each step, a non-zero result is
// taken as that step's errno. For tests of full disks and failing media.
void SetAtomicWriteFault(std::function<int(TAtomicStep step)> fault);
// The same, told also the path of the file the step is for (the target, not its temporary).
void SetAtomicPathFault(std::function<int(TAtomicStep step, const std::string& path)> fault);

// A file being written to its temporary name. Destroyed without Commit, it leaves nothing.
class TAtomicFile {
  public:
    // Creates the temporary file beside path; raises EAtomicWriteError.
    explicit TAtomicFile(std::string path);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // The temporary file's descriptor, for callers that copy with their own calls; they
    // report failures by throwing.
    int Fd() const { return fd_; }
    // Writes every byte; raises EAtomicWriteError.
    void Write(const void* data, std::size_t size);
    void Write(std::string_view data) { Write(data.data(), data.size()); }
    // Sets the mode the new file gets (before Commit); the default is described above.
    void SetMode(unsigned mode) { mode_ = static_cast<int>(mode); }
    // The same, and a file replaced does not hand on its mode: for files whose readers must
    // trust that only their owner wrote them.
    void SetModeAlways(unsigned mode) {
        SetMode(mode);
        modeAlways_ = true;
    }
    // Work files that only this program reads back may skip the flushes to disk; the
    // rename still keeps readers from half a file.
    void SetFlushToDisk(bool flush) { flush_ = flush; }
    // Flushes and renames over the target; raises EAtomicWriteError.
    void Commit();
    // Flushes and puts the file at the target only while no file has that name: false when
    // one has (the temporary file then goes with this object); raises EAtomicWriteError.
    bool CommitIfFree();

  private:
    [[noreturn]] void Fail(const char* what, int error);
    // Gives the temporary file its mode, flushes and closes it.
    void Finish();

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    int mode_ = -1;
    bool modeAlways_ = false;
    bool flush_ = true;
};

// Writes data to path whole or not at all.
void WriteFileAtomic(const std::string& path, std::string_view data);
// Copies source to target whole or not at all, with the source's modification time (as the
// platform copy does); an existing target is replaced. Raises EAtomicWriteError.
void CopyFileAtomic(const std::string& source, const std::string& target);
// The same, but a file already at target (or put there meanwhile by another writer) is never
// replaced: false then.
bool CopyFileAtomicIfFree(const std::string& source, const std::string& target);
// Renames source to target on one file system only while no file has that name: false when
// one has. Raises EAtomicWriteError otherwise (Errno EXDEV across file systems).
bool RenameFileIfFree(const std::string& source, const std::string& target);
// Moves source to target (replacing it) so that at every moment the file is whole in
// exactly one of the two places: a rename where both lie on one file system, else an
// atomic copy flushed to disk before the source is removed. Raises EAtomicWriteError;
// the source is then still in place.
void MoveFileAtomic(const std::string& source, const std::string& target);
// name, when folder (ending with "/") holds no entry of that name; else the first free one of
// NAME_1.EXT, NAME_2.EXT, ...; empty when none is free.
std::string FreeNameIn(const std::string& folder, const std::string& name);
// Moves source into folder (ending with "/") as name or, when an entry of that name is
// there (or appears meanwhile), under the first free name of FreeNameIn; never replaces a
// file. Whole in exactly one place at every moment, as MoveFileAtomic. Returns the name
// used. Raises EAtomicWriteError; the source is then still in place.
std::string MoveFileAtomicToFreeName(const std::string& source, const std::string& folder,
                                     const std::string& name);
// Flushes a folder's entries to disk (a new file or sub-folder in it survives a power cut).
void FlushFolder(const std::string& folder);
// The umask of this process, read without changing it.
unsigned ProcessUmask();
