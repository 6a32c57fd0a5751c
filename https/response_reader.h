#pragma once

// Reads an HTTP/1.0 response from the bytes it is fed, in pieces of any size: the status
// line and header lines are split at LF, everything after the empty line is body and is
// passed on unsplit (only the data of a chunked body). The body ends when the connection closes
// (Finish). The reader knows nothing of sockets or files; what it finds leaves it through its
// callbacks.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "https/chunked_body.h"

struct TSetCookie {
    std::string Name;
    std::string Value;
    std::string Expires;
    std::string Domain;
    std::string Path;
    bool Secure = false;
};

// Splits the value of a "Set-Cookie" header: name=value; then key=value attributes.
TSetCookie ParseSetCookie(const std::string& value);

// Splits a header line into field and value (a continuation line has an empty field).
void SplitHeaderLine(const std::string& line, std::string& field, std::string& value);

enum class TReaderState {
    StatusLine,  // expecting the status line
    Headers,
    Body,
    Ignoring,  // a redirect target was found: the rest of the response is dropped
    TooLarge,  // the head grew past kMaxHeadBytes: the rest of the response is dropped
};

struct TResponseEvents {
    std::function<void(const std::string& field, const std::string& value)> Header;
    std::function<void(const TSetCookie& cookie)> SetCookie;
    std::function<void()> StartTransfer;  // the empty line ending the headers arrived
    std::function<void(std::string_view piece)> Body;
};

class TResponseReader {
  public:
    // Longest header line kept whole; a longer one is delivered in parts.
    static constexpr size_t kMaxLineLength = 65536;
    // Most bytes the status line, the header lines and the empty line after them may take
    // together, so a server sending header lines without end cannot fill the memory.
    static constexpr size_t kMaxHeadBytes = 256 * 1024;

    // With followRedirects a "Location" header of a 3xx response becomes the redirect target.
    explicit TResponseReader(bool followRedirects = false) : followRedirects_(followRedirects) {}

    void Feed(std::string_view bytes);
    // The connection closed: a line still waiting for its LF counts as complete.
    void Finish();
    // While held, the reader takes the status line only, which raises no event, and keeps
    // the bytes after it; Release ends the hold and hands them back to be fed again. So an
    // answer that comes while the request is still going out can be judged by its status
    // without its events overtaking those of the request.
    void Hold() { holding_ = true; }
    std::string Release();

    TResponseEvents Events;

    TReaderState State() const { return state_; }
    const std::string& StatusLine() const { return statusLine_; }
    // The header lines received, each ended by "\r\n".
    const std::string& HeaderText() const { return headerText_; }
    const std::string& RedirectTarget() const { return redirectTarget_; }
    uint64_t BodyBytes() const { return bodyBytes_; }
    // The body length the server announced in a valid Content-Length header.
    std::optional<uint64_t> ContentLength() const { return contentLength_; }
    // The body comes in chunks ("Transfer-Encoding: chunked"); BodyBytes counts their data.
    bool Chunked() const { return chunks_.has_value(); }
    bool LastChunkArrived() const { return chunks_ && chunks_->Complete(); }

  private:
    void TakeLine(std::string line);
    void TakeHeader(const std::string& line);
    void TakeBody(std::string_view piece);
    bool IsRedirectStatus() const;

    bool followRedirects_;
    bool holding_ = false;
    std::string held_;
    TReaderState state_ = TReaderState::StatusLine;
    std::string line_;      // bytes of the line not yet ended by LF
    size_t headBytes_ = 0;  // bytes of the head taken so far
    std::string statusLine_;
    std::string headerText_;
    std::string redirectTarget_;
    uint64_t bodyBytes_ = 0;
    std::optional<uint64_t> contentLength_;
    std::optional<TChunkedBody> chunks_;
};

// The status code of a status line: the text after its first space ("" when none).
std::string StatusCodeText(const std::string& statusLine);
