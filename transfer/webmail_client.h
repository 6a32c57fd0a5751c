#pragma once

// The web mailbox as the receive side speaks to it: three kinds of GET (count, retrieve,
// delete; URL formats from the settings), each answered with a status line and a body that
// is either the content or a return code. Every line it logs has the passwords hidden.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "transfer/https_route.h"

struct TSettings;
class TPumpTimer;
class TipsHTTPS;
class TAtomicFile;

class TWebMailClient {
  public:
    // settings must outlive the client.
    explicit TWebMailClient(const TSettings& settings);
    ~TWebMailClient();
    TWebMailClient(const TWebMailClient&) = delete;
    TWebMailClient& operator=(const TWebMailClient&) = delete;

    std::string CountUrl(const std::string& userId, const std::string& loginId,
                         const std::string& password) const;
    // The message id goes into the URL with the bytes a URL cannot carry as they are
    // percent-encoded; an id that is not IsSendableMessageId must not be given.
    std::string RetrieveUrl(const std::string& userId, const std::string& loginId,
                            const std::string& password, const std::string& msgId) const;
    std::string DeleteUrl(const std::string& userId, const std::string& loginId,
                          const std::string& password, const std::string& msgId) const;

    // One GET of url: true when it succeeded with "200 OK". The body is left in Body() and,
    // when localFile is given, written there whole and flushed, byte for byte, as it arrives;
    // Body() then keeps only its first kMaxAnswerBytes when retrieving. retrieving
    // posts the download's progress to the main window. A firewall port that is no number
    // raises EBadPort past it (the run ends); every other error fails only this call. Besides
    // the inactivity time-out, the whole request is stopped after RequestLimitSeconds, and a
    // count or delete answer (not retrieving) over kMaxAnswerBytes is refused with an empty
    // Body().
    bool Get(const std::string& url, const std::string& localFile, bool retrieving);
    const std::string& Body() const { return responseText_; }

    // True when the trimmed body is a return code (at most 5 characters, an integer).
    bool ReturnCodeEmbedded(int& code) const;
    std::string ReturnCodeText(int code) const;

    void Log(const std::string& message, int level) const;

    static constexpr std::size_t kMaxAnswerBytes = 64 * 1024;
    // Ten times the time-out, at least five minutes: a trickling answer re-arms the
    // inactivity timer with every byte.
    int64_t RequestLimitSeconds() const;

  private:
    void AttachEvents(TipsHTTPS& https);
    void TimeoutTimerTimer();
    void RequestLimitTimer();
    // Arms the inactivity timer for a full interval (when a time-out is set).
    void RestartTimeoutTimer();
    // Takes a piece of the answer's body: into Body() and, when asked for, the copy's file.
    void KeepPiece(const std::string& piece);
    // The file the copy is written to, made with the first piece.
    TAtomicFile& Copy();

    const TSettings& settings_;
    int32_t contentLength_ = 0;
    bool retrieving_ = false;
    bool inTransfer_ = false;
    TipsHTTPS* https_ = nullptr;
    std::unique_ptr<TPumpTimer> timeoutTimer_;
    std::unique_ptr<TPumpTimer> requestLimitTimer_;
    // The answer was over kMaxAnswerBytes: what came is dropped, the request is stopped.
    bool refused_ = false;
    std::string responseText_;
    // Body() holds only the start of a longer answer.
    bool bodyCut_ = false;
    std::string copyPath_;
    std::unique_ptr<TAtomicFile> copy_;
    // Why the copy could not be written; the request was stopped then.
    std::exception_ptr copyError_;
};

// Whether a message id from the count answer may go into a URL: not one holding CR, LF, a
// blank or another control character, which would reach the request head.
bool IsSendableMessageId(const std::string& msgId);

// Reads a count answer: count "/" id ";" id ";" ... Fills ids with the first count ids and
// returns true, or returns false ("Unknown content") without "/" or with too few ids. A count
// prefix that is not a number raises EConvertError. A count of 0 or less gives no ids.
bool ParseCountAnswer(const std::string& body, int& count, std::vector<std::string>& ids);

// The text as an integer (TryStrToInt of common/base/text.h); raises EConvertError
// "'text' is not a valid integer value" otherwise.
int32_t StrToInt(const std::string& text);

// text with every occurrence of the receive side's passwords (the company password, the
// receive proxy and firewall passwords, as typed and as they travel in a URL) replaced by
// "********". The first form reads the loaded settings.
std::string HidePasswords(const std::string& text);
std::string HidePasswords(const TSettings& settings, const std::string& text);
