#pragma once

// The bytes received from the layer below, waiting for OpenSSL to read them as records. A
// memory BIO would copy (and first zero) every piece on the way in; this one lets OpenSSL read
// straight from the buffer the piece was received into.

#include <openssl/bio.h>

#include <cstddef>
#include <memory>

class TReceivedBytes {
  public:
    // A BIO that reads these bytes; it does not own them, and they must outlive it.
    BIO* NewBio();
    // Room for the next piece after what is still unread (moved to the front first).
    char* Room();
    size_t RoomSize() const { return kCapacity - end_; }
    // The next got bytes in Room() were received.
    void Received(size_t got) { end_ += got; }
    size_t Pending() const { return end_ - start_; }
    void Clear() { start_ = end_ = 0; }

  private:
    // Many records at once, so a large body costs few reads from the socket; what OpenSSL
    // leaves unread is never more than part of one record.
    static constexpr size_t kCapacity = 256 * 1024;
    static int Read(BIO* bio, char* out, size_t size, size_t* read);
    static long Control(BIO* bio, int command, long, void*);

    std::unique_ptr<char[]> bytes_;
    size_t start_ = 0, end_ = 0;
};
