#pragma once

// The stand-in web-mail service (tools/webmail) run for one test: started on 127.0.0.1 with
// every port chosen by the system, ended with the object (it also ends by itself when this
// process goes away, since it watches its standard input).

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

// An account of the service; passwords reach it through a file, never its command line.
struct TStandinAccount {
    std::string Email, Login, Password;
};

class TWebMailStandin {
  public:
    explicit TWebMailStandin(const std::vector<TStandinAccount>& accounts = {},
                             const std::vector<std::string>& extraArgs = {});
    ~TWebMailStandin();
    TWebMailStandin(const TWebMailStandin&) = delete;
    TWebMailStandin& operator=(const TWebMailStandin&) = delete;

    // A URL format of the service ("send", "count", "retrieve", "delete"), ready for the
    // settings, over HTTPS unless plain is asked for.
    std::string UrlFormat(const std::string& call, bool https = true) const;

    // The control interface: the answer body of a GET or of a POST with a JSON body.
    std::string Get(const std::string& path) const;
    std::string Post(const std::string& path, const std::string& json) const;

    int HttpsPort = 0;
    int HttpPort = 0;
    int ControlPort = 0;
    std::string CaFile;

    // Where the stand-in keeps its files (certificates, request log).
    std::string StateDir() const { return state_.Path(); }

  private:
    TTempDir state_{"dovrant-webmail-"};
    pid_t pid_ = -1;
    int stdinFd_ = -1;
};

// A JSON string literal of text (quotes included).
std::string JsonText(const std::string& text);
// The number after "name": in a JSON text; -1 when absent.
long JsonNumber(const std::string& json, const std::string& name);
