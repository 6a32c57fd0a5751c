#pragma once

// Which check of the web-mail service's certificate the settings ask for. Without either
// setting every certificate is taken, as installations made before verification became the
// default may rely on; the start says so in the log and the status file shows it.

#include <string>

// "verified", "pinned", "verified and pinned" or kNoCertificateCheck. A pin that is not a
// fingerprint still counts as pinned: it refuses every certificate, which is no open door.
std::string CertificateCheck(bool verify, const std::string& pinnedText);

inline constexpr const char* kNoCertificateCheck = "none";

// The line a start without a check logs once, naming the two settings.
inline constexpr const char* kNoCertificateCheckWarning =
    "Warning: any server certificate is accepted; set VERIFY_SERVER_CERT=1 or "
    "SERVER_CERT_SHA256 in [CONNECTION] of USER.INI to check it";
