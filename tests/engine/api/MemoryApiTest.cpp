// SPDX-License-Identifier: MIT
//
// The public API over buffers: compress() writes what the reference writer
// writes into a buffer of compressBound() bytes, and decompress() gives the
// data back with the stopping point and bytes consumed the plain path implies.
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;
using huffcodec::Status;

std::string compressBuffer(const std::string& data, std::size_t capacity, Status expected) {
    std::string out(capacity, '\0');
    const auto result = huffcodec::compress(data.data(), data.size(), out.data(), out.size());
    EXPECT_EQ(result.status, expected);
    return out.substr(0, result.bytesProduced);
}

TEST(MemoryApi, BuffersRoundTripLikeTheReference) {
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
        EXPECT_EQ(restored.substr(0, partial.bytesProduced), plain.symbols);
    }
}

// compressBound() is size + 1024: all 256 values equally often (codes of
// exactly 8 bits) reach it, random bytes come close.
TEST(MemoryApi, CompressBoundHoldsForCodesOfEightBits) {
    std::string every;
    for (int round = 0; round < 20; ++round) {
        for (int v = 0; v < 256; ++v) {
            every.push_back(static_cast<char>((v * 7 + round) % 256));
        }
    }
    const std::string inputs[] = {every, randomBytes(41, 5000), randomBytes(42, 1)};
    for (const std::string& data : inputs) {
        const std::size_t bound = huffcodec::compressBound(data.size());
        EXPECT_EQ(bound, data.size() + kHeaderBytes);
        const std::string file = compressBuffer(data, bound, Status::ok);
        EXPECT_EQ(file, compressReference(data));
        EXPECT_EQ(file.size() == bound, &data == &inputs[0]) << data.size();
    }
}

// codeLengths() gives the lengths of the reference tree's codes for every
// table shape and bodyBits() the bits they take, and both a header's status
// for a header they would refuse.
TEST(MemoryApi, CodeLengthsAreThoseOfTheReferenceCodes) {
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::vector<std::string> codes = codesOf(tree);
        huffcodec::Header header;
        std::copy(counts.begin(), counts.end(), header.counts.begin());
        std::array<std::uint8_t, 256> lengths{};
        ASSERT_EQ(huffcodec::codeLengths(header, lengths), Status::ok);
        std::uint64_t referenceBits = 0;
        for (std::size_t v = 0; v < lengths.size(); ++v) {
            EXPECT_EQ(lengths[v], codes[v].size()) << "byte value " << v;
            referenceBits += static_cast<std::uint64_t>(counts[v]) * codes[v].size();
        }
        std::uint64_t bits = 1;
        ASSERT_EQ(huffcodec::bodyBits(header, bits), Status::ok);
        EXPECT_EQ(bits, referenceBits);
    }
    huffcodec::Header negative;
    negative.counts[3] = 5;
    negative.counts[9] = -1;
    std::array<std::uint8_t, 256> lengths{};
    lengths.fill(7);
    EXPECT_EQ(huffcodec::codeLengths(negative, lengths), Status::negativeCount);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 0), 256);
    std::uint64_t bits = 1;
    EXPECT_EQ(huffcodec::bodyBits(negative, bits), Status::negativeCount);
    EXPECT_EQ(bits, 0u);
}

}  // namespace
