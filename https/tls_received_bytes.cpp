#include "https/tls_received_bytes.h"

#include <algorithm>
#include <cstring>

BIO* TReceivedBytes::NewBio() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "received");
        if (made) {
            BIO_meth_set_read_ex(made, Read);
            BIO_meth_set_ctrl(made, Control);
            BIO_meth_set_create(made, [](BIO* bio) {
                BIO_set_init(bio, 1);
                return 1;
            });
        }
        return made;
    }();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (bio) BIO_set_data(bio, this);
    return bio;
}

char* TReceivedBytes::Room() {
    // Left unset, so a short answer maps only the pages it fills.
    if (!bytes_) bytes_ = std::make_unique_for_overwrite<char[]>(kCapacity);
    if (start_ > 0) {
        std::memmove(bytes_.get(), bytes_.get() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    return bytes_.get() + end_;
}

int TReceivedBytes::Read(BIO* bio, char* out, size_t size, size_t* read) {
    auto& self = *static_cast<TReceivedBytes*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    *read = 0;
    if (self.Pending() == 0) {
        // Nothing yet: OpenSSL answers "want read" and the layer receives more.
        BIO_set_retry_read(bio);
        return 0;
    }
    const size_t taken = std::min(size, self.Pending());
    std::memcpy(out, self.bytes_.get() + self.start_, taken);
    self.start_ += taken;
    *read = taken;
    return 1;
}

long TReceivedBytes::Control(BIO* bio, int command, long, void*) {
    const auto& self = *static_cast<const TReceivedBytes*>(BIO_get_data(bio));
    switch (command) {
        case BIO_CTRL_PENDING:
            return static_cast<long>(self.Pending());
        case BIO_CTRL_FLUSH:
            return 1;
        default:
            return 0;
    }
}
