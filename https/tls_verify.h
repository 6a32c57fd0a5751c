#pragma once

// Server certificate verification mapped onto the system's policy status codes: the
// chain is built from the server's certificate and the certificates it sent, against
// the trust store, for server use, with the host name checked last.

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdint>
#include <string>
#include <vector>

namespace policy_status {
inline constexpr uint32_t kOK = 0;
inline constexpr uint32_t kBadSignature = 0x80096004;
inline constexpr uint32_t kUntrustedRoot = 0x800B0109;
inline constexpr uint32_t kTestRoot = 0x800B010D;
inline constexpr uint32_t kChaining = 0x800B010A;
inline constexpr uint32_t kWrongUsage = 0x800B0110;
inline constexpr uint32_t kExpired = 0x800B0101;
inline constexpr uint32_t kValidityNesting = 0x800B0102;
inline constexpr uint32_t kPurpose = 0x800B0106;
inline constexpr uint32_t kBasicConstraints = 0x80096019;
inline constexpr uint32_t kRole = 0x800B0103;
inline constexpr uint32_t kNameMismatch = 0x800B010F;
inline constexpr uint32_t kRevoked = 0x80092010;
inline constexpr uint32_t kRevocationOffline = 0x80092013;
inline constexpr uint32_t kRevokedByIssuer = 0x800B010C;
inline constexpr uint32_t kRevocationFailure = 0x800B010E;
}  // namespace policy_status

// The text of a policy status code; "(unknown status code)" for codes not listed.
std::string PolicyStatusText(uint32_t code);

// "[0x%x] " + the text, e.g. "[0x0] OK".
std::string PolicyStatusLine(uint32_t code);

// The status for the verification errors (X509_V_ERR_*) found on a chain: the most
// serious one wins, a wrong name only when the chain itself is sound.
uint32_t PolicyStatusFromErrors(const std::vector<int>& errors);

// Verifies certificate (with the untrusted certificates the server sent) against
// trust for server use at host (a name or a dotted address). Returns the policy status.
uint32_t VerifyServerCertificate(X509* certificate, STACK_OF(X509) * untrusted, X509_STORE* trust,
                                 const std::string& host);

// The X.500 text of a name: its parts in their encoded order as "CN=value", joined by
// ", "; values with separators or outer blanks are quoted.
std::string X500NameText(const X509_NAME* name);
