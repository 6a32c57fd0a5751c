#include "common/certificate_check.h"

#include "common/base/text.h"

std::string CertificateCheck(bool verify, const std::string& pinnedText) {
    const bool pinned = !Trim(pinnedText).empty();
    if (verify) return pinned ? "verified and pinned" : "verified";
    return pinned ? "pinned" : kNoCertificateCheck;
}
