#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "mail/mail_stream.h"
#include "mail/orv_msg.h"
#include "support/temp_dir.h"

// Appends what it is given to a string.
class TStringStream : public TMailStream {
  public:
    std::size_t Write(const void* buffer, std::size_t count) override {
        bytes.append(static_cast<const char*>(buffer), count);
        return count;
    }
    std::string bytes;
};

// A parsed message built from raw text (lines split at CR, LF or CR LF).
inline std::unique_ptr<TOrvMsg> Parse(const std::string& raw, const std::string& expected = "") {
    auto msg = std::make_unique<TOrvMsg>();
    msg->RawMail().SetText(raw);
    msg->SetExpectedContentType(expected);
    msg->ParseMsg();
    return msg;
}

inline std::string DataOf(const TOrvMsg& msg, std::size_t i) {
    const TMailMemoryStream* data = msg.Attachments()[i].Data();
    return data ? std::string(data->View()) : std::string();
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder removed with everything in it at the end of the test.
// The shared temporary folder, seen as a path.
class TScratchDir {
  public:
    std::filesystem::path Path() const {
        return std::filesystem::path(dir_.Path()).parent_path();  // without the trailing "/"
    }

  private:
    TTempDir dir_{"mailtest"};
};

// Runs a shell command and returns its standard output; the exit status goes to status.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    int rc = ::pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}
