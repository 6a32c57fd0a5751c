#pragma once

// The system's socket error codes (10004-11004) with their texts, and the mapping of
// POSIX errno and getaddrinfo results onto them, so codes and texts stay the system's.

#include <string>
#include <string_view>

// Text of a socket error code; empty when the table has none.
std::string_view SocketErrorText(int code);

// The description rule for a code without one: "[%d] %s" from the socket error table
// (at most 80 characters), else "[%d] (no description available)".
std::string DescribeErrorCode(int code);

// errno of connect/send/recv/getsockopt -> socket error code (10000 + the nearest match).
int SocketCodeFromErrno(int err);

// getaddrinfo result (EAI_*) -> 11001..11004; EAI_SYSTEM looks at errno.
int SocketCodeFromLookup(int eai, int err);
