#include "https/tls_verify.h"

#include <arpa/inet.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>

#include "https/tls_handles.h"

namespace ps = policy_status;

namespace {

struct TStatusText {
    uint32_t Code;
    const char* Text;
};

constexpr TStatusText kStatusTexts[] = {
    {ps::kOK, "OK"},
    {ps::kBadSignature, "The signature of the certificate cannot be verified."},
    {ps::kUntrustedRoot,
     "A certification chain processed correctly but terminated in a root "
     "certificate not trusted by the trust provider."},
    {ps::kTestRoot,
     "The root certificate is a testing certificate and policy settings "
     "disallow test certificates."},
    {ps::kChaining, "A chain of certificates was not correctly created."},
    {ps::kWrongUsage, "The certificate is not valid for the requested usage."},
    {ps::kExpired, "A required certificate is not within its validity period."},
    {ps::kValidityNesting,
     "The validity periods of the certification chain do not nest "
     "correctly."},
    {ps::kPurpose, "A certificate is being used for a non permitted purpose."},
    {ps::kBasicConstraints, "The certificate's basic constraints are invalid or missing."},
    {ps::kRole,
     "A certificate that can only be used as an end-entity is being used as a CA "
     "or visa versa."},
    {ps::kNameMismatch, "The certificate's CN name does not match the passed value."},
    {ps::kRevoked, "The certificate or signature has been revoked."},
    {ps::kRevocationOffline,
     "Since the revocation server was offline, the called function "
     "was not able to complete the revocation check."},
    {ps::kRevokedByIssuer,
     "A certificate in the chain has been explicitly revoked by its "
     "issuer."},
    {ps::kRevocationFailure,
     "The revocation process could not continue. The certificates "
     "could not be checked."},
};

// From the most serious down; the first status any error maps to is reported.
constexpr uint32_t kSeverity[] = {
    ps::kBadSignature,    ps::kRevoked,    ps::kUntrustedRoot,    ps::kChaining, ps::kExpired,
    ps::kValidityNesting, ps::kWrongUsage, ps::kBasicConstraints, ps::kRole,     ps::kNameMismatch,
};

uint32_t StatusOfError(int error) {
    switch (error) {
        case X509_V_OK:
            return ps::kOK;
        case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
        case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
            return ps::kBadSignature;
        case X509_V_ERR_CERT_REVOKED:
            return ps::kRevoked;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_UNTRUSTED:
        case X509_V_ERR_CERT_REJECTED:
            return ps::kUntrustedRoot;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
        case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
            return ps::kExpired;
        case X509_V_ERR_INVALID_PURPOSE:
            return ps::kWrongUsage;
        case X509_V_ERR_INVALID_CA:
        case X509_V_ERR_PATH_LENGTH_EXCEEDED:
            return ps::kBasicConstraints;
        case X509_V_ERR_INVALID_NON_CA:
            return ps::kRole;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return ps::kNameMismatch;
        default:
            // Missing issuers and every other failure to build a sound chain.
            return ps::kChaining;
    }
}

int CollectError(int ok, X509_STORE_CTX* context) {
    if (!ok) {
        auto* errors = static_cast<std::vector<int>*>(X509_STORE_CTX_get_app_data(context));
        errors->push_back(X509_STORE_CTX_get_error(context));
    }
    return 1;  // go on, so every fault of the chain is seen
}

bool NeedsQuotes(const std::string& value) {
    if (value.empty()) return false;
    return value.front() == ' ' || value.back() == ' ' ||
           value.find_first_of(",+=\"\r\n<>#;") != std::string::npos;
}

std::string AttributeLabel(const ASN1_OBJECT* object) {
    switch (OBJ_obj2nid(object)) {
        case NID_commonName:
            return "CN";
        case NID_organizationName:
            return "O";
        case NID_organizationalUnitName:
            return "OU";
        case NID_countryName:
            return "C";
        case NID_localityName:
            return "L";
        case NID_stateOrProvinceName:
            return "S";
        case NID_streetAddress:
            return "STREET";
        case NID_pkcs9_emailAddress:
            return "E";
        case NID_title:
            return "T";
        case NID_givenName:
            return "G";
        case NID_initials:
            return "I";
        case NID_surname:
            return "SN";
        case NID_domainComponent:
            return "DC";
        default:
            break;
    }
    char oid[128];
    OBJ_obj2txt(oid, sizeof oid, object, 1);
    return std::string("OID.") + oid;
}

std::string AttributeValue(const ASN1_STRING* value) {
    int type = ASN1_STRING_type(value);
    if (type == V_ASN1_BMPSTRING || type == V_ASN1_UNIVERSALSTRING) {
        unsigned char* text = nullptr;
        int length = ASN1_STRING_to_UTF8(&text, value);
        if (length < 0) return {};
        std::string converted(reinterpret_cast<char*>(text), static_cast<size_t>(length));
        OPENSSL_free(text);
        return converted;
    }
    // Every other string type keeps its bytes as they are.
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                       static_cast<size_t>(ASN1_STRING_length(value)));
}

}  // namespace

std::string PolicyStatusText(uint32_t code) {
    for (const auto& entry : kStatusTexts)
        if (entry.Code == code) return entry.Text;
    return "(unknown status code)";
}

std::string PolicyStatusLine(uint32_t code) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "[0x%x] ", code);
    return prefix + PolicyStatusText(code);
}

uint32_t PolicyStatusFromErrors(const std::vector<int>& errors) {
    std::vector<uint32_t> found;
    for (int error : errors) found.push_back(StatusOfError(error));
    for (uint32_t status : kSeverity)
        if (std::find(found.begin(), found.end(), status) != found.end()) return status;
    return ps::kOK;
}

uint32_t VerifyServerCertificate(X509* certificate, STACK_OF(X509) * untrusted, X509_STORE* trust,
                                 const std::string& host) {
    TX509StoreContext owner(X509_STORE_CTX_new());
    X509_STORE_CTX* context = owner.get();
    std::vector<int> errors;
    if (!context || !X509_STORE_CTX_init(context, trust, certificate, untrusted))
        return ps::kChaining;
    X509_STORE_CTX_set_app_data(context, &errors);
    X509_STORE_CTX_set_verify_cb(context, CollectError);
    X509_STORE_CTX_set_purpose(context, X509_PURPOSE_SSL_SERVER);
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context);
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    else
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    if (X509_verify_cert(context) <= 0 && errors.empty())
        errors.push_back(X509_STORE_CTX_get_error(context));
    return PolicyStatusFromErrors(errors);
}

std::string X500NameText(const X509_NAME* name) {
    std::string text;
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        std::string value = AttributeValue(X509_NAME_ENTRY_get_data(entry));
        if (NeedsQuotes(value)) {
            std::string quoted = "\"";
            for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            value = quoted + "\"";
        }
        if (!text.empty()) text += ", ";
        text += AttributeLabel(X509_NAME_ENTRY_get_object(entry)) + "=" + value;
    }
    return text;
}
