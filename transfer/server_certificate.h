#pragma once

// How the send and receive workers judge the web-mail service's certificate. By default
// every certificate is taken, as services in use may present one the system does not trust;
// USER.INI can ask for the system's verdict, for a pinned SHA-256 fingerprint, or for both.

#include <string>

#include "common/fingerprint.h"

struct TSettings;

struct TServerCertificateRule {
    bool Verify = false;     // refuse a certificate that fails verification
    std::string PinnedText;  // the fingerprint as written in USER.INI; empty for none
};

struct TServerCertificateVerdict {
    bool Accept = false;
    std::string LogLine;  // without the worker's prefix: "Server certificate accepted ..."
};

// The rule of the settings read at start (ConnectionInfo).
TServerCertificateRule ServerCertificateRuleFromSettings();
TServerCertificateRule ServerCertificateRuleFromSettings(const TSettings& settings);

// The SHA-256 fingerprint (lower-case hex) of the certificate behind the component's
// certificate handle (an X509*, valid during the authentication event); empty for handle 0.
std::string CertificateFingerprint(long certHandle);

// The decision on one offered certificate. status is the component's policy status line
// ("[0x0] OK" when the certificate verified). A pin that is no SHA-256 fingerprint refuses
// every certificate, so a typing error never switches the check off.
TServerCertificateVerdict JudgeServerCertificate(const TServerCertificateRule& rule,
                                                 long certHandle, const std::string& subject,
                                                 const std::string& status);
