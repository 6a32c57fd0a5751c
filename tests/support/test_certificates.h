#pragma once

// The certificates tools/tls_make_certs.sh makes (a test root, a certificate it issued for
// 127.0.0.1, one signed by itself, ...), made once per test program, and their fingerprints.

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "common/base/text.h"
#include "support/temp_dir.h"

// The folder holding <name>.pem and <name>.key, ending with "/".
inline const std::string& Certificates() {
    static TTempDir dir("dovrant-certs-");
    static const bool made =
        std::system((std::string(DOVRANT_SOURCE_DIR) + "/tools/tls_make_certs.sh " + dir.Path() +
                     "certs >" + dir.Path() + "make.log 2>&1")
                        .c_str()) == 0;
    if (!made) throw std::runtime_error("tools/tls_make_certs.sh failed");
    static const std::string path = dir.Path() + "certs/";
    return path;
}

// The fingerprint as openssl prints it: "AB:CD:...", upper case with colons.
inline std::string OpensslFingerprint(const std::string& name) {
    const std::string command =
        "openssl x509 -noout -fingerprint -sha256 -in " + Certificates() + name + ".pem";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return Trim(out.substr(out.find('=') + 1));
}
