// SPDX-License-Identifier: MIT
//
// Arbitrary bytes as a whole compressed file, decoded by the library's decoder
// (the default that uncompress runs, the single chain, every lane count over
// segments small enough for fuzz inputs, through a read callback and in
// place, and on two to four threads) and by the plain tree walk over a
// BitInputStream, on a lane kernel and a kind of decode table the input picks. All must produce the
// same bytes, stop at the same symbol, and need the same body bytes. A worker thread takes a chunk
// only once the next chunk has supplied its tail (kChunkTailBytes), and threads start at 16 chunks'
// worth of symbols: so most runs pick chunks from that tail up to a size whose next two chunks
// still fit in the body, which workers decode and the calling thread meets at their boundaries; one
// run in four picks chunks too small for a worker, and the calling thread decodes them all; one in
// eight asks for INT_MAX threads. A write that fails on a call the input picks must leave the count
// written at what the calls before it took. Last,
// the whole file goes through the caller-driven stream in pieces of sizes the input picks, which
// must give the same bytes, status and end.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <string>

#include "FuzzCheck.hpp"
#include "HCTree.hpp"
#include "Oracle.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"
#include "parallel/ThreadedDecoder.hpp"

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
    // The input picks the lane kernel, among those this processor runs.
    huffcodec::Kernel kernel = huffcodec::kKernels[size / 5 % std::size(huffcodec::kKernels)];
    if (!huffcodec::kernelRuns(kernel)) {
        kernel = huffcodec::Kernel::portable;
    }
    const auto symbolCount = static_cast<std::uint64_t>(parsed.header.originalSize);
    HCTree tree;
    tree.buildFromCounts(SymbolCounts(parsed.header.counts.begin(), parsed.header.counts.end()));
    const std::uint8_t* body = data + kHeaderBytes;
    const std::size_t bodySize = size - kHeaderBytes;

    const oracle::PlainDecoding reference = oracle::decodePlain(
        tree, std::string(reinterpret_cast<const char*>(body), bodySize), symbolCount);
    const std::string& plain = reference.symbols;
    const bool complete = reference.complete;

    // The default, the single chain, and each lane count over the smallest
    // segments and over a size the input picks; then threads over chunks for
    // the workers (or, one run in four, too small for them), read in pieces
    // of a size the input picks, and over chunks of any size up to 4 KiB.
    using huffcodec::kChunkTailBytes;
    constexpr std::size_t kSmallest = huffcodec::SpanDecoder::kMinSegmentBytes;
    const std::size_t picked = kSmallest + (size * 131 % 4000);
    const std::size_t largestMet = std::max(
        kChunkTailBytes, bodySize > kChunkTailBytes ? (bodySize - kChunkTailBytes) / 2 : 0);
    const std::size_t shared =
        size / 7 % 4 == 0 ? kSmallest + size * 131 % (kChunkTailBytes - kSmallest)
                          : kChunkTailBytes + size * 131 % (largestMet - kChunkTailBytes + 1);
    // Now and then a count far past kMaxThreads, which runs as that many.
    const int threads = size % 8 == 7 ? INT_MAX : 2 + static_cast<int>(size % 3);
    const int lanes = 1 + static_cast<int>(size / 3 % 4);
    struct Way {
        int lanes;
        std::size_t segmentBytes;
        int threads = 1;
        std::size_t chunkBytes = 0;
    };
    const Way ways[] = {{0, 0},
                        {1, 0},
                        {2, kSmallest},
                        {2, picked},
                        {3, kSmallest},
                        {3, picked},
                        {4, kSmallest},
                        {4, picked},
                        {lanes, 0, threads, shared},
                        {lanes, 0, threads, picked}};
    huffcodec::DecodeStats stats;
    huffcodec::Tuning tuning;
    tuning.kernel = kernel;
    tuning.stats = &stats;
    // And the kind of decode table (automatic among them, the plan's).
    tuning.decodeTable = static_cast<huffcodec::DecodeTable>(size / 3 % 5);
    huffcodec::Options options;
    options.tuning = &tuning;
    const auto optionsFor = [&](const Way& way) {
        tuning.lanes = way.lanes;
        tuning.segmentBytes = way.segmentBytes;
        tuning.decodeChunkBytes = way.chunkBytes;
        options.threads = way.threads;
        return options;
    };
    huffcodec::Decoder decoder;
    FUZZ_CHECK(decoder.build(parsed.header) == huffcodec::Status::ok);
    int run = 0;
    bool workersRan = false;
    for (const Way& way : ways) {
        std::string fast;
        const huffcodec::WriteFn write = [&](const std::uint8_t* bytes, std::size_t n) {
            fast.append(reinterpret_cast<const char*>(bytes), n);
            return true;
        };
        const std::size_t piece =
            way.threads > 1 && way.chunkBytes == shared ? 1 + size % 97 : size;
        std::size_t offset = 0;
        const huffcodec::ReadFn read = [&](std::uint8_t* buffer, std::size_t want) {
            const std::size_t n = std::min({want, bodySize - offset, piece});
            std::copy_n(body + offset, n, buffer);
            offset += n;
            return static_cast<long>(n);
        };
        // Every other way decodes the body in place, on threads too.
        stats = {};
        const huffcodec::StreamResult result =
            ++run % 2 == 0 ? decoder.decode(body, bodySize, write, optionsFor(way))
                           : decoder.decode(read, write, optionsFor(way));
        workersRan = workersRan || stats.chunks > 0;
        FUZZ_CHECK(result.bytesProduced == fast.size());
        FUZZ_CHECK(fast == plain);
        if (complete) {
            FUZZ_CHECK(result.status == huffcodec::Status::ok);
            FUZZ_CHECK(result.bytesConsumed == kHeaderBytes + reference.bytesFetched);
        } else {
            FUZZ_CHECK(result.status == huffcodec::Status::truncatedBody);
        }
    }
    fuzzRunsWithWorkers += workersRan ? 1 : 0;

    // A write that fails on a call the input picks ends the threaded decode
    // with exactly the bytes the calls before it took, and no input position.
    {
        const int failAt = 1 + static_cast<int>(size % 5);
        int calls = 0;
        std::string taken;
        const huffcodec::WriteFn failing = [&](const std::uint8_t* bytes, std::size_t n) {
            if (++calls == failAt) {
                return false;
            }
            taken.append(reinterpret_cast<const char*>(bytes), n);
            return true;
        };
        const huffcodec::StreamResult result =
            decoder.decode(body, bodySize, failing, optionsFor({lanes, 0, threads, shared}));
        FUZZ_CHECK(result.bytesProduced == taken.size());
        FUZZ_CHECK(taken == plain.substr(0, taken.size()));
        FUZZ_CHECK(calls < failAt ||
                   (result.status == huffcodec::Status::writeError && result.bytesConsumed == 0));
    }

    // The whole file through the caller-driven stream, in and out in pieces
    // whose sizes the input picks.
    huffcodec::DecompressStream stream;
    std::string streamed;
    std::string room(1 + size * 17 % 300, '\0');
    const std::size_t inPiece = 1 + size * 29 % 700;
    std::size_t given = 0;
    huffcodec::Status status = huffcodec::Status::ok;
    while (!stream.finished() && status == huffcodec::Status::ok) {
        const std::size_t piece = std::min(inPiece, size - given);
        huffcodec::InBuffer input{data + given, piece, 0};
        huffcodec::OutBuffer output{room.data(), room.size(), 0};
        status = stream.decompress(input, output, given + piece == size);
        given += input.pos;
        streamed.append(room.data(), output.pos);
        FUZZ_CHECK(input.pos > 0 || output.pos > 0 || stream.finished() ||
                   status != huffcodec::Status::ok);
        // The counts run from the first call.
        FUZZ_CHECK(stream.bytesProduced() == streamed.size() && stream.bytesConsumed() <= given);
    }
    FUZZ_CHECK(streamed == plain);
    FUZZ_CHECK(status == (complete ? huffcodec::Status::ok : huffcodec::Status::truncatedBody));
    if (complete) {
        FUZZ_CHECK(stream.bytesConsumed() == kHeaderBytes + reference.bytesFetched);
    }
    return 0;
}
