// SPDX-License-Identifier: MIT
//
// The encoding half of the public API: countBytes, ChunkCounts, Encoder,
// CompressStream and compress() over the engine's encoders. Allocation
// failures end here, as Status::outOfMemory; nothing throws past this file.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "api/ApiSupport.hpp"
#include "common/ByteBuffer.hpp"
#include "common/CodeTree.hpp"
#include "common/Header.hpp"
#include "common/ReadFull.hpp"
#include "encode/BodyEncoder.hpp"
#include "encode/ByteCounter.hpp"
#include "encode/StreamEncoder.hpp"
#include "huffcodec/huffcodec.hpp"
#include "parallel/ThreadedEncoder.hpp"
#include "parallel/Workers.hpp"

namespace huffcodec {

namespace {

constexpr std::size_t kEncodeBlock = StreamEncoder::kBlockBytes;

// What the counts of the data to encode give: its code, and what the second
// pass must find.
struct CountedCode {
    CountedCode(const CodeTree& tree, const Header& counted, std::int64_t inputBytes)
        : encoder(tree, static_cast<std::uint64_t>(inputBytes)),
          header(counted),
          total(inputBytes),
          bodyBits(bodyBitsOf(tree, counted.counts)) {}
    BodyEncoder encoder;
    Header header;
    std::int64_t total;
    std::uint64_t bodyBits;
};

Status countedCodeOf(const Header& header, std::unique_ptr<CountedCode>& counted) {
    std::unique_ptr<CodeTree> code;
    std::int64_t total = 0;
    const Status built = buildCode(header, code, total);
    if (built == Status::ok) {
        counted = std::make_unique<CountedCode>(*code, header, total);
    }
    return built;
}

// The counts of each chunk of the first pass, with the split the second
// pass must repeat.
struct CountedChunks {
    std::vector<ChunkCountTable> tables;
    std::size_t chunkBytes = kEncodeChunkBytes;
    std::uint64_t threadedFrom = kMinThreadedSize;
};

Status countInChunks(const EncodeSource& source, const EncodePlan& plan, CountedChunks& chunks,
                     Header& header) {
    chunks.chunkBytes = plan.chunkBytes;
    chunks.threadedFrom = plan.threadedFrom;
    std::int64_t total = 0;
    const Status status = countChunks(source, plan, chunks.tables, total);
    std::array<std::uint64_t, 256> counts{};
    for (const ChunkCountTable& table : chunks.tables) {
        for (std::size_t v = 0; v < counts.size(); ++v) {
            counts[v] += table[v];
        }
    }
    if (status == Status::ok) {
        header = headerOf(counts, total);
    }
    return status;
}

// The second pass: the header, then the body, on threads with the chunks of
// the first pass where the input is large enough (reading the input, or
// borrowing it where source holds it in memory), else block by block here
// through read.
StreamResult encodeCounted(const CountedCode& counted, const EncodeSource& source,
                           const ReadFn& read, const WriteFn& write, const EncodePlan& plan,
                           const CountedChunks* chunks) {
    const auto header = writeHeader(counted.header);
    if (!write(header.data(), header.size())) {
        return {Status::writeError, 0, 0};
    }
    if (plan.workers.threadCount > 1 && chunks != nullptr &&
        static_cast<std::uint64_t>(counted.total) >= chunks->threadedFrom) {
        BodyEncoder encoder = counted.encoder;
        encoder.useKernel(plan.kernel);
        const StreamResult body = encodeThreaded(encoder, chunks->tables, chunks->chunkBytes,
                                                 plan.workers, source, write);
        return {body.status, body.bytesConsumed, header.size() + body.bytesProduced};
    }
    StreamEncoder encoder(counted.encoder, static_cast<std::uint64_t>(counted.total),
                          counted.bodyBits, plan.kernel);
    if (chunks != nullptr) {
        encoder.checkChunks(chunkBitsOf(counted.encoder, chunks->tables), chunks->chunkBytes);
    }
    std::uint64_t written = header.size();
    const ByteBuffer block(encoder.largestBlockBytes());
    while (!encoder.ended()) {
        const std::size_t want = encoder.nextBlockBytes();
        const FullRead piece = readFull(read, block.data(), want);
        if (piece.failed) {
            return {Status::readError, encoder.consumed(), written};
        }
        std::size_t taken = 0;
        std::size_t size = 0;
        const Status status =
            encoder.encodeNext(block.data(), piece.bytes, piece.bytes < want, taken, size);
        if (status != Status::ok) {
            return {status, encoder.consumed(), written};
        }
        if (size > 0 && !write(encoder.output(), size)) {
            return {Status::writeError, encoder.consumed(), written};
        }
        written += size;
    }
    return {Status::ok, encoder.consumed(), written};
}

}  // namespace

// ---- Encoder ------------------------------------------------------------

struct ChunkCounts::Impl {
    CountedChunks chunks;
};

ChunkCounts::ChunkCounts() noexcept = default;
ChunkCounts::~ChunkCounts() = default;
ChunkCounts::ChunkCounts(ChunkCounts&&) noexcept = default;
ChunkCounts& ChunkCounts::operator=(ChunkCounts&&) noexcept = default;

struct Encoder::Impl {
    std::unique_ptr<CountedCode> counted;
};

Encoder::Encoder() noexcept = default;
Encoder::~Encoder() = default;
Encoder::Encoder(Encoder&&) noexcept = default;
Encoder& Encoder::operator=(Encoder&&) noexcept = default;

Status Encoder::build(const Header& header) noexcept {
    impl.reset();
    try {
        auto built = std::make_unique<Impl>();
        const Status status = countedCodeOf(header, built->counted);
        if (status == Status::ok) {
            impl = std::move(built);
        }
        return status;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

StreamResult Encoder::encode(const ReadFn& read, const WriteFn& write, const Options& options,
                             const ChunkCounts* chunks) const noexcept {
    Settings settings;
    if (!impl || !read || !write || settingsOf(options, settings) != Status::ok) {
        return {Status::invalidArgument, 0, 0};
    }
    try {
        return encodeCounted(*impl->counted, EncodeSource{&read}, read, write,
                             encodePlanFor(settings),
                             chunks != nullptr && chunks->impl ? &chunks->impl->chunks : nullptr);
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0, 0};
    }
}

// ---- Compression stream -------------------------------------------------

struct CompressStream::Impl {
    Impl(const CountedCode& counted, Kernel kernel)
        : body(counted.encoder, static_cast<std::uint64_t>(counted.total), counted.bodyBits,
               kernel) {}
    StreamEncoder body;
    OutputQueue queued;
    std::uint64_t produced = 0;  // bytes given out
    Status failure = Status::ok;

    Status fail(Status status) {
        failure = status;
        return status;
    }
};

CompressStream::CompressStream() noexcept = default;
CompressStream::~CompressStream() = default;
CompressStream::CompressStream(CompressStream&&) noexcept = default;
CompressStream& CompressStream::operator=(CompressStream&&) noexcept = default;

Status CompressStream::reset(const Header& header, const Options& options) noexcept {
    impl.reset();
    Settings settings;
    if (settingsOf(options, settings) != Status::ok) {
        return Status::invalidArgument;
    }
    try {
        std::unique_ptr<CountedCode> counted;
        const Status built = countedCodeOf(header, counted);
        if (built != Status::ok) {
            return built;
        }
        impl = std::make_unique<Impl>(*counted, encodePlanFor(settings).kernel);
        const auto headerBytes = writeHeader(counted->header);
        OutBuffer none;
        impl->queued.put(none, headerBytes.data(), headerBytes.size());
        return Status::ok;
    } catch (const std::bad_alloc&) {
        impl.reset();
        return Status::outOfMemory;
    }
}

Status CompressStream::compress(InBuffer& in, OutBuffer& out, bool endOfInput) noexcept {
    if (!impl || !usableBuffers(in, out)) {
        return Status::invalidArgument;
    }
    Impl& s = *impl;
    if (s.failure != Status::ok) {
        return s.failure;
    }
    const std::size_t outBefore = out.pos;
    try {
        s.queued.give(out);
        Status status = Status::ok;
        while (status == Status::ok && !s.body.ended() && s.queued.empty() &&
               (in.pos < in.size || endOfInput)) {
            std::size_t taken = 0;
            std::size_t size = 0;
            status = s.body.encodeNext(static_cast<const std::uint8_t*>(in.data) + in.pos,
                                       in.size - in.pos, endOfInput, taken, size);
            in.pos += taken;
            s.queued.put(out, s.body.output(), size);
        }
        s.produced += out.pos - outBefore;
        return status == Status::ok ? status : s.fail(status);
    } catch (const std::bad_alloc&) {
        s.produced += out.pos - outBefore;
        return s.fail(Status::outOfMemory);
    }
}

bool CompressStream::finished() const noexcept {
    return impl && impl->body.ended() && impl->queued.empty() && impl->failure == Status::ok;
}

std::uint64_t CompressStream::bytesConsumed() const noexcept {
    return impl ? impl->body.consumed() : 0;
}

std::uint64_t CompressStream::bytesProduced() const noexcept {
    return impl ? impl->produced : 0;
}

CountResult countBytes(const ReadFn& read, ChunkCounts* chunks, const Options& options) noexcept {
    Settings settings;
    CountResult result{read ? settingsOf(options, settings) : Status::invalidArgument, {}};
    if (result.status != Status::ok) {
        return result;
    }
    try {
        if (chunks != nullptr) {
            // Each chunk is counted on its own, and the chunks are added up.
            auto kept = std::make_unique<ChunkCounts::Impl>();
            result.status = countInChunks(EncodeSource{&read}, encodePlanFor(settings),
                                          kept->chunks, result.header);
            chunks->impl = std::move(kept);
            return result;
        }
        ByteCounter counter;
        std::int64_t total = 0;
        const ByteBuffer block(kEncodeBlock);
        for (;;) {
            const FullRead got = readFull(read, block.data(), kEncodeBlock);
            counter.add(block.data(), got.bytes);
            total += static_cast<std::int64_t>(got.bytes);
            if (total > format::kMaxOriginalSize) {
                result.status = Status::inputTooLarge;
                break;
            }
            if (got.failed) {
                result.status = Status::readError;
                break;
            }
            if (got.bytes < kEncodeBlock) {
                break;
            }
        }
        if (result.status == Status::ok) {
            result.header = headerOf(counter.counts(), total);
        }
        return result;
    } catch (const std::bad_alloc&) {
        result.status = Status::outOfMemory;
        return result;
    }
}

// ---- In memory ----------------------------------------------------------

// The pairing of the two smallest counts gives a code of least total length
// for the counts among all prefix codes (whatever the ties), and eight bits
// for every byte value is one of them: so n bytes never take more than 8n
// bits, n bytes of body. Sizes past the format's limit are refused.
std::size_t compressBound(std::size_t size) noexcept {
    return kHeaderBytes +
           static_cast<std::size_t>(std::min<std::uint64_t>(size, format::kMaxOriginalSize));
}

namespace {

// Reads the buffer in place of a file, for the streaming paths.
ReadFn readerOf(const std::uint8_t* data, std::size_t size, std::size_t& offset) {
    return [data, size, &offset](std::uint8_t* buffer, std::size_t n) -> std::ptrdiff_t {
        const std::size_t piece = std::min(n, size - offset);
        std::memcpy(buffer, data + offset, piece);
        offset += piece;
        return static_cast<std::ptrdiff_t>(piece);
    };
}

// The size of the compressed file, known before a bit is written.
std::uint64_t compressedSize(const CountedCode& counted) {
    return kHeaderBytes + (counted.bodyBits + 7) / 8;
}

// compress() on the calling thread: counted and encoded in place.
CompressResult compressHere(const std::uint8_t* data, std::size_t size, std::uint8_t* target,
                            std::size_t capacity, Kernel kernel) {
    ByteCounter counter;
    counter.add(data, size);
    std::unique_ptr<CountedCode> counted;
    const Status built =
        countedCodeOf(headerOf(counter.counts(), static_cast<std::int64_t>(size)), counted);
    if (built != Status::ok) {
        return {built, 0, 0};
    }
    if (compressedSize(*counted) > capacity) {
        return {Status::outputTooSmall, 0, 0};
    }
    const auto headerBytes = writeHeader(counted->header);
    std::memcpy(target, headerBytes.data(), headerBytes.size());
    std::size_t at = headerBytes.size();
    // Eight-byte stores reach past the last whole byte: the codes go through
    // the encoder's block.
    StreamEncoder encoder(counted->encoder, size, counted->bodyBits, kernel);
    for (std::size_t offset = 0; !encoder.ended();) {
        std::size_t taken = 0;
        std::size_t bytes = 0;
        if (encoder.encodeNext(data + offset, size - offset, true, taken, bytes) != Status::ok) {
            return {Status::internalError, 0, 0};  // the data is what was counted
        }
        offset += taken;
        std::memcpy(target + at, encoder.output(), bytes);
        at += bytes;
    }
    return {Status::ok, size, at};
}

// compress() on threads: both passes of the threaded pipelines over the
// buffer, whose slots point into it, the code built once.
CompressResult compressOnThreads(const std::uint8_t* data, std::size_t size, std::uint8_t* target,
                                 std::size_t capacity, const EncodePlan& plan) {
    const EncodeSource borrowed{nullptr, data, size};
    CountedChunks chunks;
    Header header;
    const Status countedStatus = countInChunks(borrowed, plan, chunks, header);
    if (countedStatus != Status::ok) {
        return {countedStatus, 0, 0};
    }
    std::unique_ptr<CountedCode> counted;
    const Status built = countedCodeOf(header, counted);
    if (built != Status::ok) {
        return {built, 0, 0};
    }
    if (compressedSize(*counted) > capacity) {
        return {Status::outputTooSmall, 0, 0};
    }
    std::size_t offset = 0;
    std::size_t at = 0;
    const StreamResult encoded = encodeCounted(*counted, borrowed, readerOf(data, size, offset),
                                               writerTo(target, capacity, at), plan, &chunks);
    return encoded.status == Status::ok ? CompressResult{Status::ok, size, at}
                                        : CompressResult{encoded.status, 0, 0};
}

}  // namespace

CompressResult compress(const void* in, std::size_t size, void* out,
                        std::size_t capacity) noexcept {
    return compress(in, size, out, capacity, Options{});
}

CompressResult compress(const void* in, std::size_t size, void* out, std::size_t capacity,
                        const Options& options) noexcept {
    Settings settings;
    if (settingsOf(options, settings) != Status::ok || !usableBuffers(in, size, out, capacity)) {
        return {Status::invalidArgument, 0, 0};
    }
    if (size > static_cast<std::uint64_t>(format::kMaxOriginalSize)) {
        return {Status::inputTooLarge, 0, 0};
    }
    const auto* data = static_cast<const std::uint8_t*>(in);
    auto* target = static_cast<std::uint8_t*>(out);
    try {
        const EncodePlan plan = encodePlanFor(settings);
        return plan.workers.threadCount > 1 && size >= plan.threadedFrom
                   ? compressOnThreads(data, size, target, capacity, plan)
                   : compressHere(data, size, target, capacity, plan.kernel);
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0, 0};
    }
}

CountResult countBytes(const void* data, std::size_t size, const Options& options) noexcept {
    Settings settings;
    if (settingsOf(options, settings) != Status::ok || (data == nullptr && size > 0)) {
        return {Status::invalidArgument, {}};
    }
    if (size > static_cast<std::uint64_t>(format::kMaxOriginalSize)) {
        return {Status::inputTooLarge, {}};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    CountResult result{Status::ok, {}};
    try {
        const EncodePlan plan = encodePlanFor(settings);
        if (plan.workers.threadCount > 1 && size >= plan.threadedFrom) {
            CountedChunks chunks;
            result.status =
                countInChunks(EncodeSource{nullptr, bytes, size}, plan, chunks, result.header);
            return result;
        }
        ByteCounter counter;
        counter.add(bytes, size);
        result.header = headerOf(counter.counts(), static_cast<std::int64_t>(size));
        return result;
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, {}};
    }
}

}  // namespace huffcodec
