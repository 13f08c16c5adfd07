// SPDX-License-Identifier: MIT
//
// Arbitrary bytes compressed and decompressed through the library: the table
// encoder, fed in pieces as compress feeds it, and compress() must write
// exactly what encodeSymbol over a BitOutputStream writes, and decompress()
// and the decoder (a lane count and segment size the input picks; and two to
// four threads over chunks of 64 to 188 bytes the input picks, which share
// out inputs of 1024 to 3008 bytes and more) must give the bytes back. The first byte picks the
// piece, lane, segment, thread and chunk sizes.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "BitOutputStream.hpp"
#include "BodyEncoder.hpp"
#include "ByteCounter.hpp"
#include "FuzzCheck.hpp"
#include "HCTree.hpp"
#include "huffcodec/huffcodec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = 1 + data[0];
    ++data;
    --size;

    huffcodec::ByteCounter counter;
    counter.add(data, size);
    const auto byteCounts = counter.counts();
    SymbolCounts counts(kNumSymbols, 0);
    for (int i = 0; i < kNumSymbols; ++i) {
        counts[i] = static_cast<std::int32_t>(byteCounts[i]);
    }
    HCTree tree;
    tree.buildFromCounts(counts);

    huffcodec::Header header;
    std::copy(counts.begin(), counts.end(), header.counts.begin());
    const auto headerBytes = huffcodec::writeHeader(header);
    std::ostringstream plainOut;
    BitOutputStream bits(plainOut);
    for (const auto value : headerBytes) {
        bits.writeByte(value);
    }
    for (std::size_t i = 0; i < size; ++i) {
        tree.encodeSymbol(data[i], bits);
    }
    bits.flush();
    const std::string plainFile = plainOut.str();

    huffcodec::BodyEncoder encoder(huffcodec::CodeTree(header.counts));
    FUZZ_CHECK(encoder.supportsTree());
    std::string fastFile(headerBytes.begin(), headerBytes.end());
    std::vector<std::uint8_t> out(encoder.outputBound(piece));
    for (std::size_t offset = 0; offset < size; offset += piece) {
        const std::size_t n = std::min(piece, size - offset);
        const std::size_t bytes = encoder.encode(data + offset, n, out.data());
        fastFile.append(reinterpret_cast<const char*>(out.data()), bytes);
    }
    fastFile.append(reinterpret_cast<const char*>(out.data()), encoder.finish(out.data()));
    FUZZ_CHECK(!encoder.sawSymbolWithoutCode());
    FUZZ_CHECK(fastFile == plainFile);

    std::string packed(huffcodec::compressBound(size), '\0');
    const auto compressed = huffcodec::compress(data, size, packed.data(), packed.size());
    FUZZ_CHECK(compressed.status == huffcodec::Status::ok);
    FUZZ_CHECK(packed.substr(0, compressed.bytesWritten) == plainFile);

    std::string restored(size, '\0');
    const auto whole =
        huffcodec::decompress(plainFile.data(), plainFile.size(), restored.data(), size);
    FUZZ_CHECK(whole.status == huffcodec::Status::ok);
    FUZZ_CHECK(whole.bytesWritten == size && whole.bytesConsumed == plainFile.size());
    FUZZ_CHECK(restored == std::string(reinterpret_cast<const char*>(data), size));

    const huffcodec::HeaderResult parsed =
        huffcodec::readHeader(plainFile.data(), plainFile.size());
    FUZZ_CHECK(parsed.status == huffcodec::Status::ok);
    FUZZ_CHECK(std::equal(counts.begin(), counts.end(), parsed.header.counts.begin()));
    huffcodec::Decoder decoder;
    FUZZ_CHECK(decoder.build(parsed.header) == huffcodec::Status::ok);
    std::string streamed;
    const huffcodec::StreamResult result =
        decoder.decode(plainFile.data() + kHeaderBytes, plainFile.size() - kHeaderBytes,
                       [&](const std::uint8_t* bytes, std::size_t n) {
                           streamed.append(reinterpret_cast<const char*>(bytes), n);
                           return true;
                       },
                       {1 + static_cast<int>(piece % 4), 64 + 2 * piece});
    FUZZ_CHECK(result.status == huffcodec::Status::ok);
    FUZZ_CHECK(streamed == restored);
    FUZZ_CHECK(kHeaderBytes + result.bytesRead == plainFile.size());

    std::string threaded;
    std::size_t offset = kHeaderBytes;
    const huffcodec::StreamResult shared = decoder.decode(
        [&](std::uint8_t* buffer, std::size_t want) {
            const std::size_t n = std::min({want, plainFile.size() - offset, piece});
            std::copy_n(plainFile.data() + offset, n, buffer);
            offset += n;
            return static_cast<long>(n);
        },
        [&](const std::uint8_t* bytes, std::size_t n) {
            threaded.append(reinterpret_cast<const char*>(bytes), n);
            return true;
        },
        {1 + static_cast<int>(piece / 4 % 4), 0, 2 + static_cast<int>(piece % 3),
         64 + piece % 32 * 4});
    FUZZ_CHECK(shared.status == huffcodec::Status::ok);
    FUZZ_CHECK(threaded == restored);
    FUZZ_CHECK(kHeaderBytes + shared.bytesRead == plainFile.size());
    return 0;
}
