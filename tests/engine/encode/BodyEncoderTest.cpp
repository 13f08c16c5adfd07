// SPDX-License-Identifier: MIT
//
// BodyEncoder against encodeSymbol over a BitOutputStream, and ByteCounter
// against a plain count.
#include "encode/BodyEncoder.hpp"

#include <gtest/gtest.h>

#include <random>

#include "TestSupport.hpp"
#include "encode/ByteCounter.hpp"

namespace {

using namespace testing_support;
using huffcodec::BodyEncoder;
using huffcodec::ByteCounter;

// How an encoder may run: with or without the pair table, on each kernel's
// loops (those the processor does not run are left out where they are used).
struct EncoderSetup {
    std::uint64_t inputBytes;
    huffcodec::Kernel kernel;
};
const EncoderSetup kSetups[] = {
    {0, huffcodec::Kernel::avx512},   {BodyEncoder::kPairTableFrom, huffcodec::Kernel::avx512},
    {0, huffcodec::Kernel::bmi2},     {BodyEncoder::kPairTableFrom, huffcodec::Kernel::bmi2},
    {0, huffcodec::Kernel::portable}, {BodyEncoder::kPairTableFrom, huffcodec::Kernel::portable}};

// Encodes data in pieces of random sizes, as the command does block by block.
std::string encodeFast(const HCTree& tree, const std::string& data, std::uint64_t seed,
                       const EncoderSetup& setup = kSetups[0]) {
    BodyEncoder encoder(codeOf(tree), setup.inputBytes);
    encoder.useKernel(huffcodec::kernelRuns(setup.kernel) ? setup.kernel : huffcodec::bestKernel());
    std::mt19937_64 random(seed);
    std::string body;
    std::size_t offset = 0;
    while (offset < data.size()) {
        const std::size_t size = std::min<std::size_t>(data.size() - offset, random() % 5000);
        std::vector<std::uint8_t> out(encoder.outputBound(size));
        const std::size_t bytes = encoder.encode(
            reinterpret_cast<const std::uint8_t*>(data.data()) + offset, size, out.data());
        body.append(reinterpret_cast<const char*>(out.data()), bytes);
        offset += size;
    }
    std::uint8_t last[1];
    if (encoder.finish(last) == 1) {
        body.push_back(static_cast<char>(last[0]));
    }
    EXPECT_FALSE(encoder.sawSymbolWithoutCode());
    return body;
}

TEST(BodyEncoder, WritesWhatThePlainWriterWrites) {
    std::uint64_t seed = 3;
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        ASSERT_TRUE(BodyEncoder(codeOf(tree)).supportsTree());
        for (const std::size_t size : {0, 1, 7, 8, 9, 100, 20000}) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            const std::string data = dataFor(counts, size, seed);
            const std::string plain = encodePlain(tree, data);
            for (const EncoderSetup& setup : kSetups) {
                ASSERT_EQ(encodeFast(tree, data, seed, setup), plain)
                    << setup.inputBytes << " " << huffcodec::kernelName(setup.kernel);
            }
            ++seed;
        }
    }
}

// The encoder takes four, three, two or one codes per store by the longest
// code, and pairs of codes up to 24 bits: on each side of every threshold, a
// tree with exactly that longest code and data made mostly of its two rarest
// symbols, so that longest codes come back to back after every number of
// carried bits.
TEST(BodyEncoder, LongestCodesBackToBackAtEveryGroupingThreshold) {
    for (const int longest : {11, 12, 13, 14, 15, 18, 19, 28, 29}) {
        SymbolCounts counts(kNumSymbols, 0);
        std::int32_t a = 1, b = 1;
        for (int s = 0; s <= longest; ++s) {
            counts[s * 3] = a;  // longest + 1 Fibonacci counts: codes of up to longest bits
            const std::int32_t next = a + b;
            a = b;
            b = next;
        }
        HCTree tree;
        tree.buildFromCounts(counts);
        ASSERT_EQ(BodyEncoder(codeOf(tree)).maxCodeLength(), longest);
        std::mt19937 random(static_cast<unsigned>(longest));
        std::string data(20000, '\0');
        for (char& c : data) {
            c = static_cast<char>(3 *
                                  (random() % 4 != 0 ? random() % 2 : random() % (longest + 1)));
        }
        for (const EncoderSetup& setup : kSetups) {
            EXPECT_EQ(encodeFast(tree, data, static_cast<std::uint64_t>(longest), setup),
                      encodePlain(tree, data))
                << longest << " " << setup.inputBytes;
        }
    }
}

TEST(BodyEncoder, FlagsByteValuesWithoutCode) {
    HCTree tree;
    tree.buildFromCounts(makeCounts({{'a', 3}, {'b', 1}}));
    for (const std::uint64_t inputBytes : {std::uint64_t{0}, BodyEncoder::kPairTableFrom}) {
        BodyEncoder encoder(codeOf(tree), inputBytes);
        EXPECT_EQ(encoder.hasPairTable(), inputBytes != 0);
        std::uint8_t out[64];
        const std::uint8_t known[] = {'a', 'b', 'a', 'a', 'b'};
        encoder.encode(known, sizeof known, out);
        EXPECT_FALSE(encoder.sawSymbolWithoutCode());
        // In a group of four, where pairs are looked up.
        const std::uint8_t unknown[] = {'a', 'b', 'c', 'a'};
        encoder.encode(unknown, sizeof unknown, out);
        EXPECT_TRUE(encoder.sawSymbolWithoutCode());
    }
    EXPECT_FALSE(BodyEncoder(codeOf(tree), BodyEncoder::kPairTableFrom - 1).hasPairTable());
}

TEST(BodyEncoder, DeepestTreeCodesStayWithinReach) {
    const SymbolCounts fibonacci = countTableShapes()[60];
    HCTree tree;
    tree.buildFromCounts(fibonacci);
    const BodyEncoder encoder(codeOf(tree));
    EXPECT_GE(encoder.maxCodeLength(), 40);
    EXPECT_LE(encoder.maxCodeLength(), BodyEncoder::kMaxCodeBits);
}

TEST(ByteCounter, CountsLikeAPlainLoop) {
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        const std::string data = randomBytes(seed, 10007 * seed, seed % 2 ? 256 : 3);
        ByteCounter counter;
        std::size_t offset = 0;
        for (std::size_t piece = 1; offset < data.size(); piece = piece * 3 + 1) {
            const std::size_t size = std::min(piece, data.size() - offset);
            counter.add(reinterpret_cast<const std::uint8_t*>(data.data()) + offset, size);
            offset += size;
        }
        const SymbolCounts expected = countBytes(data);
        const auto counts = counter.counts();
        for (int s = 0; s < kNumSymbols; ++s) {
            ASSERT_EQ(counts[s], static_cast<std::uint64_t>(expected[s])) << s;
        }
    }
}

}  // namespace
