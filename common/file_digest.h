#pragma once

// The size and SHA-256 of a file's bytes, as the transfer history keeps them to tell later
// whether a file with the same bytes went out or came in.

#include <cstdint>
#include <string>

struct TFileDigest {
    int64_t Size = -1;   // -1 when the file could not be read
    std::string Sha256;  // 64 lower-case hex digits; empty when the file could not be read
};

// Reads path in pieces (a link is not followed); an unreadable file gives Size -1.
TFileDigest FileDigest(const std::string& path);
