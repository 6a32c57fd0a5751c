#pragma once

// Real peers for the HTTPS tests, each started on 127.0.0.1 with a free port and ended
// with the test: tinyproxy (plain proxy and CONNECT tunnel, optionally with BasicAuth),
// dante (SOCKS4 and SOCKS5 without authentication) and openssl s_server -www with the
// certificates tools/tls_make_certs.sh makes for this run.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"

// A folder under the temporary folder, removed with its content at the end.
// The shared temporary folder, open to every user (peers that drop to "nobody" read their
// files there); its path has no trailing "/".
class TTempFolder {
  public:
    TTempFolder();
    const std::string& Path() const { return path_; }

  private:
    TTempDir dir_{"dovrant-peer-"};
    std::string path_;
};

// A program run for a test in its own process group, ended (TERM, then KILL) with the
// object. Its output goes to a log file.
class TPeerProcess {
  public:
    TPeerProcess(const std::vector<std::string>& argv, const std::string& logFile);
    ~TPeerProcess();
    bool Running();
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// True once something accepts connections on 127.0.0.1:port (waits at most limit).
bool WaitForListener(uint16_t port, std::chrono::milliseconds limit = std::chrono::seconds(10));

// A peer program listening on 127.0.0.1: its port, whether it came up, its folder.
class TPeerServer {
  public:
    uint16_t Port() const { return port_; }
    bool Ready() const { return ready_; }

  protected:
    TTempFolder folder_;
    uint16_t port_ = 0;
    bool ready_ = false;
    std::unique_ptr<TPeerProcess> process_;
};

// tinyproxy on a free port; with a user, BasicAuth user password is required.
class TTinyproxy : public TPeerServer {
  public:
    explicit TTinyproxy(const std::string& user = "", const std::string& password = "");
    std::string Log() const;
};

// danted on a free port, SOCKS4 and SOCKS5 with the method "none".
class TDante : public TPeerServer {
  public:
    TDante();
};

// The folder with this run's test certificates (made on first use) and ca.pem in it.
const std::string& TestCertificates();

// openssl s_server -www on a port the system chooses, with the named certificate of
// TestCertificates() ("trusted", "selfsigned", "expired", "wronghost"). It answers
// "GET / HTTP/1.0".
// Extra options go to s_server as they are ("-verify", "1" asks for a client certificate).
class TTlsServer : public TPeerServer {
  public:
    explicit TTlsServer(const std::string& certificate,
                        const std::vector<std::string>& options = {});
};

// Points SSL_CERT_FILE (or, asFolder, SSL_CERT_DIR) at the test root for the life of
// the object, then restores the variable.
class TTrustTestRoot {
  public:
    explicit TTrustTestRoot(bool asFolder = false);
    ~TTrustTestRoot();

  private:
    const char* variable_;
    std::string saved_;
    bool had_ = false;
};
