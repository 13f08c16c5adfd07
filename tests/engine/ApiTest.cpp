// SPDX-License-Identifier: MIT
//
// The public API over buffers and streams: compress() writes what the
// reference writer writes, decompress() and the streaming Decoder give the
// data back with the stopping point and bytes consumed the plain path implies,
// and the Encoder refuses input that changed between its two passes.
#include "huffcodec/huffcodec.hpp"

#include "huffcodec/experimental.h"
#include "huffcodec/huffcodec.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

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
        EXPECT_EQ(restored.substr(0, partial.bytesProduced), plain.symbols);
    }
}

// compressBound() is size + 1024: all 256 values equally often (codes of
// exactly 8 bits) reach it, random bytes come close.
TEST(Api, CompressBoundHoldsForCodesOfEightBits) {
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
    EXPECT_EQ(encoded.bytesProduced, file.size());

    // The second pass must see what the first counted.
    char uncounted = 0;
    while (counted.header.counts[static_cast<unsigned char>(uncounted)] != 0) {
        ++uncounted;
    }
    // A counted byte whose code has another length than the first byte's.
    HCTree tree;
    tree.buildFromCounts(countBytes(data));
    const std::vector<std::string> codes = codesOf(tree);
    char longer = 0;
    while (counted.header.counts[static_cast<unsigned char>(longer)] == 0 ||
           codes[static_cast<unsigned char>(longer)].size() ==
               codes[static_cast<unsigned char>(data[0])].size()) {
        ++longer;
    }
    for (const std::string& changed :
         {data + data[0], data.substr(1), uncounted + data.substr(1), longer + data.substr(1)}) {
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
        huffcodec::Tuning tuning;
        tuning.lanes = lanes;
        tuning.segmentBytes = 4096;
        tuning.stats = &stats;
        const auto result =
            decoder.decode(readerOf(body, offset), collect, optionsWith(1, &tuning));
        EXPECT_EQ(result.status, Status::ok);
        EXPECT_EQ(restored, data);
        EXPECT_EQ(result.bytesConsumed, kHeaderBytes + body.size());
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

// Whether the byte that differs between a and b has a code of another length
// (or none) in tree.
bool lengthChanged(const HCTree& tree, const std::string& a, const std::string& b) {
    const std::vector<std::string> codes = codesOf(tree);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            const auto before = static_cast<unsigned char>(a[i]);
            const auto after = static_cast<unsigned char>(b[i]);
            return tree.getLeaf(after) == nullptr || codes[before].size() != codes[after].size();
        }
    }
    return false;
}

// The caller-driven streams against the reference: whole files, cut files
// and files with trailing bytes, fed and drained in pieces of every size from
// one byte up (the sizes drawn with a fixed seed), give the data, the cut's
// prefix and truncatedBody, and where the file ended; the data, fed to a
// CompressStream the same way, gives the file, and changed data inputChanged.
TEST(Api, StreamsInPiecesOfAnySize) {
    std::mt19937 random(77);
    const std::vector<SymbolCounts> shapes = countTableShapes();
    std::size_t row = 0;
    for (std::size_t t = 0; t < shapes.size(); t += 3) {
        // Some files larger than the stream's input block, which then moves
        // what it keeps to its front.
        const std::string data = dataFor(shapes[t],
                                         t % 2 == 0   ? 3000
                                         : t % 3 == 0 ? 1500000
                                                      : 300000,
                                         t);
        const std::string file = compressReference(data);
        HCTree tree;
        tree.buildFromCounts(countBytes(data));
        const std::string cut = file.substr(0, kHeaderBytes + (file.size() - kHeaderBytes) / 2);
        const PlainDecoding cutPlain = decodePlain(tree, cut.substr(kHeaderBytes), data.size());
        const std::size_t limits[] = {1, 16, 5000, 1 << 20};
        for (const std::string& input : {file, file + "trailing", cut}) {
            const std::size_t inLimit = limits[row % 4], outLimit = limits[row / 4 % 4];
            ++row;
            SCOPED_TRACE("table " + std::to_string(t) + ", " + std::to_string(input.size()) +
                         " bytes in pieces up to " + std::to_string(inLimit) + " / " +
                         std::to_string(outLimit));
            huffcodec::DecompressStream stream;
            std::string restored;
            std::vector<char> buffer(outLimit);
            std::size_t given = 0;
            Status status = Status::ok;
            for (int calls = 0; !stream.finished() && status == Status::ok; ++calls) {
                ASSERT_LT(calls, 10000000);
                const std::size_t piece =
                    std::min<std::size_t>(1 + random() % inLimit, input.size() - given);
                huffcodec::InBuffer in{input.data() + given, piece, 0};
                huffcodec::OutBuffer out{buffer.data(), 1 + random() % outLimit, 0};
                status = stream.decompress(in, out, given + piece == input.size());
                given += in.pos;
                restored.append(buffer.data(), out.pos);
            }
            // The second pass of compression, fed and drained the same way.
            const huffcodec::CountResult counted = [&] {
                std::size_t offset = 0;
                return huffcodec::countBytes(readerOf(data, offset));
            }();
            std::string replaced = data;
            replaced[data.size() / 2] = static_cast<char>(data[data.size() / 2] ^ 1);
            const std::string sources[] = {data, data + "x", replaced};
            for (const std::string& source : sources) {
                huffcodec::CompressStream packer;
                ASSERT_EQ(packer.reset(counted.header), Status::ok);
                std::string packed;
                std::size_t taken = 0;
                Status packStatus = Status::ok;
                while (!packer.finished() && packStatus == Status::ok) {
                    const std::size_t piece =
                        std::min<std::size_t>(1 + random() % inLimit, source.size() - taken);
                    huffcodec::InBuffer in{source.data() + taken, piece, 0};
                    huffcodec::OutBuffer out{buffer.data(), 1 + random() % outLimit, 0};
                    packStatus = packer.compress(in, out, taken + piece == source.size());
                    taken += in.pos;
                    packed.append(buffer.data(), out.pos);
                }
                if (&source == &sources[0]) {
                    EXPECT_EQ(packStatus, Status::ok);
                    EXPECT_TRUE(packed == file);
                } else if (source.size() > data.size() || lengthChanged(tree, data, replaced)) {
                    EXPECT_EQ(packStatus, Status::inputChanged);
                }
            }
            const bool isCut = input.size() < file.size();
            EXPECT_EQ(status, isCut && !cutPlain.complete ? Status::truncatedBody : Status::ok);
            EXPECT_TRUE(restored == (isCut ? cutPlain.symbols : data));
            if (!isCut) {
                EXPECT_EQ(stream.bytesConsumed(), file.size());
                ASSERT_NE(stream.header(), nullptr);
                EXPECT_EQ(stream.header()->originalSize, static_cast<std::int64_t>(data.size()));
            }
        }
    }
    // A short or bad header is reported once the input has ended.
    const std::string header = compressReference("abc").substr(0, kHeaderBytes);
    std::string negative = header;
    negative[4 * 'b' + 3] = static_cast<char>(0x80);
    for (const auto& [input, status] : {std::pair<std::string, Status>{"", Status::headerTooShort},
                                        {header.substr(0, 500), Status::headerTooShort},
                                        {negative.substr(0, 500), Status::negativeCount},
                                        {negative, Status::negativeCount}}) {
        huffcodec::DecompressStream stream;
        char byte = 0;
        huffcodec::InBuffer in{input.data(), input.size(), 0};
        huffcodec::OutBuffer out{&byte, 1, 0};
        EXPECT_EQ(stream.decompress(in, out, false),
                  input.size() < kHeaderBytes ? Status::ok : status);
        EXPECT_EQ(stream.decompress(in, out, true), status);
        EXPECT_FALSE(stream.finished());
    }
}

// ---- One input on several threads ---------------------------------------

// The encoder's chunks and the smallest input it shares out among threads.
constexpr std::size_t kChunk = std::size_t{512} << 10;
constexpr std::size_t kThreadedSize = std::size_t{4} << 20;

struct LargeShape {
    std::string name;
    std::string data;
    bool midByteBoundary;  // some chunk's codes start inside a byte of the one before
};

// Inputs large enough for threads: text, a skewed alphabet, the deepest
// tree 5.7 MB can make (its longest codes placed at both ends of chunks),
// exactly 4 MiB of two values, whose one-bit codes put every chunk boundary
// on a byte boundary, and uniform bytes, whose codes of eight bits are
// decoded and encoded as a byte table.
std::vector<LargeShape> largeShapes() {
    std::mt19937 random(2024);
    const char* const words[] = {"the ",     "of ",     "and ",     "a ",        "to ",
                                 "in ",      "is ",     "code ",    "tree ",     "byte ",
                                 "count ",   "header ", "bits\n",   "chunk, ",   "thread. ",
                                 "Huffman ", "stream ", "decoder ", "(encoder) "};
    std::string text;
    while (text.size() < kThreadedSize + 1000) {
        // Earlier words come up more often.
        text += words[std::min(random() % std::size(words), random() % std::size(words))];
    }
    std::string skewed;
    for (std::size_t i = 0; i < kThreadedSize + 77; ++i) {
        skewed.push_back(random() % 100 < 93 ? 'a' : static_cast<char>(random()));
    }
    // Fibonacci counts: symbol s occurs F(s + 1) times, so the first have the
    // longest codes. The 20 rarest bytes go to both ends of chunks 1 to 10.
    std::string rare, deep;
    for (std::size_t s = 0, a = 1, b = 1; s < 32; ++s) {
        (s < 6 ? rare : deep).append(a, static_cast<char>(7 * s + 1));
        const std::size_t next = a + b;
        a = b;
        b = next;
    }
    std::shuffle(deep.begin(), deep.end(), random);
    for (std::size_t i = 0; i < rare.size(); ++i) {
        deep.insert((i / 2 + 1) * kChunk - 1 + i % 2, 1, rare[i]);
    }
    return {{"text", text, true},
            {"skewed", skewed, true},
            {"deep tree", deep, true},
            {"two values, exactly 4 MiB", randomBytes(21, kThreadedSize, 2), false},
            {"uniform bytes: codes of eight bits", randomBytes(22, kThreadedSize + 333), false},
            {"one value: codes of no bits", std::string(kThreadedSize + 5, 'v'), false}};
}

// Appends everything written to out.
huffcodec::WriteFn appendTo(std::string& out) {
    return [&out](const std::uint8_t* bytes, std::size_t size) {
        out.append(reinterpret_cast<const char*>(bytes), size);
        return true;
    };
}

// With the counts of each chunk, the encoder gives the same file on one to
// four threads, and finds a second pass that differs from the first however
// its threads are busy: a byte replaced by one with a code of another length
// in a middle chunk, a byte appended, a byte removed from a middle chunk. A
// failing read or write ends the threaded run with its status. Counting on
// one to four threads gives the same counts.
TEST(Api, ThreadedEncoderWritesWhatOneThreadWrites) {
    for (const LargeShape& shape : largeShapes()) {
        SCOPED_TRACE(shape.name);
        const std::string& data = shape.data;
        ASSERT_GE(data.size(), kThreadedSize);
        std::size_t offset = 0;
        huffcodec::ChunkCounts chunks;
        const huffcodec::CountResult counted =
            huffcodec::countBytes(readerOf(data, offset), &chunks);
        ASSERT_EQ(counted.status, Status::ok);
        huffcodec::Encoder encoder;
        ASSERT_EQ(encoder.build(counted.header), Status::ok);
        const std::string reference = compressReference(data);

        // Where each chunk's codes start in the body, by the reference codes.
        HCTree tree;
        tree.buildFromCounts(countBytes(data));
        const std::vector<std::string> codes = codesOf(tree);
        bool midByte = false;
        std::uint64_t bits = 0;
        for (std::size_t at = 0; at < data.size(); ++at) {
            midByte = midByte || (at % kChunk == 0 && bits % 8 != 0);
            bits += codes[static_cast<unsigned char>(data[at])].size();
        }
        EXPECT_EQ(midByte, shape.midByteBoundary);

        for (int threads = 1; threads <= 4; ++threads) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            // Counted on as many threads, and encoded with those counts.
            huffcodec::ChunkCounts recounted;
            offset = 0;
            const auto recount =
                huffcodec::countBytes(readerOf(data, offset), &recounted, optionsWith(threads));
            ASSERT_EQ(recount.status, Status::ok);
            EXPECT_EQ(recount.header.counts, counted.header.counts);
            EXPECT_EQ(recount.header.originalSize, counted.header.originalSize);
            int reads = 0;  // the ninth read comes once threads count
            offset = 0;
            const auto failed = huffcodec::countBytes(
                [&](std::uint8_t* buffer, std::size_t size) {
                    return ++reads == 9 ? -1L : readerOf(data, offset)(buffer, size);
                },
                &recounted, optionsWith(threads));
            EXPECT_EQ(failed.status, Status::readError);
            offset = 0;
            ASSERT_EQ(
                huffcodec::countBytes(readerOf(data, offset), &recounted, optionsWith(threads))
                    .status,
                Status::ok);
            std::string file;
            offset = 0;
            const auto encoded = encoder.encode(readerOf(data, offset), appendTo(file),
                                                optionsWith(threads), &recounted);
            ASSERT_EQ(encoded.status, Status::ok);
            EXPECT_TRUE(file == reference);
            EXPECT_EQ(encoded.bytesProduced, reference.size());
            EXPECT_EQ(encoded.bytesConsumed, data.size());
        }

        // A byte of a middle chunk replaced by a counted byte whose code has
        // another length: only the chunks' bit counts can tell.
        const std::size_t middle = 3 * kChunk + 1000;
        const auto lengthAt = [&](std::size_t at) {
            return codes[static_cast<unsigned char>(data[at])].size();
        };
        std::string replaced = data;
        bool oneLength = true;  // then no byte has a code of another length
        for (int v = 0; v < 256; ++v) {
            if (counted.header.counts[v] != 0 && codes[v].size() != lengthAt(middle)) {
                oneLength = false;
                replaced[middle] = static_cast<char>(v);
            }
        }
        std::string removed = data;
        removed.erase(middle, 1);
        struct Change {
            std::string name;
            std::string input;
            int failingRead;   // the read call that fails; 0: none
            int failingWrite;  // the write call that fails; 0: none
            Status status;
        };
        std::vector<Change> changes = {{"appended", data + data[1], 0, 0, Status::inputChanged},
                                       {"removed", removed, 0, 0, Status::inputChanged},
                                       {"cut by one", data.substr(1), 0, 0, Status::inputChanged},
                                       {"read fails", data, 2000, 0, Status::readError}};
        if (!oneLength) {
            changes.push_back({"replaced", replaced, 0, 0, Status::inputChanged});
        }
        if (counted.header.distinctBytes > 1) {  // else the body is empty
            changes.push_back({"write fails", data, 0, 4, Status::writeError});
        }
        for (const Change& change : changes) {
            for (int threads = 1; threads <= 4; ++threads) {
                SCOPED_TRACE(change.name + ", " + std::to_string(threads) + " threads");
                std::size_t at = 0;
                int reads = 0, writes = 0;
                const huffcodec::ReadFn reader = readerOf(change.input, at);
                const auto result = encoder.encode(
                    [&](std::uint8_t* buffer, std::size_t size) {
                        return ++reads == change.failingRead ? -1L : reader(buffer, size);
                    },
                    [&](const std::uint8_t*, std::size_t) {
                        return ++writes != change.failingWrite;
                    },
                    optionsWith(threads), &chunks);
                EXPECT_EQ(result.status, change.status);
            }
        }
    }
}

// A chunk size chosen for countBytes (clamped to 64 bytes) shares out inputs
// of 16 chunks and more; the encoder splits them as countBytes did. Only the
// threaded encoder compares each chunk's bits with its counts, so a byte
// replaced by one with a code of another length shows which path ran.
TEST(Api, ChosenChunkSizeSharesOutSmallInputs) {
    const std::string data = randomBytes(5, 3000, 5);
    const std::string reference = compressReference(data);
    const std::vector<std::string> codes = [&] {
        HCTree tree;
        tree.buildFromCounts(countBytes(data));
        return codesOf(tree);
    }();
    std::string replaced = data;
    for (int v = 0; v < 256; ++v) {
        if (!codes[v].empty() &&
            codes[v].size() != codes[static_cast<unsigned char>(data[1500])].size()) {
            replaced[1500] = static_cast<char>(v);
        }
    }
    ASSERT_NE(replaced, data);
    // Two bytes of different code lengths swapped between the first chunk
    // and the last: the same counts and total, other bits in each chunk.
    std::string swapped = data;
    const auto lengthOf = [&](char c) { return codes[static_cast<unsigned char>(c)].size(); };
    for (std::size_t at = data.size() - 1; at > 0; --at) {
        if (lengthOf(data[0]) != lengthOf(data[at])) {
            std::swap(swapped[0], swapped[at]);
            break;
        }
    }
    ASSERT_NE(swapped, data);
    const struct {
        std::size_t chunkBytes;
        bool shared;  // 16 chunks fit in data
    } cases[] = {{1, true}, {64, true}, {187, true}, {188, false}, {1000, false}};
    // Even thread counts take their workers from a pool of two.
    huffcodec::ThreadPool pool;
    ASSERT_EQ(pool.create(2), Status::ok);
    for (const auto& c : cases) {
        for (int threads = 1; threads <= 4; ++threads) {
            SCOPED_TRACE(std::to_string(c.chunkBytes) + " bytes, " + std::to_string(threads) +
                         " threads");
            huffcodec::ChunkCounts chunks;
            std::size_t offset = 0;
            huffcodec::Tuning tuning;
            tuning.encodeChunkBytes = c.chunkBytes;
            huffcodec::Options options = optionsWith(threads, &tuning);
            options.pool = threads % 2 == 0 ? &pool : nullptr;
            const auto counted = huffcodec::countBytes(readerOf(data, offset), &chunks, options);
            ASSERT_EQ(counted.status, Status::ok);
            EXPECT_EQ(counted.header.originalSize, 3000);
            EXPECT_TRUE(std::equal(counted.header.counts.begin(), counted.header.counts.end(),
                                   countBytes(data).begin()));
            huffcodec::Encoder encoder;
            ASSERT_EQ(encoder.build(counted.header), Status::ok);
            std::string file;
            offset = 0;
            // The encoder's own chunk size is not used: the counts' is.
            huffcodec::Tuning otherTuning;
            otherTuning.encodeChunkBytes = 100;
            huffcodec::Options otherChunks = options;
            otherChunks.tuning = &otherTuning;
            const auto encoded =
                encoder.encode(readerOf(data, offset), appendTo(file), otherChunks, &chunks);
            EXPECT_EQ(encoded.status, Status::ok);
            EXPECT_TRUE(file == reference);
            std::string ignored;
            offset = 0;
            const auto changed =
                encoder.encode(readerOf(replaced, offset), appendTo(ignored), options, &chunks);
            EXPECT_EQ(changed.status, Status::inputChanged);
            offset = 0;
            EXPECT_EQ(encoder.encode(readerOf(swapped, offset), appendTo(ignored), options, &chunks)
                          .status,
                      Status::inputChanged);
            offset = 0;
            EXPECT_EQ(encoder.encode(readerOf(swapped, offset), appendTo(ignored)).status,
                      Status::ok);  // without the chunks' counts, only the totals are known
        }
    }
}

// The decoder through the public API with default chunk sizes, on every lane
// kernel: one to four threads give the data back, and a cut body the same bytes and status as
// one thread. With one lane a chunk met counts as a boundary, which only
// the threaded path reports.
TEST(Api, ThreadedDecoderGivesTheDataBack) {
    for (const LargeShape& shape : largeShapes()) {
        SCOPED_TRACE(shape.name);
        const std::string& data = shape.data;
        if (data.find_first_not_of(data[0]) == std::string::npos) {
            continue;  // codes of no bits: no body to share out or cut
        }
        const std::string file = compressReference(data);
        const auto header = huffcodec::readHeader(file.data(), file.size());
        ASSERT_EQ(header.status, Status::ok);
        huffcodec::Decoder decoder;
        ASSERT_EQ(decoder.build(header.header), Status::ok);
        const std::string body = file.substr(kHeaderBytes);
        const std::string cut = body.substr(0, body.size() / 2 + 3);
        std::string cutByOne;
        std::size_t offset = 0;
        const auto one = decoder.decode(readerOf(cut, offset), appendTo(cutByOne), optionsWith(1));
        ASSERT_EQ(one.status, Status::truncatedBody);
        ASSERT_EQ(cutByOne, data.substr(0, cutByOne.size()));
        forEachKernel([&](huffcodec::Kernel kernel) {
            for (int threads = 1; threads <= 4; ++threads) {
                SCOPED_TRACE(std::to_string(threads) + " threads");
                for (const int lanes : {0, 1}) {
                    std::string restored;
                    offset = 0;
                    huffcodec::DecodeStats stats;
                    huffcodec::Tuning tuning;
                    tuning.lanes = lanes;
                    tuning.kernel = kernel;
                    tuning.stats = &stats;
                    const auto result = decoder.decode(readerOf(body, offset), appendTo(restored),
                                                       optionsWith(threads, &tuning));
                    EXPECT_EQ(result.status, Status::ok);
                    EXPECT_TRUE(restored == data);
                    EXPECT_EQ(result.bytesConsumed, kHeaderBytes + body.size());
                    if (lanes == 1) {
                        EXPECT_EQ(stats.boundaries > 0, threads > 1);
                    }
                    EXPECT_EQ(stats.chunks > 0, threads > 1);
                }
                std::string restored;
                offset = 0;
                const auto result =
                    decoder.decode(readerOf(cut, offset), appendTo(restored), optionsWith(threads));
                EXPECT_EQ(result.status, Status::truncatedBody);
                EXPECT_EQ(result.bytesProduced, restored.size());
                EXPECT_TRUE(restored == cutByOne);
            }
        });
    }
}

// The C interface, and the in-memory calls under it, give the reference
// file and the data back on every thread count, a cut file what one thread
// keeps of it; the status numbers and texts are the C++ ones; bad arguments
// are refused before anything is touched.
TEST(Api, CInterfaceOnEveryThreadCount) {
    std::vector<LargeShape> shapes = largeShapes();
    shapes.push_back({"small", randomBytes(9, 5000, 30), false});
    for (const LargeShape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const std::string& data = shape.data;
        const std::string reference = compressReference(data);
        const std::string cut =
            reference.substr(0, kHeaderBytes + (reference.size() - kHeaderBytes) * 2 / 3);
        // What the streaming decoder keeps of the cut file on one thread.
        std::string cutPrefix;
        const auto header = huffcodec::readHeader(cut.data(), cut.size());
        huffcodec::Decoder decoder;
        ASSERT_EQ(decoder.build(header.header), Status::ok);
        const std::string cutBody = cut.substr(kHeaderBytes);
        std::size_t offset = 0;
        decoder.decode(readerOf(cutBody, offset), appendTo(cutPrefix));
        ASSERT_TRUE(cutPrefix == data.substr(0, cutPrefix.size()));
        // Three and four threads take their workers from a pool.
        huffcodec_pool* pool = nullptr;
        ASSERT_EQ(huffcodec_pool_create(&pool, 0, 0), HUFFCODEC_OK);
        for (int threads = 0; threads <= 4; ++threads) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            huffcodec_options options;
            huffcodec_options_init(&options);
            options.threads = threads;
            options.pool = threads >= 3 ? pool : nullptr;
            std::string file(huffcodec_compress_bound(data.size()), '\0');
            size_t size = 0;
            ASSERT_EQ(huffcodec_compress(data.data(), data.size(), file.data(), file.size(), &size,
                                         &options),
                      HUFFCODEC_OK);
            EXPECT_TRUE(file.substr(0, size) == reference);
            std::string restored(data.size(), '\0');
            size_t consumed = 0;
            ASSERT_EQ(huffcodec_decompress(reference.data(), reference.size(), restored.data(),
                                           restored.size(), &size, &consumed, &options),
                      HUFFCODEC_OK);
            EXPECT_TRUE(restored == data);
            EXPECT_EQ(consumed, reference.size());
            const huffcodec_status cutStatus =
                huffcodec_decompress(cut.data(), cut.size(), restored.data(), restored.size(),
                                     &size, &consumed, &options);
            EXPECT_EQ(cutStatus, data.find_first_not_of(data[0]) == std::string::npos
                                     ? HUFFCODEC_OK
                                     : HUFFCODEC_TRUNCATED_BODY);
            EXPECT_EQ(size, cutPrefix.size());
            EXPECT_TRUE(restored.substr(0, size) == cutPrefix);
        }
        huffcodec_pool_free(pool);
    }
    huffcodec_pool* none = nullptr;
    EXPECT_EQ(huffcodec_pool_create(&none, -1, 0), HUFFCODEC_INVALID_ARGUMENT);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(huffcodec_pool_create(nullptr, 1, 0), HUFFCODEC_INVALID_ARGUMENT);
    huffcodec_options options;
    huffcodec_options_init(&options);
    std::string out(2048, '\0');
    size_t size = 0;
    const char in[] = "abc";
    EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), nullptr, nullptr),
              HUFFCODEC_INVALID_ARGUMENT);
    EXPECT_EQ(huffcodec_compress(nullptr, 3, out.data(), out.size(), &size, nullptr),
              HUFFCODEC_INVALID_ARGUMENT);
    huffcodec_tuning tuning{};
    options.tuning = &tuning;
    for (const auto& bad : {std::pair<int, int>{-1, 0}, {1, 5}, {1, -1}}) {
        options.threads = bad.first;
        tuning.lanes = bad.second;
        EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), &size, &options),
                  HUFFCODEC_INVALID_ARGUMENT);
    }
    options = {};  // struct_size 0: not even the thread count is known
    EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), &size, &options),
              HUFFCODEC_INVALID_ARGUMENT);
    EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), &size, nullptr), HUFFCODEC_OK);
    std::int64_t original = 0;
    std::int32_t counts[256];
    EXPECT_EQ(huffcodec_read_header(out.data(), size, &original, counts), HUFFCODEC_OK);
    EXPECT_EQ(original, 3);
    EXPECT_EQ(counts[static_cast<unsigned char>('b')], 1);
    EXPECT_EQ(huffcodec_read_header(out.data(), 1023, &original, nullptr),
              HUFFCODEC_HEADER_TOO_SHORT);
    for (int number = 0; number <= HUFFCODEC_INVALID_ARGUMENT; ++number) {
        EXPECT_STREQ(huffcodec_status_message(static_cast<huffcodec_status>(number)),
                     huffcodec::statusMessage(static_cast<Status>(number)));
    }
    for (const int number : {-1, 13, 99}) {  // a C caller may pass any number
        EXPECT_STREQ(huffcodec_status_message(static_cast<huffcodec_status>(number)),
                     "unknown status");
    }
    EXPECT_EQ(huffcodec_version_number(), HUFFCODEC_VERSION_MAJOR * 10000u +
                                              HUFFCODEC_VERSION_MINOR * 100u +
                                              HUFFCODEC_VERSION_PATCH);
    EXPECT_STREQ(huffcodec_version_string(), HUFFCODEC_VERSION_STRING);
    huffcodec::Decoder unbuilt;
    EXPECT_EQ(unbuilt.decode(in, 3, [](const std::uint8_t*, std::size_t) { return true; }).status,
              Status::invalidArgument);

    // Only whole members within struct_size are read: the smallest struct
    // that holds the thread count, or one ending inside pool or tuning,
    // ignores the garbage past it; one ending inside threads is refused.
    struct Size {
        std::size_t bytes;
        huffcodec_status expected;
    };
    const std::size_t threadsEnd = offsetof(huffcodec_options, threads) + sizeof(int);
    for (const Size c :
         {Size{threadsEnd, HUFFCODEC_OK}, Size{threadsEnd - 1, HUFFCODEC_INVALID_ARGUMENT},
          Size{offsetof(huffcodec_options, pool) + 4, HUFFCODEC_OK},
          Size{offsetof(huffcodec_options, tuning) + 4, HUFFCODEC_OK}}) {
        SCOPED_TRACE("struct_size " + std::to_string(c.bytes));
        huffcodec_options partial;
        std::memset(&partial, 0x55, sizeof partial);  // pool and tuning 0x5555...
        partial.struct_size = c.bytes;
        partial.threads = 2;
        if (c.bytes > offsetof(huffcodec_options, tuning)) {
            partial.pool = nullptr;  // read: only the tuning is cut
        }
        EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), &size, &partial), c.expected);
        huffcodec_dstream* stream = nullptr;
        EXPECT_EQ(huffcodec_dstream_create(&stream, &partial), c.expected);
        huffcodec_dstream_free(stream);
    }

    // A failed create leaves no stream behind; an empty input before the
    // header is whole may be null.
    std::int32_t negative[256] = {};
    negative[7] = -1;
    auto* stale = reinterpret_cast<huffcodec_cstream*>(&options);
    EXPECT_EQ(huffcodec_cstream_create(&stale, negative, nullptr), HUFFCODEC_NEGATIVE_COUNT);
    EXPECT_EQ(stale, nullptr);
    stale = reinterpret_cast<huffcodec_cstream*>(&options);
    EXPECT_EQ(huffcodec_cstream_create(&stale, nullptr, nullptr), HUFFCODEC_INVALID_ARGUMENT);
    EXPECT_EQ(stale, nullptr);
    huffcodec_dstream* dstream = nullptr;
    ASSERT_EQ(huffcodec_dstream_create(&dstream, nullptr), HUFFCODEC_OK);
    huffcodec_in_buffer nothing{nullptr, 0, 0};
    huffcodec_out_buffer room{out.data(), out.size(), 0};
    EXPECT_EQ(huffcodec_dstream_decompress(dstream, &nothing, &room, 0), HUFFCODEC_OK);
    huffcodec_in_buffer some{in, 3, 0};
    EXPECT_EQ(huffcodec_dstream_decompress(dstream, &some, &room, 0), HUFFCODEC_OK);
    EXPECT_EQ(huffcodec_dstream_decompress(dstream, &nothing, &room, 1),
              HUFFCODEC_HEADER_TOO_SHORT);
    huffcodec_dstream_free(dstream);

    // Empty callbacks are refused, not called.
    huffcodec::Header header;
    header.counts['a'] = 3;
    huffcodec::Decoder decoder;
    huffcodec::Encoder encoder;
    ASSERT_EQ(decoder.build(header), Status::ok);
    ASSERT_EQ(encoder.build(header), Status::ok);
    std::string sink;
    std::size_t offset = 0;
    const std::string aaa = "aaa";
    EXPECT_EQ(decoder.decode(huffcodec::ReadFn{}, appendTo(sink)).status, Status::invalidArgument);
    EXPECT_EQ(decoder.decode(readerOf(aaa, offset), huffcodec::WriteFn{}).status,
              Status::invalidArgument);
    EXPECT_EQ(decoder.decode(in, 3, huffcodec::WriteFn{}).status, Status::invalidArgument);
    EXPECT_EQ(encoder.encode(huffcodec::ReadFn{}, appendTo(sink)).status, Status::invalidArgument);
    EXPECT_EQ(encoder.encode(readerOf(aaa, offset), huffcodec::WriteFn{}).status,
              Status::invalidArgument);
    EXPECT_EQ(huffcodec::countBytes(huffcodec::ReadFn{}).status, Status::invalidArgument);
    EXPECT_TRUE(sink.empty());
}

// The peak resident size of a child process that runs work, in KiB, and
// whether work returned true there; the child starts with the parent's
// memory, so only differences between two such runs say anything.
std::pair<bool, long> peakInChild(const std::function<bool()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(work() ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        return {false, 0};
    }
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, usage.ru_maxrss};
}

// Any thread count, however large, ends in a status: negative ones in
// invalidArgument, the rest in the one-thread result (counts past
// kMaxThreads run as that many). A write that fails part way counts exactly
// what the callback took on every thread count, and no input position. In a
// plain build a huge count costs no more memory than every processor's worth
// of threads: at most kSlack above threads = 0.
TEST(Api, AnyThreadCountEndsInAStatus) {
    const std::string data = randomBytes(31, (std::size_t{6} << 20) + 123, 40);
    const std::string reference = compressReference(data);
    const auto header = huffcodec::readHeader(reference.data(), reference.size());
    ASSERT_EQ(header.status, Status::ok);
    huffcodec::Decoder decoder;
    ASSERT_EQ(decoder.build(header.header), Status::ok);
    const std::string body = reference.substr(kHeaderBytes);
    huffcodec::ThreadPool pool;
    ASSERT_EQ(pool.create(INT_MAX), Status::ok);
    EXPECT_EQ(pool.workers(), huffcodec::kMaxThreads);

    // Every face with the count: the C++ calls over buffers, both passes of
    // the streaming encoder, the C calls; true when each gave what it must.
    const auto runAll = [&](int threads, bool withPool) {
        const Status expected = threads < 0 ? Status::invalidArgument : Status::ok;
        huffcodec::Options options;
        options.threads = threads;
        options.pool = withPool ? &pool : nullptr;
        bool ok = true;
        std::string file(huffcodec::compressBound(data.size()), '\0');
        const auto packed =
            huffcodec::compress(data.data(), data.size(), file.data(), file.size(), options);
        ok = ok && packed.status == expected;
        file.resize(packed.bytesProduced);
        ok = ok && (threads < 0 || file == reference);
        std::string restored(data.size(), '\0');
        const auto unpacked = huffcodec::decompress(reference.data(), reference.size(),
                                                    restored.data(), restored.size(), options);
        ok = ok && unpacked.status == expected && (threads < 0 || restored == data);
        huffcodec::ChunkCounts chunks;
        std::size_t offset = 0;
        const auto counted = huffcodec::countBytes(readerOf(data, offset), &chunks, options);
        ok = ok && counted.status == expected;
        huffcodec::Encoder encoder;
        std::string streamed;
        offset = 0;
        ok = ok && encoder.build(header.header) == Status::ok &&
             encoder.encode(readerOf(data, offset), appendTo(streamed), options, &chunks).status ==
                 expected &&
             (threads < 0 || streamed == reference);
        huffcodec_options c;
        huffcodec_options_init(&c);
        c.threads = threads;
        std::size_t size = 0;
        std::string cFile(huffcodec_compress_bound(data.size()), '\0');
        ok = ok &&
             huffcodec_compress(data.data(), data.size(), cFile.data(), cFile.size(), &size, &c) ==
                 static_cast<huffcodec_status>(expected) &&
             (threads < 0 || cFile.substr(0, size) == reference);
        ok = ok && huffcodec_decompress(reference.data(), reference.size(), restored.data(),
                                        restored.size(), &size, nullptr,
                                        &c) == static_cast<huffcodec_status>(expected);
        return ok;
    };
    const std::vector<int> counts = {-1, 0, 1, 2, 3, 64, 1 << 16, 1 << 30, INT_MAX};
    for (const int threads : counts) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        EXPECT_TRUE(runAll(threads, false));
        EXPECT_TRUE(runAll(threads, true));
        // A write that fails on its third call.
        for (const bool inMemory : {false, true}) {
            std::uint64_t taken = 0;
            int calls = 0;
            const huffcodec::WriteFn failThird = [&](const std::uint8_t*, std::size_t n) {
                if (++calls == 3) {
                    return false;
                }
                taken += n;
                return true;
            };
            huffcodec::Tuning tuning;
            tuning.decodeChunkBytes = 4096;
            const huffcodec::Options options = optionsWith(threads, &tuning);
            std::size_t offset = 0;
            const auto result = inMemory
                                    ? decoder.decode(body.data(), body.size(), failThird, options)
                                    : decoder.decode(readerOf(body, offset), failThird, options);
            EXPECT_EQ(result.status, threads < 0 ? Status::invalidArgument : Status::writeError);
            EXPECT_EQ(result.bytesProduced, taken);
            EXPECT_EQ(result.bytesConsumed, 0u);
        }
    }
    if (SANITIZED != 0) {
        return;  // the sanitizers' own memory hides the library's
    }
    constexpr long kSlack = 2 << 10;  // KiB
    const long all = peakInChild([&] { return runAll(0, false); }).second;
    for (const int threads : counts) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const auto [ok, peak] = peakInChild([&] { return runAll(threads, false); });
        EXPECT_TRUE(ok);
        EXPECT_LE(peak, all + kSlack);
        std::printf("%d threads: peak %ld KiB (threads = 0: %ld)\n", threads, peak, all);
    }
}

}  // namespace

// Calls on several threads share one pool: each gets what it gets alone. A
// pool is checked like the other options.
TEST(Api, CallsShareOnePool) {
    huffcodec::ThreadPool pool;
    EXPECT_EQ(pool.workers(), 0);
    EXPECT_EQ(pool.create(-1), Status::invalidArgument);
    ASSERT_EQ(pool.create(2, true), Status::ok);
    EXPECT_EQ(pool.workers(), 2);
    std::vector<std::string> inputs;
    for (int k = 0; k < 3; ++k) {
        inputs.push_back(randomBytes(20 + k, 40000 + 1000 * k, 5 + 100 * k));
    }
    std::vector<std::thread> callers;
    std::vector<int> mismatches(inputs.size(), 0);
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        callers.emplace_back([&, k] {
            const std::string& data = inputs[k];
            huffcodec::Tuning tuning;
            tuning.decodeChunkBytes = 256;
            tuning.encodeChunkBytes = 256;
            huffcodec::Options options = optionsWith(3, &tuning);
            options.pool = &pool;
            for (int round = 0; round < 5; ++round) {
                std::string file(huffcodec::compressBound(data.size()), '\0');
                const auto packed = huffcodec::compress(data.data(), data.size(), file.data(),
                                                        file.size(), options);
                file.resize(packed.bytesProduced);
                std::string restored(data.size(), '\0');
                const auto unpacked = huffcodec::decompress(
                    file.data(), file.size(), restored.data(), restored.size(), options);
                mismatches[k] += packed.status != Status::ok || unpacked.status != Status::ok ||
                                 file != compressReference(data) || restored != data;
            }
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(inputs.size(), 0));
}
