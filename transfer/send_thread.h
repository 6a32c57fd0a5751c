#pragma once

// The worker of one send cycle: walks the Outbox queue, wraps each file into a small mail
// file, uploads it to the service of its first character with one HTTPS POST, and moves
// the file to the Sentbox, or to the Error folder after three failed attempts.

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "common/base/stringlist.h"
#include "common/base/worker_thread.h"
#include "common/settings.h"
#include "transfer/https_route.h"
#include "transfer/transfer_outcome.h"

class IMainView;

// Raised by BuildMessageFile for an Outbox file that cannot travel as text.
class EUnsendableFile : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Raised by BuildMessageFile for an Outbox entry that is no regular file (a symbolic link,
// FIFO, socket or device): it is never opened through, nor sent.
class ENotRegularFile : public EUnsendableFile {
  public:
    using EUnsendableFile::EUnsendableFile;
};

// Why an entry of this mode (st_mode) cannot be sent as a file; empty for a regular file.
std::string NotRegularFileReason(unsigned mode);

// One version of a file: what tells it apart from a file renamed over it or written since.
struct TFileVersion {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TFileVersion&) const = default;
};

// The version of the regular file at path (a link is not followed); false when there is none.
bool FileVersionAt(const std::string& path, TFileVersion& version);

// The upload settings of one request (the send side of the connection settings).
struct TUploadSettings {
    std::string UrlFormat;
    std::string Receiver;
    std::string Sender;
    THttpsRoute Route;
    int TimeoutSeconds = 0;
};

// What a send cycle runs on: the settings of the moment it started, the queue the Outbox
// scan found, and the controller's automatic-sending switch (read before each file, so a
// pause stops the run there; it must outlive the worker).
struct TSendJob {
    TSettingsSnapshot Settings;
    TStringList Queue;
    const std::atomic<bool>* AutoImport = nullptr;
};

class TSendThread : public TWorkerThread {
  public:
    using TEndHandler = std::function<void(TWorkerThread& thread)>;
    // view, the main window, is reached only on the main thread (may be null); sendFinish
    // runs on the main thread after the cycle. Start() starts it.
    TSendThread(TSendJob job, IMainView* view, TEndHandler sendFinish);

    // The last upload's result, or 0 when none was attempted.
    int ReturnValue() const { return returnValue_; }
    // What became of each file, and the run's failure; read it in the end handler.
    const TSendOutcome& Outcome() const { return outcome_; }

    // One upload of a message file: 0 when the service accepted it, -1 otherwise.
    int Http_SendFile(const std::string& messageFile, const TUploadSettings& settings);
    // Writes the mail file of an Outbox file (named after it, ".msg") into a new private work
    // folder of the Outbox, which the upload then uses, and returns its path. The file is read
    // through one descriptor, opened without following a link or blocking; ReadVersion()
    // then tells which version was read. Raises ENotRegularFile for an entry that is no
    // regular file, EUnsendableFile for a file holding a NUL byte (text would end there),
    // and std::runtime_error when it cannot be read or written.
    std::string BuildMessageFile(const std::string& outboxFile, const std::string& service,
                                 const std::string& receiver);
    const TFileVersion& ReadVersion() const { return readVersion_; }
    std::string MakeBoundary();
    // Moves an Outbox file to the Error folder; a file that cannot be copied there stays.
    void MoveToErrorFolder(const std::string& outboxFile, const std::string& reason);

    // After a failed Http_SendFile: the whole request went out but no answer came, so the
    // service may have taken the message. Such an upload is not repeated.
    bool MayBeDelivered = false;
    std::string StatusText;
    int32_t BodySize = 0;
    std::string Boundary;

  protected:
    void Execute() override;

  private:
    void RunPasses(int& sent);
    // One file of a pass: on to the next file (counted among the sent or given-up ones, or
    // skipped from the numbering), or the same file again after a failed upload.
    enum class TStep { Next, Skipped, Retry };
    TStep SendOne(const std::string& path, int attempt, std::string& messageFile,
                  std::string& receiver, std::string& urlFormat, int& sent);
    void ShowSendActivity();
    void ShowStatus();
    void FileSent(const std::string& outboxFile);
    // Whether path names the version that was read and sent; moved tells that it was moved
    // since, so a copy to another file system may have its own device and inode.
    bool IsReadVersion(const std::string& path, bool moved) const;
    // Leaves the version that came after the one sent in the Outbox: at outboxFile, or moved
    // back there (under a free name) from moved.
    void KeepNewVersion(const std::string& outboxFile, const std::string& moved);
    void Record(const std::string& outboxFile, TFileFate fate, const std::string& reason,
                const std::string& filedAs = "");
    // Removes the message file and the upload's work folder (kept in debug mode).
    void DropWorkFiles(std::string& messageFile);
    void WriteBody(const std::string& bodyFile, const std::string& messageFile,
                   const TUploadSettings& settings);
    int JudgeAnswer(const std::string& statusLine, const std::string& responseFile);
    bool AutoImport() const { return job_.AutoImport && job_.AutoImport->load(); }

    TSendJob job_;
    const TSettings& settings_;
    IMainView* view_;
    int returnValue_ = 0;
    TSendOutcome outcome_;
    TFileVersion readVersion_;
    std::string workFolder_;  // the upload's work folder, with the message file; ends in "/"
};

// The text of a send return code ("(-101) Not authorized for using this service."), or
// "Unknown return code: " + body for any code the service does not list.
std::string SendReturnCodeText(int code, const std::string& body);
