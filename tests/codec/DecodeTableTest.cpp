// DecodeTable against the plain reference path: the same symbols, the same
// stopping point and the same bytes consumed, over many trees, data, cuts and
// corrupt bodies, and across the decoder's block boundaries.
#include "DecodeTable.hpp"
#include "MemoryReader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;

struct FastDecoding {
    DecodeTable::Status status;
    std::string symbols;
    std::uint64_t bitsConsumed;
    DecodeTable::LaneStats laneStats;
};

// The decoder's ways of running: one chain, two lanes over the default
// segments, and two lanes over segments small enough for short bodies.
struct Way {
    DecodeTable::Lanes lanes;
    std::size_t segmentBytes;
};
const Way kOneLane{DecodeTable::Lanes::one, DecodeTable::kDefaultSegmentBytes};
const Way kTwoLanes{DecodeTable::Lanes::two, DecodeTable::kDefaultSegmentBytes};
const Way kWays[] = {
    kOneLane, kTwoLanes, {DecodeTable::Lanes::two, 64}, {DecodeTable::Lanes::two, 202}};

// Runs decodeBody over body held in memory.
FastDecoding decodeFast(const HCTree& tree, const std::string& body, std::uint64_t symbolCount,
                        Way way = kTwoLanes) {
    const DecodeTable table(tree);
    MemoryReader reader(body.data(), body.size());
    FastDecoding result{};
    const auto outcome = table.decodeBody(
        symbolCount,
        [&reader](std::uint8_t* buffer, std::size_t size) { return reader.read(buffer, size); },
        [&](const std::uint8_t* data, std::size_t size) {
            result.symbols.append(reinterpret_cast<const char*>(data), size);
            return true;
        },
        way.lanes, way.segmentBytes);
    result.status = outcome.status;
    result.bitsConsumed = outcome.bitsConsumed;
    result.laneStats = outcome.laneStats;
    EXPECT_EQ(outcome.symbolsWritten, result.symbols.size());
    return result;
}

// Every way of the fast path must do exactly what the plain path does.
// Returns the lane statistics of the default two-lane way.
DecodeTable::LaneStats expectSameAsPlain(const HCTree& tree, const std::string& body,
                                         std::uint64_t symbolCount) {
    const PlainDecoding plain = decodePlain(tree, body, symbolCount);
    DecodeTable::LaneStats stats;
    for (const Way& way : kWays) {
        SCOPED_TRACE(std::string(way.lanes == DecodeTable::Lanes::one ? "one lane" : "two lanes") +
                     ", segments of " + std::to_string(way.segmentBytes));
        const FastDecoding fast = decodeFast(tree, body, symbolCount, way);
        EXPECT_EQ(fast.symbols.size(), plain.symbols.size());
        EXPECT_TRUE(fast.symbols == plain.symbols);
        if (plain.complete) {
            EXPECT_EQ(fast.status, DecodeTable::Status::ok);
            EXPECT_EQ((fast.bitsConsumed + 7) / 8, plain.bytesFetched);
        } else {
            EXPECT_EQ(fast.status, DecodeTable::Status::endOfInput);
        }
        if (way.lanes == kTwoLanes.lanes && way.segmentBytes == kTwoLanes.segmentBytes) {
            stats = fast.laneStats;
        }
    }
    return stats;
}

TEST(DecodeTable, MatchesPlainPathOnEveryTreeShape) {
    std::uint64_t seed = 1;
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        for (const std::size_t size : {0, 1, 29, 1000, 70001}) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            const std::string data = dataFor(counts, size, seed++);
            const std::string body = encodePlain(tree, data);
            expectSameAsPlain(tree, body, data.size());
            expectSameAsPlain(tree, body + "trailing bytes", data.size());
            EXPECT_EQ(decodeFast(tree, body, data.size()).symbols, data);
        }
    }
}

// Bodies large enough to cross several input and output blocks, on trees
// with long codes (over the table index) and with one-bit codes (full runs).
TEST(DecodeTable, MatchesPlainPathAcrossBlocks) {
    const std::vector<SymbolCounts> shapes = countTableShapes();
    const SymbolCounts skewed = makeCounts({{'a', 1000000}, {'b', 3}, {'c', 2}, {'d', 1}});
    for (const SymbolCounts& counts : {shapes[60], shapes[1], skewed}) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string data = dataFor(counts, 600000, 77);
        const auto stats = expectSameAsPlain(tree, encodePlain(tree, data), data.size());
        EXPECT_GT(stats.segments, 0u) << "the two-lane path did not run";
    }
}

// Codes of constant length: 8 bits (uniform bytes) meet at once at every
// byte-aligned split; 5 bits meet only where the split is a multiple of 5
// bits from the body's start, so most segments fall back, and must stay exact.
TEST(DecodeTable, ConstantLengthCodesMeetOrFallBackExactly) {
    struct Case {
        int symbols;
        bool allMeet;
    };
    for (const Case c : {Case{256, true}, Case{32, false}, Case{8, false}}) {
        SymbolCounts counts(kNumSymbols, 0);
        for (int s = 0; s < c.symbols; ++s) {
            counts[(s * 7 + 3) % kNumSymbols] = 100;
        }
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string data = dataFor(counts, 900000, 8);
        const auto stats = expectSameAsPlain(tree, encodePlain(tree, data), data.size());
        EXPECT_GT(stats.segments, 3u) << c.symbols;
        if (c.allMeet) {
            EXPECT_EQ(stats.fallbacks, 0u);
            // A meets B where its last refill left it: within 52 bits of the split.
            EXPECT_LT(stats.resyncBitsMax, 64u);
        } else {
            EXPECT_GT(stats.fallbacks, 0u) << c.symbols;
        }
    }
}

// Cuts just before and after where default two-lane segments begin, split
// and end, so that the last segment and the careful tail meet at the cut.
TEST(DecodeTable, CutsAroundSegmentBoundariesMatchPlainPath) {
    const SymbolCounts counts = countTableShapes()[4];
    HCTree tree;
    tree.buildFromCounts(counts);
    const std::string data = dataFor(counts, 600000, 12);
    const std::string body = encodePlain(tree, data);
    const std::size_t segment = DecodeTable::kDefaultSegmentBytes;
    ASSERT_GT(expectSameAsPlain(tree, body, data.size()).segments, 2u);
    for (std::size_t boundary = segment / 2; boundary < body.size() && boundary < 3 * segment;
         boundary += segment / 2) {
        for (const std::size_t delta : {0, 1, 7, 40, 63, 64, 65, 100}) {
            for (const std::size_t cut : {boundary - delta, boundary + delta}) {
                SCOPED_TRACE("cut " + std::to_string(cut));
                expectSameAsPlain(tree, body.substr(0, cut), data.size());
            }
        }
    }
}

// Every cut of small bodies: the same symbols before the same stop.
TEST(DecodeTable, EveryCutPointMatchesPlainPath) {
    std::uint64_t seed = 500;
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string data = dataFor(counts, 90, seed++);
        const std::string body = encodePlain(tree, data);
        for (std::size_t cut = 0; cut <= body.size(); ++cut) {
            SCOPED_TRACE("cut " + std::to_string(cut));
            expectSameAsPlain(tree, body.substr(0, cut), data.size());
        }
    }
}

// Bodies that are not what any writer wrote: random bytes, asked for more
// symbols than they hold.
TEST(DecodeTable, RandomBodiesMatchPlainPath) {
    std::uint64_t seed = 900;
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string body = randomBytes(seed++, 3000);
        expectSameAsPlain(tree, body, 100000);
        expectSameAsPlain(tree, body, 700);
    }
}

// The hot loop decodes up to 28 symbols between checks; it must never hand out
// more than asked for, whatever count and whatever run lengths.
TEST(DecodeTable, StopsAtExactlyTheSymbolCount) {
    for (const SymbolCounts& counts :
         {makeCounts({{'a', 1000}, {'b', 1}}), makeCounts({{'a', 50}, {'b', 30}, {'c', 20}}),
          countTableShapes()[60]}) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string data = dataFor(counts, 400, 4);
        const std::string body = encodePlain(tree, data);
        for (std::uint64_t count = 0; count <= data.size(); ++count) {
            SCOPED_TRACE(count);
            expectSameAsPlain(tree, body, count);
        }
    }
}

TEST(DecodeTable, EmptyAndOneSymbolTrees) {
    HCTree empty;
    empty.buildFromCounts(SymbolCounts(kNumSymbols, 0));
    EXPECT_EQ(decodeFast(empty, "", 0).status, DecodeTable::Status::ok);
    EXPECT_EQ(decodeFast(empty, "abc", 3).status, DecodeTable::Status::endOfInput);

    HCTree single;
    single.buildFromCounts(makeCounts({{200, 5}}));
    const FastDecoding many = decodeFast(single, "", 300000);
    EXPECT_EQ(many.status, DecodeTable::Status::ok);
    EXPECT_EQ(many.symbols, std::string(300000, '\xC8'));
    EXPECT_EQ(many.bitsConsumed, 0u);
}

TEST(DecodeTable, ReportsReadAndWriteErrors) {
    HCTree tree;
    tree.buildFromCounts(makeCounts({{'x', 5}, {'y', 9}}));
    const DecodeTable table(tree);
    const auto failingRead = [](std::uint8_t*, std::size_t) { return -1L; };
    const auto keep = [](const std::uint8_t*, std::size_t) { return true; };
    EXPECT_EQ(table.decodeBody(10, failingRead, keep).status, DecodeTable::Status::readError);

    const std::string body(100000, '\x55');
    MemoryReader reader(body.data(), body.size());
    const auto read = [&reader](std::uint8_t* buffer, std::size_t size) {
        return reader.read(buffer, size);
    };
    std::size_t accepted = 0;
    const auto failSecondWrite = [&](const std::uint8_t*, std::size_t size) {
        accepted += size;
        return accepted == size;
    };
    const auto result = table.decodeBody(body.size() * 8, read, failSecondWrite);
    EXPECT_EQ(result.status, DecodeTable::Status::writeError);
    EXPECT_LT(result.symbolsWritten, body.size() * 8);

    HCTree single;
    single.buildFromCounts(makeCounts({{'z', 1}}));
    const auto refuse = [](const std::uint8_t*, std::size_t) { return false; };
    EXPECT_EQ(DecodeTable(single).decodeBody(5, failingRead, refuse).status,
              DecodeTable::Status::writeError);
}

}  // namespace
