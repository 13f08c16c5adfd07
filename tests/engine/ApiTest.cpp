// SPDX-License-Identifier: MIT
//
// The public API over buffers and streams: compress() writes what the
// reference writer writes, decompress() and the streaming Decoder give the
// data back with the stopping point and bytes consumed the plain path implies,
// and the Encoder refuses input that changed between its two passes.
#include "huffcodec/huffcodec.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;
using huffcodec::Status;

std::string compressBuffer(const std::string& data, std::size_t capacity, Status expected) {
    std::string out(capacity, '\0');
    const auto result = huffcodec::compress(data.data(), data.size(), out.data(), out.size());
    EXPECT_EQ(result.status, expected);
    return out.substr(0, result.bytesWritten);
}

huffcodec::ReadFn readerOf(const std::string& bytes, std::size_t& offset) {
    return [&bytes, &offset](std::uint8_t* buffer, std::size_t size) {
        const std::size_t n = std::min({size, bytes.size() - offset, std::size_t{777}});
        std::copy_n(bytes.data() + offset, n, buffer);
        offset += n;
        return static_cast<long>(n);
    };
}

TEST(Api, BuffersRoundTripLikeTheReference) {
    std::uint64_t seed = 40;
    for (const SymbolCounts& counts : countTableShapes()) {
        const std::string data = dataFor(counts, seed % 3 == 0 ? 0 : 5000, seed);
        ++seed;
        const std::size_t bound = huffcodec::compressBound(data.size());
        const std::string file = compressBuffer(data, bound, Status::ok);
        ASSERT_EQ(file, compressReference(data));
        compressBuffer(data, file.size() - 1, Status::outputTooSmall);

        std::string restored(data.size(), '\0');
        const auto whole =
            huffcodec::decompress(file.data(), file.size(), restored.data(), restored.size());
        EXPECT_EQ(whole.status, Status::ok);
        EXPECT_EQ(restored, data);
        EXPECT_EQ(whole.bytesConsumed, file.size());
        if (!data.empty()) {
            EXPECT_EQ(
                huffcodec::decompress(file.data(), file.size(), restored.data(), data.size() - 1)
                    .status,
                Status::outputTooSmall);
        }
        // A cut body keeps what the plain path decodes before the cut.
        const std::string cut = file.substr(0, kHeaderBytes + (file.size() - kHeaderBytes) / 2);
        HCTree tree;
        tree.buildFromCounts(countBytes(data));
        const PlainDecoding plain = decodePlain(tree, cut.substr(kHeaderBytes), data.size());
        const auto partial =
            huffcodec::decompress(cut.data(), cut.size(), restored.data(), restored.size());
        EXPECT_EQ(partial.status, plain.complete ? Status::ok : Status::truncatedBody);
        EXPECT_EQ(restored.substr(0, partial.bytesWritten), plain.symbols);
    }
}

TEST(Api, StreamingEncoderAndDecoder) {
    const std::string data = dataFor(countTableShapes()[7], 300000, 5);
    std::size_t offset = 0;
    const huffcodec::CountResult counted = huffcodec::countBytes(readerOf(data, offset));
    ASSERT_EQ(counted.status, Status::ok);
    huffcodec::Encoder encoder;
    ASSERT_EQ(encoder.build(counted.header), Status::ok);
    std::string file;
    const huffcodec::WriteFn append = [&file](const std::uint8_t* bytes, std::size_t size) {
        file.append(reinterpret_cast<const char*>(bytes), size);
        return true;
    };
    offset = 0;
    const auto encoded = encoder.encode(readerOf(data, offset), append);
    ASSERT_EQ(encoded.status, Status::ok);
    EXPECT_EQ(file, compressReference(data));
    EXPECT_EQ(encoded.bytesWritten, file.size());

    // The second pass must see what the first counted.
    char uncounted = 0;
    while (counted.header.counts[static_cast<unsigned char>(uncounted)] != 0) {
        ++uncounted;
    }
    for (const std::string& changed :
         {data + data[0], data.substr(1), uncounted + data.substr(1)}) {
        std::size_t at = 0;
        const auto result =
            encoder.encode(readerOf(changed, at), [&](auto*, std::size_t) { return true; });
        EXPECT_EQ(result.status, Status::inputChanged);
    }

    const auto header = huffcodec::readHeader(file.data(), file.size());
    ASSERT_EQ(header.status, Status::ok);
    huffcodec::Decoder decoder;
    ASSERT_EQ(decoder.build(header.header), Status::ok);
    const std::string body = file.substr(kHeaderBytes);
    for (int lanes = 1; lanes <= 4; ++lanes) {
        std::string restored;
        const huffcodec::WriteFn collect = [&](const std::uint8_t* bytes, std::size_t size) {
            restored.append(reinterpret_cast<const char*>(bytes), size);
            return true;
        };
        offset = 0;
        huffcodec::DecodeStats stats;
        const auto result = decoder.decode(readerOf(body, offset), collect, {lanes, 4096}, &stats);
        EXPECT_EQ(result.status, Status::ok);
        EXPECT_EQ(restored, data);
        EXPECT_EQ(result.bytesRead, body.size());
        EXPECT_EQ(stats.segments > 0, lanes > 1) << lanes;
    }

    // Headers built by hand are checked as readHeader checks them.
    huffcodec::Header bad = header.header;
    bad.counts[3] = -1;
    EXPECT_EQ(decoder.build(bad), Status::negativeCount);
    EXPECT_EQ(encoder.build(bad), Status::negativeCount);
    bad.counts[3] = 2147483647;
    EXPECT_EQ(decoder.build(bad), Status::sizeTooLarge);
}

}  // namespace
