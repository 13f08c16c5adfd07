// SPDX-License-Identifier: MIT
//
// One input on several threads through the public API: the threaded encoder
// and decoder give what one thread gives, and any thread count ends in a
// status.
#include "huffcodec/huffcodec.hpp"

#include "huffcodec/huffcodec.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"
#include "common/Kernels.hpp"

namespace {

using namespace testing_support;
using huffcodec::Status;

// With the counts of each chunk, the encoder gives the same file on one to
// four threads, and finds a second pass that differs from the first however
// its threads are busy: a byte replaced by one with a code of another length
// in a middle chunk, a byte appended, a byte removed from a middle chunk. A
// failing read or write ends the threaded run with its status. Counting on
// one to four threads gives the same counts.
TEST(ThreadedApi, ThreadedEncoderWritesWhatOneThreadWrites) {
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
            std::string unchunked;  // without the chunks' counts
            offset = 0;
            encoder.encode(readerOf(data, offset), appendTo(unchunked), optionsWith(threads));
            EXPECT_TRUE(unchunked == reference);
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
// of 16 chunks and more; the encoder splits them as countBytes did. Without
// a pool, a run that shares the input out (threads = 0 too, unless there is
// one processor) has more threads while it reads.
TEST(ThreadedApi, ChosenChunkSizeSharesOutSmallInputs) {
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
    // Two and four threads take their workers from a pool of two.
    huffcodec::ThreadPool pool;
    ASSERT_EQ(pool.create(2), Status::ok);
    const auto threadsNow = [] {
        const std::filesystem::directory_iterator tasks("/proc/self/task");
        return std::distance(begin(tasks), end(tasks));
    };
    for (const auto& c : cases) {
        for (int threads = 0; threads <= 4; ++threads) {
            SCOPED_TRACE(std::to_string(c.chunkBytes) + " bytes, " + std::to_string(threads) +
                         " threads");
            huffcodec::ChunkCounts chunks;
            std::size_t offset = 0;
            huffcodec::Tuning tuning;
            tuning.encodeChunkBytes = c.chunkBytes;
            huffcodec::Options options = optionsWith(threads, &tuning);
            options.pool = threads % 2 == 0 && threads > 0 ? &pool : nullptr;
            const auto before = threadsNow();
            auto most = before;
            const huffcodec::ReadFn reader = readerOf(data, offset);
            const huffcodec::ReadFn watched = [&](std::uint8_t* buffer, std::size_t size) {
                most = std::max(most, threadsNow());
                return reader(buffer, size);
            };
            const auto counted = huffcodec::countBytes(watched, &chunks, options);
            ASSERT_EQ(counted.status, Status::ok);
            EXPECT_EQ(counted.header.originalSize, 3000);
            EXPECT_TRUE(std::equal(counted.header.counts.begin(), counted.header.counts.end(),
                                   countBytes(data).begin()));
            // In memory, the pipelines' slots point into the data.
            const auto inPlace = huffcodec::countBytes(data.data(), data.size(), options);
            ASSERT_EQ(inPlace.status, Status::ok);
            EXPECT_EQ(inPlace.header.counts, counted.header.counts);
            EXPECT_EQ(inPlace.header.originalSize, 3000);
            std::string packed(huffcodec::compressBound(data.size()), '\0');
            const auto compressed = huffcodec::compress(data.data(), data.size(), packed.data(),
                                                        packed.size(), options);
            ASSERT_EQ(compressed.status, Status::ok);
            packed.resize(compressed.bytesProduced);
            EXPECT_TRUE(packed == reference);
            huffcodec::Encoder encoder;
            ASSERT_EQ(encoder.build(counted.header), Status::ok);
            std::string file;
            offset = 0;
            // The encoder's own chunk size is not used: the counts' is.
            huffcodec::Tuning otherTuning;
            otherTuning.encodeChunkBytes = 100;
            huffcodec::Options otherChunks = options;
            otherChunks.tuning = &otherTuning;
            const auto encoded = encoder.encode(watched, appendTo(file), otherChunks, &chunks);
            EXPECT_EQ(encoded.status, Status::ok);
            EXPECT_TRUE(file == reference);
            if (options.pool == nullptr) {
                EXPECT_EQ(
                    most > before,
                    c.shared && (threads == 0 ? huffcodec::availableProcessors() : threads) > 1);
            }
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
TEST(ThreadedApi, ThreadedDecoderGivesTheDataBack) {
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

// A body that more follows (another file, random bytes, nothing), read in
// pieces of one byte, of odd sizes or whole, on one to three threads and on
// every processor, small data on small chunks too, and a body that ends
// with a chunk: decodeMember gives the data, and the bytes it hands back,
// followed by what the source still holds, are exactly what followed the
// body. A failing rest ends the call.
TEST(ThreadedApi, DecodeMemberHandsBackWhatFollowsTheBody) {
    std::vector<LargeShape> shapes = largeShapes();
    shapes.push_back({"small", randomBytes(3, 20000, 40), false});
    // Whole chunks of eight-bit codes: the body ends with a chunk.
    shapes.push_back({"uniform bytes, exactly 4 MiB", randomBytes(22, kThreadedSize), false});
    const std::string nextFile = compressReference(randomBytes(4, 5000, 7));
    std::size_t row = 0;
    for (const LargeShape& shape : shapes) {
        const std::string file = compressReference(shape.data);
        const std::string body = file.substr(kHeaderBytes);
        huffcodec::Decoder decoder;
        ASSERT_EQ(decoder.build(huffcodec::readHeader(file.data(), file.size()).header),
                  Status::ok);
        for (const std::string& after : {nextFile, randomBytes(row, 300001), std::string()}) {
            const std::string input = body + after;
            for (const int threads : {1, 2, 3, 0}) {
                const std::size_t pieces[] = {1, 4099 + row % 7 * 2, input.size()};
                const std::size_t piece = pieces[row++ % 3];
                SCOPED_TRACE(shape.name + ", " + std::to_string(after.size()) + " bytes after, " +
                             std::to_string(threads) + " threads, reads of " +
                             std::to_string(piece));
                huffcodec::DecodeStats stats;
                huffcodec::Tuning tuning;
                tuning.decodeChunkBytes = shape.name == "small" ? 400 + row % 50 : 0;
                tuning.stats = &stats;
                std::size_t offset = 0;
                const huffcodec::ReadFn read = [&](std::uint8_t* buffer, std::size_t size) {
                    const std::size_t n = std::min({size, piece, input.size() - offset});
                    std::copy_n(input.data() + offset, n, buffer);
                    offset += n;
                    return static_cast<std::ptrdiff_t>(n);
                };
                std::string restored, handedBack;
                const auto result = decoder.decodeMember(
                    read, appendTo(restored), appendTo(handedBack), optionsWith(threads, &tuning));
                EXPECT_EQ(result.status, Status::ok);
                EXPECT_TRUE(restored == shape.data);
                EXPECT_EQ(result.bytesConsumed, kHeaderBytes + body.size());
                EXPECT_TRUE(handedBack + input.substr(offset) == after);
                EXPECT_EQ(stats.chunks > 0, threads != 1 && body.size() > 0);
                offset = 0;
                const auto refused = decoder.decodeMember(
                    read, appendTo(restored),
                    [](const std::uint8_t*, std::size_t) { return false; },
                    optionsWith(threads, &tuning));
                EXPECT_EQ(refused.status, offset > body.size() ? Status::writeError : Status::ok);
            }
        }
    }
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
TEST(ThreadedApi, AnyThreadCountEndsInAStatus) {
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
    // Under an address-space limit 1 GiB above what the process holds,
    // INT_MAX threads still run: nothing is sized by the count asked.
    EXPECT_TRUE(peakInChild([&] {
                    long pages = 0;
                    std::ifstream("/proc/self/statm") >> pages;
                    const rlim_t bytes = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE);
                    const rlimit limit{bytes + (rlim_t{1} << 30), bytes + (rlim_t{1} << 30)};
                    return setrlimit(RLIMIT_AS, &limit) == 0 && runAll(INT_MAX, false);
                }).first);
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

// As on a processor without AVX-512 VBMI, which the library's hook makes of
// this one (a VBMI instruction then raises SIGILL): the automatic kernel
// decodes codes of eight bits (the byte table's path) and compress() encodes
// them as the oracle does. One thread: the child of a process with threads
// (a whole test run's) may not start any under ThreadSanitizer.
TEST(ThreadedApi, WithoutVbmiNoKernelRunsIt) {
    const std::string data = randomBytes(51, 300000);
    const std::string reference = compressReference(data);
    const auto withoutVbmi = [&] {
        huffcodec::hideAvx512VbmiForTests();
        std::string file(reference.size(), '\0'), restored(data.size(), '\0');
        huffcodec::compress(data.data(), data.size(), file.data(), file.size());
        huffcodec::decompress(reference.data(), reference.size(), restored.data(), restored.size());
        return !huffcodec::kernelRuns(huffcodec::Kernel::avx512) && file == reference &&
               restored == data;
    };
    EXPECT_TRUE(peakInChild(withoutVbmi).first);
}

}  // namespace
