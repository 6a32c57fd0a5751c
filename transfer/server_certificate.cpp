// The certificate decision of the transfer workers.

#include "transfer/server_certificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdint>

#include "common/base/text.h"
#include "common/settings.h"

TServerCertificateRule ServerCertificateRuleFromSettings() {
    return ServerCertificateRuleFromSettings(LoadedSettings());
}

TServerCertificateRule ServerCertificateRuleFromSettings(const TSettings& settings) {
    return {settings.ConnectionInfo.VerifyServerCert, settings.ConnectionInfo.ServerCertSha256};
}

std::string CertificateFingerprint(long certHandle) {
    if (certHandle == 0) return {};
    auto* certificate = reinterpret_cast<X509*>(static_cast<intptr_t>(certHandle));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

TServerCertificateVerdict JudgeServerCertificate(const TServerCertificateRule& rule,
                                                 long certHandle, const std::string& subject,
                                                 const std::string& status) {
    const std::string fingerprint = CertificateFingerprint(certHandle);
    const bool verified = status.rfind("[0x0]", 0) == 0 && certHandle != 0;
    const bool pinned = !Trim(rule.PinnedText).empty();
    bool accept = true;
    std::string reason;
    if (!rule.Verify && !pinned) {
        reason = "no check configured";
    } else if (certHandle == 0) {
        accept = false;
        reason = "no certificate offered";
    } else if (rule.Verify && !verified) {
        accept = false;
        reason = "verification failed";
    } else if (pinned) {
        const std::string pin = NormalizeFingerprint(rule.PinnedText);
        if (pin.empty()) {
            accept = false;
            reason = "the pinned fingerprint is not a SHA-256 fingerprint";
        } else if (pin != fingerprint) {
            accept = false;
            reason = "fingerprint does not match the pinned one";
        } else {
            reason = rule.Verify ? "verified, fingerprint matches the pinned one"
                                 : "fingerprint matches the pinned one";
        }
    } else {
        reason = "verified";
    }
    return {accept, std::string("Server certificate ") + (accept ? "accepted" : "refused") + " (" +
                        reason + "): subject \"" + subject + "\", status " + status + ", SHA-256 " +
                        (fingerprint.empty() ? "(none)" : fingerprint)};
}
