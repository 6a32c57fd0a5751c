#include "https/response_reader.h"

#include <algorithm>
#include <cstdint>

#include "https/url.h"

std::string StatusCodeText(const std::string& statusLine) {
    const size_t space = statusLine.find(' ');
    return space == std::string::npos ? std::string() : statusLine.substr(space + 1);
}

void SplitHeaderLine(const std::string& line, std::string& field, std::string& value) {
    if (line.empty() || static_cast<unsigned char>(line[0]) < '!') {
        field.clear();
        value = line.empty() ? std::string() : line.substr(1);
        return;
    }
    const size_t colon = line.find(':');
    field = line.substr(0, colon);
    if (colon == std::string::npos) {
        value.clear();
        return;
    }
    size_t start = colon + 1;
    if (start < line.size() && line[start] == ' ') ++start;
    value = line.substr(start);
}

TSetCookie ParseSetCookie(const std::string& value) {
    TSetCookie cookie;
    size_t end = value.find(';');
    const std::string pair = value.substr(0, end);
    const size_t equals = pair.find('=');
    cookie.Name = pair.substr(0, equals);
    if (equals != std::string::npos) cookie.Value = pair.substr(equals + 1);

    while (end != std::string::npos) {
        size_t start = end + 1;
        if (start < value.size() && value[start] == ' ') ++start;
        end = value.find(';', start);
        const std::string attribute =
            value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t eq = attribute.find('=');
        const std::string key = attribute.substr(0, eq);
        const std::string text = eq == std::string::npos ? std::string() : attribute.substr(eq + 1);
        if (SameText(key, "EXPIRES"))
            cookie.Expires = text;
        else if (SameText(key, "DOMAIN"))
            cookie.Domain = text;
        else if (SameText(key, "PATH"))
            cookie.Path = text;
        else if (SameText(key, "SECURE"))
            cookie.Secure = true;
    }
    return cookie;
}

namespace {

// A Content-Length value: decimal digits between optional blanks, else nothing.
std::optional<uint64_t> ParseContentLength(const std::string& value) {
    const size_t first = value.find_first_not_of(" \t");
    const size_t last = value.find_last_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    uint64_t length = 0;
    for (size_t i = first; i <= last; ++i) {
        const char c = value[i];
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (length > (UINT64_MAX - digit) / 10) return std::nullopt;
        length = length * 10 + digit;
    }
    return length;
}

}  // namespace

bool TResponseReader::IsRedirectStatus() const {
    return StatusCodeText(statusLine_).starts_with("3");
}

void TResponseReader::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (state_ == TReaderState::Ignoring || state_ == TReaderState::TooLarge) return;
        if (holding_ && state_ != TReaderState::StatusLine) {
            held_.append(bytes);
            return;
        }
        if (state_ == TReaderState::Body) {
            TakeBody(bytes);
            return;
        }
        if (state_ == TReaderState::StatusLine && line_.empty() && bytes[0] != 'H') {
            // No status line: the whole response is body.
            state_ = TReaderState::Body;
            continue;
        }
        const size_t lf = bytes.find('\n');
        const size_t room = kMaxLineLength - line_.size();
        const bool ended = lf != std::string_view::npos && lf <= room;
        const size_t take = ended ? lf + 1 : std::min(bytes.size(), room);
        headBytes_ += take;
        if (headBytes_ > kMaxHeadBytes) {
            state_ = TReaderState::TooLarge;
            line_.clear();
            return;
        }
        if (!ended) {
            line_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (line_.size() >= kMaxLineLength) {
                std::string part;
                part.swap(line_);
                TakeLine(std::move(part));
            }
            continue;
        }
        line_.append(bytes.substr(0, lf));
        bytes.remove_prefix(take);
        std::string line;
        line.swap(line_);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        TakeLine(std::move(line));
    }
}

void TResponseReader::Finish() {
    if (line_.empty() || (state_ != TReaderState::StatusLine && state_ != TReaderState::Headers))
        return;
    std::string line;
    line.swap(line_);
    if (line.back() == '\r') line.pop_back();
    TakeLine(std::move(line));
}

std::string TResponseReader::Release() {
    holding_ = false;
    std::string held;
    held.swap(held_);
    return held;
}

void TResponseReader::TakeLine(std::string line) {
    if (state_ == TReaderState::StatusLine) {
        statusLine_ = std::move(line);
        state_ = TReaderState::Headers;
        return;
    }
    if (line.empty()) {
        state_ = TReaderState::Body;
        if (Events.StartTransfer) Events.StartTransfer();
        return;
    }
    TakeHeader(line);
}

void TResponseReader::TakeHeader(const std::string& line) {
    headerText_ += line;
    headerText_ += "\r\n";
    std::string field, value;
    SplitHeaderLine(line, field, value);
    // Only a 3xx answer redirects; a Location of any other answer is an ordinary header, so
    // the body of a successful answer is never dropped.
    if (followRedirects_ && SameText(field, "Location") && IsRedirectStatus()) {
        redirectTarget_ = value;
        headerText_.clear();
        state_ = TReaderState::Ignoring;
        return;
    }
    if (SameText(field, "Content-Length")) contentLength_ = ParseContentLength(value);
    if (SameText(field, "Transfer-Encoding") &&
        LowerCase(value).find("chunked") != std::string::npos)
        chunks_.emplace();
    if (Events.Header) Events.Header(field, value);
    if (SameText(field, "Set-Cookie") && Events.SetCookie) Events.SetCookie(ParseSetCookie(value));
}

void TResponseReader::TakeBody(std::string_view piece) {
    auto take = [this](std::string_view data) {
        bodyBytes_ += data.size();
        if (Events.Body) Events.Body(data);
    };
    if (chunks_)
        chunks_->Feed(piece, take);
    else
        take(piece);
}
