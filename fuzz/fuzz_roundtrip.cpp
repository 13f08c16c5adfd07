// SPDX-License-Identifier: MIT
//
// Arbitrary bytes compressed and decompressed through the library: the table
// encoder, fed in pieces as compress feeds it, and compress() must write
// exactly what encodeSymbol over a BitOutputStream writes, and decompress()
// and the decoder (a lane count and segment size the input picks) must give
// the bytes back. Then the threads: the data, repeated up to 16 to 40 decoding
// chunks' worth (threads start at 16 chunks), is counted and encoded on two to
// four threads over chunks of 64 bytes up to a sixteenth of it, which must give
// the one-thread file byte for byte; a second pass over other bytes (one
// inserted, removed, or replaced by one whose code has another length) must
// end in inputChanged; and the file decodes back on as many threads, read
// through a callback and in memory into a buffer of the data's size, over
// chunks a worker takes (kChunkTailBytes to 2 KiB more; one run in four
// smaller ones, which the calling thread decodes alone). The first byte picks
// the piece, lane and segment sizes, the second the thread count, chunk sizes,
// change, lane kernel and kind of decode table.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzCheck.hpp"
#include "HCTree.hpp"
#include "Oracle.hpp"
#include "common/CodeTree.hpp"
#include "encode/BodyEncoder.hpp"
#include "encode/ByteCounter.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"
#include "parallel/ThreadedDecoder.hpp"
#include "parallel/ThreadedEncoder.hpp"

namespace {

// The lane kernel the input picks, among those this processor runs.
huffcodec::Kernel kernelFor(unsigned shape) {
    const huffcodec::Kernel kernel =
        huffcodec::kKernels[shape / 7 % std::size(huffcodec::kKernels)];
    return huffcodec::kernelRuns(kernel) ? kernel : huffcodec::Kernel::portable;
}

std::string asString(const std::uint8_t* bytes, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

huffcodec::ReadFn readerOf(const std::string& bytes, std::size_t& offset, std::size_t piece) {
    return [&bytes, &offset, piece](std::uint8_t* buffer, std::size_t want) {
        const std::size_t n = std::min({want, bytes.size() - offset, piece});
        std::copy_n(bytes.data() + offset, n, buffer);
        offset += n;
        return static_cast<long>(n);
    };
}

huffcodec::WriteFn appendTo(std::string& out) {
    return [&out](const std::uint8_t* bytes, std::size_t n) {
        out.append(asString(bytes, n));
        return true;
    };
}

// The threaded counter, encoder and decoder over data repeated until they
// share it out.
void checkThreads(const std::string& data, std::size_t piece, unsigned shape) {
    using huffcodec::kChunkTailBytes;
    constexpr std::size_t kSmallest = huffcodec::SpanDecoder::kMinSegmentBytes;
    const int threads = 2 + static_cast<int>(shape % 3);
    const std::size_t pick = piece * 131 + shape;
    const std::size_t decodeChunk = shape / 3 % 4 == 0
                                        ? kSmallest + pick % (kChunkTailBytes - kSmallest)
                                        : kChunkTailBytes + pick % 2048;
    const std::size_t wanted = (16 + shape / 12 % 7 * 4) * decodeChunk;
    std::string input;
    while (input.size() < wanted) {
        input += data;
    }
    const std::size_t encodeChunk =
        huffcodec::kMinEncodeChunkBytes +
        pick % (input.size() / 16 - huffcodec::kMinEncodeChunkBytes + 1);
    huffcodec::DecodeStats stats;
    huffcodec::Tuning tuning;
    tuning.lanes = 1 + static_cast<int>(piece / 4 % 4);
    tuning.encodeChunkBytes = encodeChunk;
    tuning.decodeChunkBytes = decodeChunk;
    tuning.kernel = kernelFor(shape);
    tuning.decodeTable = static_cast<huffcodec::DecodeTable>(pick % 5);
    tuning.stats = &stats;
    huffcodec::Options options;
    options.threads = threads;
    options.tuning = &tuning;

    std::size_t offset = 0;
    huffcodec::ChunkCounts chunks;
    const huffcodec::CountResult counted =
        huffcodec::countBytes(readerOf(input, offset, piece), &chunks, options);
    FUZZ_CHECK(counted.status == huffcodec::Status::ok);
    huffcodec::ByteCounter counter;
    counter.add(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    const auto expected = counter.counts();
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), counted.header.counts.begin()));
    huffcodec::Encoder encoder;
    FUZZ_CHECK(encoder.build(counted.header) == huffcodec::Status::ok);

    std::string oneThread;
    offset = 0;
    const huffcodec::StreamResult single =
        encoder.encode(readerOf(input, offset, piece), appendTo(oneThread));
    FUZZ_CHECK(single.status == huffcodec::Status::ok);
    std::string file;
    offset = 0;
    const huffcodec::StreamResult shared =
        encoder.encode(readerOf(input, offset, piece), appendTo(file), options, &chunks);
    FUZZ_CHECK(shared.status == huffcodec::Status::ok);
    FUZZ_CHECK(shared.bytesConsumed == input.size() && shared.bytesProduced == file.size());
    FUZZ_CHECK(file == oneThread);

    // Bytes other than counted: one inserted, removed, or replaced by a byte
    // whose code has another length (or none), refused on one thread as on
    // several.
    std::string changed = input;
    const std::size_t at = pick * 7919 % input.size();
    const auto original = static_cast<std::uint8_t>(input[at]);
    const huffcodec::CodeTree codes(counted.header.counts);
    if (shape / 84 == 1) {
        changed.erase(at, 1);
    } else if (shape / 84 == 2) {
        // Rather a counted byte than one without a code, which one thread
        // would see too.
        int uncoded = -1;
        for (int v = 0; v < 256 && changed[at] == input[at]; ++v) {
            const auto value = static_cast<std::uint8_t>(v);
            if (counted.header.counts[value] == 0) {
                uncoded = uncoded < 0 ? v : uncoded;
            } else if (codes.length(value) != codes.length(original)) {
                changed[at] = static_cast<char>(value);
            }
        }
        if (changed[at] == input[at] && uncoded >= 0) {
            changed[at] = static_cast<char>(uncoded);
        }
    }
    if (changed == input) {
        changed.insert(at, 1, static_cast<char>(shape));
    }
    std::string ignored;
    offset = 0;
    const huffcodec::StreamResult refused =
        encoder.encode(readerOf(changed, offset, piece), appendTo(ignored), options, &chunks);
    FUZZ_CHECK(refused.status == huffcodec::Status::inputChanged);
    offset = 0;
    FUZZ_CHECK(encoder.encode(readerOf(changed, offset, piece), appendTo(ignored)).status ==
               huffcodec::Status::inputChanged);

    huffcodec::Decoder decoder;
    FUZZ_CHECK(decoder.build(counted.header) == huffcodec::Status::ok);
    const std::string body = file.substr(kHeaderBytes);
    std::string restored;
    offset = 0;
    const huffcodec::StreamResult decoded =
        decoder.decode(readerOf(body, offset, piece), appendTo(restored), options);
    FUZZ_CHECK(decoded.status == huffcodec::Status::ok);
    FUZZ_CHECK(restored == input);
    FUZZ_CHECK(decoded.bytesConsumed == kHeaderBytes + body.size());
    // In memory, straight into a buffer of exactly the data's size.
    std::string inPlace(input.size(), '\0');
    const huffcodec::DecompressResult whole =
        huffcodec::decompress(file.data(), file.size(), inPlace.data(), inPlace.size(), options);
    FUZZ_CHECK(whole.status == huffcodec::Status::ok && inPlace == input);
    FUZZ_CHECK(whole.bytesConsumed == file.size() && whole.bytesProduced == input.size());
    fuzzRunsWithWorkers += stats.chunks > 0 ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = 1 + data[0];
    const unsigned shape = size > 1 ? data[1] : 0;
    data += std::min<std::size_t>(size, 2);
    size -= std::min<std::size_t>(size, 2);

    const std::string original = asString(data, size);
    const SymbolCounts counts = oracle::countBytes(original);
    HCTree tree;
    tree.buildFromCounts(counts);
    const std::string plainFile = oracle::headerBytes(counts) + oracle::encodePlain(tree, original);

    huffcodec::Header header;
    std::copy(counts.begin(), counts.end(), header.counts.begin());
    const auto headerBytes = huffcodec::writeHeader(header);

    // Odd pieces take the pair table that large inputs get.
    huffcodec::BodyEncoder encoder(huffcodec::CodeTree(header.counts),
                                   piece % 2 != 0 ? huffcodec::BodyEncoder::kPairTableFrom : 0);
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
    FUZZ_CHECK(packed.substr(0, compressed.bytesProduced) == plainFile);

    // Small segments of one to four lanes, straight into a buffer of exactly
    // the data's size.
    huffcodec::Tuning tuning;
    tuning.lanes = 1 + static_cast<int>(piece % 4);
    tuning.segmentBytes = 64 + 2 * piece;
    tuning.kernel = kernelFor(shape);
    huffcodec::Options options;
    options.tuning = &tuning;
    std::string restored(size, '\0');
    const auto whole =
        huffcodec::decompress(plainFile.data(), plainFile.size(), restored.data(), size, options);
    FUZZ_CHECK(whole.status == huffcodec::Status::ok);
    FUZZ_CHECK(whole.bytesProduced == size && whole.bytesConsumed == plainFile.size());
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
                       appendTo(streamed), options);
    FUZZ_CHECK(result.status == huffcodec::Status::ok);
    FUZZ_CHECK(streamed == restored);
    FUZZ_CHECK(result.bytesConsumed == plainFile.size());

    if (size > 0) {
        checkThreads(asString(data, size), piece, shape);
    }
    return 0;
}
