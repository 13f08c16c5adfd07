// SPDX-License-Identifier: MIT
//
// Arbitrary bytes as a whole compressed file, decoded by the library's decoder
// (the default that uncompress runs, the single chain, every lane count over
// segments small enough for fuzz inputs, through a read callback and in
// place, and on two to four threads over chunks small enough that a body of
// 1024 symbols or more is shared out) and by the plain tree walk over a
// BitInputStream. All must produce the same bytes, stop at the same symbol,
// and need the same body bytes.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include "BitInputStream.hpp"
#include "FuzzCheck.hpp"
#include "HCTree.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

// Headers may declare up to 2^31 - 1 symbols. A one-symbol tree writes them
// all without reading; everywhere else a short body ends decoding early. Larger
// one-symbol headers are left out to keep runs fast.
constexpr std::int64_t kMaxOneSymbolSize = 1 << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const huffcodec::HeaderResult parsed = huffcodec::readHeader(data, size);
    if (parsed.status != huffcodec::Status::ok ||
        (parsed.header.distinctBytes == 1 && parsed.header.originalSize > kMaxOneSymbolSize)) {
        return 0;
    }
    const auto symbolCount = static_cast<std::uint64_t>(parsed.header.originalSize);
    HCTree tree;
    tree.buildFromCounts(SymbolCounts(parsed.header.counts.begin(), parsed.header.counts.end()));
    const std::uint8_t* body = data + kHeaderBytes;
    const std::size_t bodySize = size - kHeaderBytes;

    std::istringstream in(std::string(reinterpret_cast<const char*>(body), bodySize));
    BitInputStream bits(in);
    std::string plain;
    bool complete = true;
    for (std::uint64_t i = 0; i < symbolCount; ++i) {
        const int symbol = tree.decodeSymbol(bits);
        if (symbol < 0) {
            complete = false;
            break;
        }
        plain.push_back(static_cast<char>(symbol));
    }

    // The default, the single chain, and each lane count over the smallest
    // segments and over a size the input picks; then threads over chunks of
    // the smallest size (16 chunks' worth of symbols start threads) and of a
    // size the input picks, read in pieces of another size it picks.
    const std::size_t picked = 64 + (size * 131 % 4000);
    const int threads = 2 + static_cast<int>(size % 3);
    const int lanes = 1 + static_cast<int>(size / 3 % 4);
    const huffcodec::Options ways[] = {{0, 0},
                                       {1, 0},
                                       {2, 64},
                                       {2, picked},
                                       {3, 64},
                                       {3, picked},
                                       {4, 64},
                                       {4, picked},
                                       {lanes, 0, threads, 64},
                                       {lanes, 0, threads, picked}};
    huffcodec::Decoder decoder;
    FUZZ_CHECK(decoder.build(parsed.header) == huffcodec::Status::ok);
    int run = 0;
    for (const huffcodec::Options& way : ways) {
        std::string fast;
        const huffcodec::WriteFn write = [&](const std::uint8_t* bytes, std::size_t n) {
            fast.append(reinterpret_cast<const char*>(bytes), n);
            return true;
        };
        const std::size_t piece = way.threads > 1 && way.chunkBytes == 64 ? 1 + size % 97 : size;
        std::size_t offset = 0;
        const huffcodec::ReadFn read = [&](std::uint8_t* buffer, std::size_t want) {
            const std::size_t n = std::min({want, bodySize - offset, piece});
            std::copy_n(body + offset, n, buffer);
            offset += n;
            return static_cast<long>(n);
        };
        // Threads decode only what a read callback gives.
        const huffcodec::StreamResult result = ++run % 2 == 0 && way.threads == 1
                                                   ? decoder.decode(body, bodySize, write, way)
                                                   : decoder.decode(read, write, way);
        FUZZ_CHECK(result.bytesWritten == fast.size());
        FUZZ_CHECK(fast == plain);
        if (complete) {
            FUZZ_CHECK(result.status == huffcodec::Status::ok);
            FUZZ_CHECK(result.bytesRead == static_cast<std::uint64_t>(in.tellg()));
        } else {
            FUZZ_CHECK(result.status == huffcodec::Status::truncatedBody);
        }
    }
    return 0;
}
