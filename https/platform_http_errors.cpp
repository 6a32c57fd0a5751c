#include "https/platform_http_errors.h"

#include <openssl/x509_vfy.h>

namespace {

struct TPlatformError {
    int Code;
    const char* Text;
};

// Searched in this order.
constexpr TPlatformError kPlatformErrors[] = {
    {12001, "Internet Out Of Handles."},
    {12002, "Internet Timeout."},
    {12003, "Internet Extended Error."},
    {12004, "Internet Internal Error."},
    {12005, "Internet Invalid Url."},
    {12006, "Internet Unrecognized Scheme."},
    {12007, "Internet Name Not Resolved."},
    {12008, "Internet Protocol Not Found."},
    {12009, "Internet Invalid Option."},
    {12010, "Internet Bad Option Length."},
    {12011, "Internet Option Not Settable."},
    {12012, "Internet Shutdown."},
    {12013, "Internet Incorrect User Name."},
    {12014, "Internet Incorrect Password."},
    {12015, "Internet Login Failure."},
    {12016, "Internet Invalid Operation."},
    {12017, "Internet Operation Cancelled."},
    {12018, "Internet Incorrect Handle Type."},
    {12019, "Internet Incorrect Handle State."},
    {12020, "Internet Not Proxy Request."},
    {12021, "Internet Registry Value Not Found."},
    {12022, "Internet Bad Registry Parameter."},
    {12023, "Internet No Direct Access."},
    {12024, "Internet No Context."},
    {12025, "Internet No Callback."},
    {12026, "Internet Request Pending."},
    {12027, "Internet Incorrect Format."},
    {12028, "Internet Item Not Found."},
    {12029, "Internet Cannot Connect."},
    {12030, "Internet Connection Aborted."},
    {12031, "Internet Connection Reset."},
    {12032, "Internet Force Retry."},
    {12033, "Internet Invalid Proxy Request."},
    {12034, "Internet Need UI."},
    {12036, "Internet Handle Exists."},
    {12037, "The Certificate has an Invalid Name, or different from Host Name."},
    {12038, "Invalid Certificate Name."},
    {12039, "HTTP to HTTPS redirection not allowed (check the security flags)."},
    {12040, "HTTPS to HTTP redirection not allowed (check the security flags)."},
    {12041, "Internet Mixed Security."},
    {12042, "Internet Chg Post Is Non Secure."},
    {12043, "Internet Post Is Non Secure."},
    {12044, "Internet Client Auth Cert Needed."},
    {12045, "Invalid Certification Authority."},
    {12046, "Internet Client Auth Not Setup."},
    {12047, "Internet Async Thread Failed."},
    {12048, "Internet Redirect Scheme Change."},
    {12049, "Internet Dialog Pending."},
    {12050, "Internet Retry Dialog."},
    {12052, "Internet Https Http Submit Redir."},
    {12053, "Internet Insert Cdrom."},
    {12110, "Ftp Transfer is currently in progress."},
    {12111, "FTP connection dropped."},
    {12112, "The FTP server does not support the passive mode."},
    {12150, "Http Header Not Found."},
    {12151, "Http Downlevel Server."},
    {12152, "Http Invalid Server Response."},
    {12153, "Http Invalid Header."},
    {12154, "Http Invalid Query Request."},
    {12155, "Http Header Already Exists."},
    {12156, "Http Redirect Failed."},
    {12160, "Http Not Redirected."},
    {12161, "Http Cookie Needs Confirmation."},
    {12162, "Http Cookie Declined."},
    {12168, "Http Redirect Needs Confirmation."},
    {12157, "Internet Security Channel Error."},
    {12158, "Internet Unable To Cache File."},
    {12159, "Internet Tcpip Not Installed."},
    {12163, "Internet Disconnected."},
    {12164, "Internet Server Unreachable."},
    {12165, "Internet Proxy Server Unreachable."},
    {12166, "Internet Bad Auto Proxy Script."},
    {12167, "Internet Unable To Download Script."},
    {12169, "Invalid Security Certificate."},
    {12170, "Revoked Security Certificate."},
    {12171, "Failed due to security check."},
};

// Certificate verdicts: the chain verification result that picks the code.
constexpr int kAnyOtherVerdict = -1;
struct TCertificateVerdict {
    long VerifyResult;
    int Code;
};
constexpr TCertificateVerdict kCertificateVerdicts[] = {
    {X509_V_OK, 12038},  // chain fine, host name not in the certificate
    {X509_V_ERR_CERT_HAS_EXPIRED, 12037},
    {X509_V_ERR_CERT_NOT_YET_VALID, 12037},
    {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, 12045},
    {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, 12045},
    {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, 12045},
    {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, 12045},
    {X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE, 12045},
    {X509_V_ERR_CERT_UNTRUSTED, 12045},
    {X509_V_ERR_HOSTNAME_MISMATCH, 12038},
    {X509_V_ERR_CERT_REVOKED, 12170},
    {kAnyOtherVerdict, 12169},
};

// libcurl result -> platform code. A result not listed becomes 12004.
struct TCurlMapping {
    CURLcode Result;
    int Code;
};
constexpr TCurlMapping kCurlMappings[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, 12006},
    {CURLE_FAILED_INIT, 12004},
    {CURLE_URL_MALFORMAT, 12005},
    {CURLE_NOT_BUILT_IN, 12009},
    {CURLE_COULDNT_RESOLVE_PROXY, 12007},
    {CURLE_COULDNT_RESOLVE_HOST, 12007},
    {CURLE_COULDNT_CONNECT, 12029},
    {CURLE_WEIRD_SERVER_REPLY, 12152},
    {CURLE_REMOTE_ACCESS_DENIED, 12015},
    {CURLE_HTTP_RETURNED_ERROR, 12152},
    {CURLE_PARTIAL_FILE, 12030},
    {CURLE_OUT_OF_MEMORY, 12001},
    {CURLE_OPERATION_TIMEDOUT, 12002},
    {CURLE_RANGE_ERROR, 12152},
    {CURLE_SSL_CONNECT_ERROR, 12157},
    {CURLE_BAD_DOWNLOAD_RESUME, 12152},
    {CURLE_ABORTED_BY_CALLBACK, 12017},
    {CURLE_BAD_FUNCTION_ARGUMENT, 12009},
    {CURLE_INTERFACE_FAILED, 12029},
    {CURLE_TOO_MANY_REDIRECTS, 12156},
    {CURLE_UNKNOWN_OPTION, 12009},
    {CURLE_GOT_NOTHING, 12152},
    {CURLE_SSL_ENGINE_NOTFOUND, 12157},
    {CURLE_SSL_ENGINE_SETFAILED, 12157},
    {CURLE_SEND_ERROR, 12030},
    {CURLE_RECV_ERROR, 12031},
    {CURLE_SSL_CERTPROBLEM, 12044},
    {CURLE_SSL_CIPHER, 12157},
    {CURLE_BAD_CONTENT_ENCODING, 12152},
    {CURLE_USE_SSL_FAILED, 12157},
    {CURLE_SEND_FAIL_REWIND, 12030},
    {CURLE_SSL_ENGINE_INITFAILED, 12157},
    {CURLE_LOGIN_DENIED, 12015},
    {CURLE_SSL_CACERT_BADFILE, 12045},
    {CURLE_SSL_SHUTDOWN_FAILED, 12157},
    {CURLE_SSL_CRL_BADFILE, 12170},
    {CURLE_SSL_ISSUER_ERROR, 12045},
    {CURLE_SSL_PINNEDPUBKEYNOTMATCH, 12169},
    {CURLE_SSL_INVALIDCERTSTATUS, 12170},
    {CURLE_HTTP2, 12152},
    {CURLE_HTTP2_STREAM, 12152},
    {CURLE_PROXY, 12165},
    {CURLE_SSL_CLIENTCERT, 12044},
    {CURLE_UNRECOVERABLE_POLL, 12004},
};

}  // namespace

std::string_view PlatformErrorText(int code) {
    for (const TPlatformError& error : kPlatformErrors)
        if (error.Code == code) return error.Text;
    return {};
}

std::string DescribePlatformError(int code) {
    const std::string_view text = PlatformErrorText(code);
    if (!text.empty()) return std::string(text);
    return "[" + std::to_string(code) + "] (no description available)";
}

int PlatformCodeFromCurl(CURLcode result, long verifyResult) {
    if (result == CURLE_PEER_FAILED_VERIFICATION) {
        for (const TCertificateVerdict& verdict : kCertificateVerdicts)
            if (verdict.VerifyResult == verifyResult || verdict.VerifyResult == kAnyOtherVerdict)
                return verdict.Code;
    }
    for (const TCurlMapping& mapping : kCurlMappings)
        if (mapping.Result == result) return mapping.Code;
    return 12004;
}
