// SPDX-License-Identifier: MIT
//
// Compresses a buffer with huffcodec and restores it.
#include <cstdio>
#include <string>
#include <vector>

#include <huffcodec/huffcodec.hpp>

int main() {
    const std::string text = "abracadabra, a static Huffman code for every byte";
    std::vector<unsigned char> packed(huffcodec::compressBound(text.size()));
    const huffcodec::CompressResult c =
        huffcodec::compress(text.data(), text.size(), packed.data(), packed.size());
    if (c.status != huffcodec::Status::ok) {
        std::fprintf(stderr, "compress: %s\n", huffcodec::statusMessage(c.status));
        return 1;
    }
    std::string restored(text.size(), '\0');
    const huffcodec::DecompressResult d =
        huffcodec::decompress(packed.data(), c.bytesProduced, restored.data(), restored.size());
    if (d.status != huffcodec::Status::ok || restored != text) {
        std::fprintf(stderr, "decompress: %s\n", huffcodec::statusMessage(d.status));
        return 1;
    }
    std::printf("huffcodec %s: %zu bytes -> %zu -> %zu, round trip ok\n", HUFFCODEC_VERSION_STRING,
                text.size(), c.bytesProduced, d.bytesProduced);
    return 0;
}
