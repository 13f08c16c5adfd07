// SPDX-License-Identifier: MIT
//
// The streams a caller drives, as a program moving data through buffers of
// its own (a socket, an event loop) would: counts first, then the data through
// a CompressStream in pieces, and the file back through a DecompressStream.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>

#include <huffcodec/huffcodec.hpp>

int main() {
    std::string text;
    for (int line = 0; line < 200; ++line) {
        text += "line " + std::to_string(line) + ": a static Huffman code for every byte\n";
    }
    // The first pass: the counts.
    std::size_t offset = 0;
    const huffcodec::CountResult counted =
        huffcodec::countBytes([&](std::uint8_t* buffer, std::size_t size) -> std::ptrdiff_t {
            const std::size_t n = std::min(size, text.size() - offset);
            text.copy(reinterpret_cast<char*>(buffer), n, offset);
            offset += n;
            return static_cast<std::ptrdiff_t>(n);
        });
    huffcodec::CompressStream packer;
    if (counted.status != huffcodec::Status::ok ||
        packer.reset(counted.header) != huffcodec::Status::ok) {
        return 1;
    }
    // The second pass, 100 bytes in and 64 out at a time.
    std::string file;
    char buffer[64];
    huffcodec::InBuffer in{text.data(), 0, 0};
    while (!packer.finished()) {
        in.size = std::min(in.pos + 100, text.size());
        huffcodec::OutBuffer out{buffer, sizeof buffer, 0};
        const huffcodec::Status status = packer.compress(in, out, in.size == text.size());
        if (status != huffcodec::Status::ok) {
            std::fprintf(stderr, "compress: %s\n", huffcodec::statusMessage(status));
            return 1;
        }
        file.append(buffer, out.pos);
    }
    // And back, 7 bytes in and 64 out at a time.
    std::string restored;
    huffcodec::DecompressStream unpacker;
    huffcodec::InBuffer packed{file.data(), 0, 0};
    while (!unpacker.finished()) {
        packed.size = std::min(packed.pos + 7, file.size());
        huffcodec::OutBuffer out{buffer, sizeof buffer, 0};
        const huffcodec::Status status =
            unpacker.decompress(packed, out, packed.size == file.size());
        if (status != huffcodec::Status::ok) {
            std::fprintf(stderr, "decompress: %s\n", huffcodec::statusMessage(status));
            return 1;
        }
        restored.append(buffer, out.pos);
    }
    if (restored != text || unpacker.bytesConsumed() != file.size()) {
        std::fprintf(stderr, "the streams did not give the text back\n");
        return 1;
    }
    std::printf("huffcodec %s: streams, %zu bytes -> %zu -> %zu, round trip ok\n",
                HUFFCODEC_VERSION_STRING, text.size(), file.size(), restored.size());
    return 0;
}
