// Decodes a Base64 text file into an output file through the mail model's decoding stream,
// reading it in 64 KiB pieces as a pipe would deliver it (peer: base64 -d).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <vector>

#include "mail/base64_stream.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mime_base64 IN OUT\n");
        return 2;
    }
    try {
        int in = ::open(argv[1], O_RDONLY);
        if (in < 0) throw std::runtime_error("cannot open input");
        TMailFileStream out(argv[2]);
        {
            TBase64DecodingStream stream(out);
            std::vector<char> buf(1 << 16);
            ssize_t n;
            while ((n = ::read(in, buf.data(), buf.size())) > 0)
                stream.Write(buf.data(), std::size_t(n));
        }
        out.Close();
        ::close(in);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
