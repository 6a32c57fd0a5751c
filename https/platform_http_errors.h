#pragma once

// The error codes of the platform HTTP library path (12001 ...) with their texts, and the
// mapping of libcurl's results onto them.

#include <curl/curl.h>

#include <string>
#include <string_view>

// Text of a platform path code; empty when the table has none.
std::string_view PlatformErrorText(int code);

// The description of a platform path code: its text, else "[%d] (no description available)".
std::string DescribePlatformError(int code);

// The platform path code for a libcurl result. For a failed certificate check the result
// of the chain verification (an X509_V_ERR_* value, 0 when the chain was fine and the host
// name did not match) chooses among the certificate codes.
int PlatformCodeFromCurl(CURLcode result, long verifyResult);
