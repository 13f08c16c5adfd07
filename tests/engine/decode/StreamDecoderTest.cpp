// SPDX-License-Identifier: MIT
//
// The stream decoder against the plain reference path: the same symbols, the
// same stopping point and the same bytes consumed, over many trees, data, cuts
// and corrupt bodies, with one to four lanes, and across block boundaries.
#include "api/Planning.hpp"
#include "decode/StreamDecoder.hpp"
#include "parallel/ThreadedDecoder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;
using huffcodec::DecodeStats;
using huffcodec::Status;

struct FastDecoding {
    Status status;
    std::string symbols;
    std::uint64_t bitsConsumed;
    DecodeStats stats;
};

// The decoder's ways of running: one chain, the default, two lanes as the
// commands once ran them, and every lane count over segments small enough for
// short bodies. Parts of 101 bytes (808 bits) put the split points of one
// segment at different offsets modulo short constant code lengths.
struct Way {
    int lanes = 0;                 // 0: four
    std::size_t segmentBytes = 0;  // 0: the default
    int threads = 1;
    std::size_t chunkBytes = 0;  // 0: the largest default
};
const Way kOneLane{1, 0};
const Way kDefault{};
const Way kOddParts{3, 303};
// Threaded ways cut the body into tiny chunks, on more threads than cores.
const Way kWays[] = {kOneLane,       kDefault,        {2, 0},         {2, 64},
                     {2, 202},       {3, 64},         kOddParts,      {4, 64},
                     {4, 404},       {4, 0},          {1, 0, 2, 97},  {2, 0, 2, 64},
                     {3, 0, 3, 301}, {4, 0, 4, 1000}, {0, 0, 2, 4096}};

// Worker threads that threaded ways share on every other run, as an
// embedder's pool is shared by its calls; it outlives every call.
huffcodec::WorkerThreads& sharedThreads() {
    static huffcodec::WorkerThreads threads(3, false);
    return threads;
}

// The plan of a way, through the API's resolution of tuned options.
huffcodec::DecodePlan planOf(const Way& way, huffcodec::Kernel kernel, bool shared) {
    huffcodec::Settings settings;
    settings.tuning.lanes = way.lanes == 0 ? huffcodec::kMaxLanes : way.lanes;
    settings.tuning.segmentBytes = way.segmentBytes;
    settings.tuning.decodeChunkBytes =
        way.chunkBytes == 0 ? huffcodec::kMaxDefaultChunkBytes : way.chunkBytes;
    settings.tuning.kernel = kernel;
    huffcodec::DecodePlan plan = huffcodec::decodePlanFor(settings, 0, 0, 2);
    plan.workers = {way.threads, false, shared ? &sharedThreads() : nullptr};
    return plan;
}

// Where decodeFast takes the body from and puts the symbols.
enum class Through { reads, inPlace, inPlaceToBuffer };

// Decodes symbolCount symbols of body, read through a callback in pieces of
// pieceSize bytes (0: as much as asked for) that fails once failAt bytes have
// been read, or in place; threaded ways take sharedThreads() when shared.
FastDecoding decodeFast(const HCTree& tree, const std::string& body, std::uint64_t symbolCount,
                        const Way& way = kDefault, Through through = Through::reads,
                        std::size_t pieceSize = 0, std::size_t failAt = SIZE_MAX,
                        bool shared = false, huffcodec::Kernel kernel = huffcodec::Kernel::portable,
                        huffcodec::DecodeTable table = huffcodec::DecodeTable::large) {
    huffcodec::Tuning tableTuning;
    tableTuning.decodeTable = table;
    const huffcodec::DecodeTables tables(codeOf(tree),
                                         huffcodec::decodeTableFor(tableTuning, symbolCount, 0));
    huffcodec::DecodePlan plan = planOf(way, kernel, shared);
    // Threads share out bodies of any size here; codes of no bits, never
    // (as decodePlanFor decides).
    plan.threaded = way.threads > 1 && tables.leafCount() > 1;
    huffcodec::StreamDecoder decoder(tables, plan);
    FastDecoding result{};
    const huffcodec::WriteFn write = [&](const std::uint8_t* data, std::size_t size) {
        result.symbols.append(reinterpret_cast<const char*>(data), size);
        return true;
    };
    std::size_t offset = 0;
    const huffcodec::ReadFn read = [&](std::uint8_t* buffer, std::size_t size) {
        if (offset >= failAt) {
            return -1L;
        }
        const std::size_t n = std::min(
            {size, body.size() - offset, pieceSize == 0 ? size : pieceSize, failAt - offset});
        std::copy_n(body.data() + offset, n, buffer);
        offset += n;
        return static_cast<long>(n);
    };
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(body.data());
    // A target as large as the symbols and no more, so that a store past them
    // shows under AddressSanitizer.
    std::vector<std::uint8_t> target(static_cast<std::size_t>(symbolCount));
    const huffcodec::BodyOutput output = through == Through::inPlaceToBuffer
                                             ? huffcodec::BodyOutput(target.data(), target.size())
                                             : huffcodec::BodyOutput(write);
    const huffcodec::BodyResult outcome =
        way.threads > 1
            ? through != Through::reads
                  ? huffcodec::decodeThreaded(tables, plan, symbolCount, bytes, body.size(), output,
                                              result.stats)
                  : huffcodec::decodeThreaded(tables, plan, symbolCount, 8 * body.size(), read,
                                              output, result.stats)
        : through != Through::reads
            ? decoder.decode(symbolCount, bytes, body.size(), output, result.stats)
            : decoder.decode(symbolCount, read, output, result.stats);
    if (through == Through::inPlaceToBuffer) {
        result.symbols.assign(target.begin(),
                              target.begin() + static_cast<std::ptrdiff_t>(outcome.symbolsWritten));
    }
    result.status = outcome.status;
    result.bitsConsumed = outcome.bitsConsumed;
    EXPECT_EQ(outcome.symbolsWritten, result.symbols.size());
    return result;
}

// Every way of the fast path, on every lane kernel, must do exactly what the
// plain path does. Each kernel runs each way one of four ways in: through
// reads, through short reads, in place to a write callback, or in place
// straight into a buffer of the symbols' size; the threaded ways are left out where threaded is
// false (the exhaustive tests, where starting threads thousands of times would dominate). Where
// threaded is true, every way is run again through reads that fail at one of three offsets: it must
// give what the plain path makes of the body cut there, with readError for truncatedBody. Returns
// the lane statistics of statsWay on the last kernel.
DecodeStats expectSameAsPlain(const HCTree& tree, const std::string& body,
                              std::uint64_t symbolCount, const Way& statsWay = kDefault,
                              bool threaded = true) {
    const PlainDecoding plain = decodePlain(tree, body, symbolCount);
    const std::size_t failOffsets[] = {body.size() / 3, (body.size() + 1) / 2, body.size() * 5 / 6};
    std::vector<PlainDecoding> cutDecodings;
    for (const std::size_t offset : failOffsets) {
        if (!threaded) {
            break;
        }
        cutDecodings.push_back(decodePlain(tree, body.substr(0, offset), symbolCount));
    }
    DecodeStats stats;
    forEachKernel([&](huffcodec::Kernel kernel) {
        int run = 0;
        for (const Way& way : kWays) {
            if (way.threads > 1 && !threaded) {
                continue;
            }
            SCOPED_TRACE(std::to_string(way.lanes) + " lanes, segments of " +
                         std::to_string(way.segmentBytes) + ", " + std::to_string(way.threads) +
                         " threads, chunks of " + std::to_string(way.chunkBytes));
            // Each kernel takes each way a different way in; the statistics
            // come through reads, where the single chain between segments
            // moves where they start, as the tests below expect.
            const bool statsRun =
                way.lanes == statsWay.lanes && way.segmentBytes == statsWay.segmentBytes &&
                way.threads == statsWay.threads && way.chunkBytes == statsWay.chunkBytes;
            const int turn = statsRun ? 0 : (run + static_cast<int>(kernel)) % 4;
            const Through through = turn == 1   ? Through::inPlace
                                    : turn == 3 ? Through::inPlaceToBuffer
                                                : Through::reads;
            // And each its own kind of table, all kinds over the ways.
            const huffcodec::DecodeTable table =
                statsRun ? huffcodec::DecodeTable::large
                         : huffcodec::kDecodeTables[static_cast<std::size_t>(
                               (run + 2 * static_cast<int>(kernel)) %
                               static_cast<int>(std::size(huffcodec::kDecodeTables)))];
            SCOPED_TRACE("decode table " + std::to_string(static_cast<int>(table)));
            const FastDecoding fast =
                decodeFast(tree, body, symbolCount, way, through, turn == 2 ? 1000 : 0, SIZE_MAX,
                           false, kernel, table);
            ++run;
            EXPECT_EQ(fast.symbols.size(), plain.symbols.size());
            EXPECT_TRUE(fast.symbols == plain.symbols);
            if (plain.complete) {
                EXPECT_EQ(fast.status, Status::ok);
                EXPECT_EQ((fast.bitsConsumed + 7) / 8, plain.bytesFetched);
            } else {
                EXPECT_EQ(fast.status, Status::truncatedBody);
            }
            if (statsRun) {
                stats = fast.stats;
            }
            if (!threaded) {
                continue;
            }
            const std::size_t cut = static_cast<std::size_t>(run) % std::size(failOffsets);
            const FastDecoding failed =
                decodeFast(tree, body, symbolCount, way, Through::reads, run % 2 == 0 ? 1000 : 0,
                           failOffsets[cut], run % 2 == 1, kernel, table);
            EXPECT_TRUE(failed.symbols == cutDecodings[cut].symbols) << "read error at " << cut;
            EXPECT_EQ(failed.status, cutDecodings[cut].complete ? Status::ok : Status::readError);
        }
    });
    return stats;
}

TEST(StreamDecoder, MatchesPlainPathOnEveryTreeShape) {
    std::uint64_t seed = 1;
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        for (const std::size_t size : {0, 1, 29, 1000, 70001}) {
            const std::uint64_t caseSeed = seed++;
            if (!inSweep(caseSeed, 0)) {
                continue;
            }
            SCOPED_TRACE("seed " + std::to_string(caseSeed));
            const std::string data = dataFor(counts, size, caseSeed);
            const std::string body = encodePlain(tree, data);
            expectSameAsPlain(tree, body, data.size());
            expectSameAsPlain(tree, body + "trailing bytes", data.size());
            EXPECT_EQ(decodeFast(tree, body, data.size()).symbols, data);
        }
    }
}

// Bodies large enough to cross several input and output blocks, on trees
// with long codes (over the table index) and with one-bit codes (full runs);
// then followed by more than an input block of trailing bytes, so that every
// top-up of the input fills its whole block.
TEST(StreamDecoder, MatchesPlainPathAcrossBlocks) {
    const std::vector<SymbolCounts> shapes = countTableShapes();
    const SymbolCounts skewed = makeCounts({{'a', 1000000}, {'b', 3}, {'c', 2}, {'d', 1}});
    for (const SymbolCounts& counts : {shapes[60], shapes[1], skewed}) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string data = dataFor(counts, 600000, 77);
        const std::string body = encodePlain(tree, data);
        const auto stats = expectSameAsPlain(tree, body, data.size());
        EXPECT_GT(stats.segments, 0u) << "the two-lane path did not run";
        expectSameAsPlain(tree, body + randomBytes(78, 300000), data.size());
    }
}

// Codes of constant length: 8 bits (uniform bytes) are mapped byte by byte
// and meet at every byte-aligned split; 5 and 3 bits meet only where the split
// is a multiple of the length from the body's start. With parts of 808 bits,
// the boundaries of one segment lie at different offsets: lanes fall back at
// some and meet at others, and all of it must stay exact.
TEST(StreamDecoder, ConstantLengthCodesMeetOrFallBackExactly) {
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
        // Codes of eight bits for every byte value are decoded as bytes.
        EXPECT_EQ(huffcodec::DecodeTables(codeOf(tree)).byteCode(), c.symbols == 256);
        const std::string data = dataFor(counts, 900000, 8);
        const auto stats = expectSameAsPlain(tree, encodePlain(tree, data), data.size(), kOddParts);
        EXPECT_GT(stats.segments, 3u) << c.symbols;
        if (c.allMeet) {
            EXPECT_EQ(stats.fallbacks, 0u);
            // The true state meets the next lane where its last group left it.
            EXPECT_LT(stats.resyncBitsMax, 64u);
        } else {
            EXPECT_GT(stats.fallbacks, 0u) << c.symbols;
            EXPECT_LT(stats.fallbacks, stats.boundaries) << c.symbols;
        }
    }
}

// Cuts just before and after where default two-lane segments begin, split
// and end, so that the last segment and the careful tail meet at the cut.
TEST(StreamDecoder, CutsAroundSegmentBoundariesMatchPlainPath) {
    const SymbolCounts counts = countTableShapes()[4];
    HCTree tree;
    tree.buildFromCounts(counts);
    const std::string data = dataFor(counts, 600000, 12);
    const std::string body = encodePlain(tree, data);
    const std::size_t segment = huffcodec::kDefaultSegmentBytes;
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
TEST(StreamDecoder, EveryCutPointMatchesPlainPath) {
    std::uint64_t seed = 500;
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string data = dataFor(counts, 90, seed++);
        const std::string body = encodePlain(tree, data);
        for (std::size_t cut = 0; cut <= body.size(); ++cut) {
            if (!inSweep(cut, seed) && cut != body.size()) {
                continue;
            }
            SCOPED_TRACE("cut " + std::to_string(cut));
            expectSameAsPlain(tree, body.substr(0, cut), data.size(), kDefault, false);
        }
    }
}

// Bodies that are not what any writer wrote: random bytes, asked for more
// symbols than they hold.
TEST(StreamDecoder, RandomBodiesMatchPlainPath) {
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
TEST(StreamDecoder, StopsAtExactlyTheSymbolCount) {
    std::size_t shape = 0;
    for (const SymbolCounts& counts :
         {makeCounts({{'a', 1000}, {'b', 1}}), makeCounts({{'a', 50}, {'b', 30}, {'c', 20}}),
          countTableShapes()[60]}) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::string data = dataFor(counts, 400, 4);
        const std::string body = encodePlain(tree, data);
        for (std::uint64_t count = 0; count <= data.size(); ++count) {
            if (!inSweep(count, shape) && count != data.size()) {
                continue;
            }
            SCOPED_TRACE(count);
            expectSameAsPlain(tree, body, count, kDefault, count % 10 == shape);
        }
        ++shape;
    }
}

TEST(StreamDecoder, EmptyAndOneSymbolTrees) {
    HCTree empty;
    empty.buildFromCounts(SymbolCounts(kNumSymbols, 0));
    EXPECT_EQ(decodeFast(empty, "", 0).status, Status::ok);
    EXPECT_EQ(decodeFast(empty, "abc", 3).status, Status::truncatedBody);

    HCTree single;
    single.buildFromCounts(makeCounts({{200, 5}}));
    const FastDecoding many = decodeFast(single, "", 300000);
    EXPECT_EQ(many.status, Status::ok);
    EXPECT_EQ(many.symbols, std::string(300000, '\xC8'));
    EXPECT_EQ(many.bitsConsumed, 0u);
}

TEST(StreamDecoder, ReportsReadAndWriteErrors) {
    HCTree tree;
    tree.buildFromCounts(makeCounts({{'x', 5}, {'y', 9}}));
    const huffcodec::DecodeTables tables(codeOf(tree));
    DecodeStats stats;
    const auto decode = [&](std::uint64_t symbols, const huffcodec::ReadFn& read,
                            const huffcodec::WriteFn& write) {
        return huffcodec::StreamDecoder(tables,
                                        planOf(kDefault, huffcodec::Kernel::portable, false))
            .decode(symbols, read, write, stats);
    };
    const auto keep = [](const std::uint8_t*, std::size_t) { return true; };
    const auto failingRead = [](std::uint8_t*, std::size_t) { return -1L; };
    EXPECT_EQ(decode(10, failingRead, keep).status, Status::readError);
    // A reader that claims more bytes than it was asked for is broken.
    const auto overclaiming = [](std::uint8_t*, std::size_t size) {
        return static_cast<long>(size + 1);
    };
    EXPECT_EQ(decode(10, overclaiming, keep).status, Status::readError);

    const std::string body(100000, '\x55');
    std::size_t offset = 0;
    const auto read = [&](std::uint8_t* buffer, std::size_t size) {
        const std::size_t n = std::min(size, body.size() - offset);
        std::copy_n(body.data() + offset, n, buffer);
        offset += n;
        return static_cast<long>(n);
    };
    std::size_t accepted = 0;
    const auto failSecondWrite = [&](const std::uint8_t*, std::size_t size) {
        accepted += size;
        return accepted == size;
    };
    const auto result = decode(body.size() * 8, read, failSecondWrite);
    EXPECT_EQ(result.status, Status::writeError);
    EXPECT_LT(result.symbolsWritten, body.size() * 8);

    HCTree single;
    single.buildFromCounts(makeCounts({{'z', 1}}));
    const huffcodec::DecodeTables singleTables(codeOf(single));
    const huffcodec::WriteFn refuse = [](const std::uint8_t*, std::size_t) { return false; };
    EXPECT_EQ(
        huffcodec::StreamDecoder(singleTables, planOf(kDefault, huffcodec::Kernel::portable, false))
            .decode(5, failingRead, refuse, stats)
            .status,
        Status::writeError);
}

// The threaded decoder's writes: a target takes what fits after the symbols
// put before and nothing of what does not; no symbols call no write.
TEST(StreamDecoder, BodyOutputPutsWhatFits) {
    const std::uint8_t data[] = {'a', 'b', 'c'};
    std::uint8_t target[4] = {'.', '.', '.', '.'};
    const huffcodec::BodyOutput into(target, sizeof target);
    EXPECT_TRUE(into.put(0, data, 3));
    EXPECT_FALSE(into.put(3, data, 2));
    EXPECT_EQ(std::string(target, target + 4), "abc.");
    EXPECT_TRUE(into.put(3, data + 2, 1));
    EXPECT_TRUE(into.put(4, data, 0));
    EXPECT_EQ(std::string(target, target + 4), "abcc");

    int calls = 0;
    const huffcodec::WriteFn refuse = [&](const std::uint8_t*, std::size_t) { return ++calls < 0; };
    const huffcodec::BodyOutput through(refuse);
    EXPECT_TRUE(through.put(0, data, 0));
    EXPECT_FALSE(through.put(0, data, 3));
    EXPECT_EQ(calls, 1);
}

}  // namespace
