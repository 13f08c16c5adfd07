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

#include "ApiSupport.hpp"
#include "BodyEncoder.hpp"
#include "ByteBuffer.hpp"
#include "ByteCounter.hpp"
#include "CodeTree.hpp"
#include "Header.hpp"
#include "ReadFull.hpp"
#include "ThreadedEncoder.hpp"
#include "WorkerPool.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

namespace {

// Input is read and encoded in blocks of this size.
constexpr std::size_t kEncodeBlock = std::size_t{1} << 17;

}  // namespace

// ---- Encoder ------------------------------------------------------------

struct ChunkCounts::Impl {
    std::vector<ChunkCountTable> chunks;
    // The second pass splits the input as the first did.
    std::size_t chunkBytes = kEncodeChunkBytes;
    std::uint64_t threadedFrom = kMinThreadedBytes;
};

ChunkCounts::ChunkCounts() noexcept = default;
ChunkCounts::~ChunkCounts() = default;
ChunkCounts::ChunkCounts(ChunkCounts&&) noexcept = default;
ChunkCounts& ChunkCounts::operator=(ChunkCounts&&) noexcept = default;

struct Encoder::Impl {
    Impl(const CodeTree& code, std::int64_t inputBytes)
        : encoder(code, static_cast<std::uint64_t>(inputBytes)) {}
    BodyEncoder encoder;
    Header header;
    std::int64_t total = 0;
    std::uint64_t bodyBits = 0;  // what the counted bytes' codes take
};

Encoder::Encoder() noexcept = default;
Encoder::~Encoder() = default;
Encoder::Encoder(Encoder&&) noexcept = default;
Encoder& Encoder::operator=(Encoder&&) noexcept = default;

Status Encoder::build(const Header& header) noexcept {
    impl.reset();
    try {
        std::unique_ptr<CodeTree> code;
        std::int64_t total = 0;
        const Status built = buildCode(header, code, total);
        if (built != Status::ok) {
            return built;
        }
        auto encoder = std::make_unique<Impl>(*code, total);
        if (!encoder->encoder.supportsTree()) {
            return Status::internalError;  // ruled out by the limit on the total
        }
        encoder->header = header;
        encoder->total = total;
        encoder->bodyBits = bodyBitsOf(*code, header.counts);
        impl = std::move(encoder);
        return Status::ok;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

StreamResult Encoder::encode(const ReadFn& read, const WriteFn& write, const Options& options,
                             const ChunkCounts* chunks) const noexcept {
    if (!impl || !read || !write || checkOptions(options) != Status::ok) {
        return {Status::invalidArgument, 0, 0};
    }
    try {
        const Workers workers = workersFor(options);
        if (workers.threadCount > 1 && chunks != nullptr && chunks->impl &&
            static_cast<std::uint64_t>(impl->total) >= chunks->impl->threadedFrom) {
            const auto header = writeHeader(impl->header);
            if (!write(header.data(), header.size())) {
                return {Status::writeError, 0, 0};
            }
            const StreamResult body =
                encodeThreaded(impl->encoder, chunks->impl->chunks, chunks->impl->chunkBytes,
                               workers, read, write);
            return {body.status, header.size() + body.bytesWritten, body.bytesRead};
        }
        BodyEncoder encoder = impl->encoder;  // carries the bits of an unfinished byte
        const auto header = writeHeader(impl->header);
        if (!write(header.data(), header.size())) {
            return {Status::writeError, 0, 0};
        }
        std::uint64_t written = header.size();
        std::uint64_t consumed = 0;
        std::uint64_t bits = 0;  // of the codes written, before padding
        // With the counts of each chunk, the bits are checked chunk by chunk
        // as the threads check them, so that a failure does not depend on the
        // thread count.
        std::vector<std::uint64_t> chunkBits;
        std::uint64_t chunkBytes = UINT64_MAX;
        if (chunks != nullptr && chunks->impl) {
            chunkBits = chunkBitsOf(impl->encoder, chunks->impl->chunks);
            chunkBytes = chunks->impl->chunkBytes;
        }
        std::size_t chunk = 0;
        std::uint64_t chunkEnd = chunkBytes;  // input offset where it ends
        std::uint64_t chunkEndBits = chunkBits.empty() ? 0 : chunkBits[0];
        const ByteBuffer block(kEncodeBlock);
        const ByteBuffer encoded(encoder.outputBound(kEncodeBlock) + 1);
        for (;;) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>(kEncodeBlock, chunkEnd - consumed));
            const FullRead piece = readFull(read, block.data(), want);
            if (piece.failed) {
                return {Status::readError, written, consumed};
            }
            const std::size_t got = piece.bytes;
            consumed += got;
            // The second pass must see the bytes the header describes: other
            // bytes could have no code at all.
            if (consumed > static_cast<std::uint64_t>(impl->total)) {
                return {Status::inputChanged, written, consumed};
            }
            const bool last = got < want;
            std::size_t size = encoder.encode(block.data(), got, encoded.data());
            bits += 8 * std::uint64_t{size};
            if (consumed == chunkEnd) {
                if (chunk >= chunkBits.size() || bits + encoder.unfinishedBits() != chunkEndBits) {
                    return {Status::inputChanged, written, consumed};
                }
                ++chunk;
                chunkEnd += chunkBytes;
                chunkEndBits += chunk < chunkBits.size() ? chunkBits[chunk] : 0;
            }
            if (last) {
                bits += encoder.unfinishedBits();
                size += encoder.finish(encoded.data() + size);
            }
            if (size > 0 && !write(encoded.data(), size)) {
                return {Status::writeError, written, consumed};
            }
            written += size;
            if (last) {
                break;
            }
        }
        // Other bytes of the same number would still give codes of another
        // total length, unless every change keeps the lengths.
        if (consumed != static_cast<std::uint64_t>(impl->total) || encoder.sawSymbolWithoutCode() ||
            bits != impl->bodyBits) {
            return {Status::inputChanged, written, consumed};
        }
        return {Status::ok, written, consumed};
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0, 0};
    }
}

// ---- Compression stream -------------------------------------------------

struct CompressStream::Impl {
    Encoder encoder;
    BodyEncoder body;  // carries the bits of an unfinished byte
    OutputQueue queued;
    ByteBuffer encoded;
    std::uint64_t consumed = 0;
    std::uint64_t bits = 0;  // of the codes written, before padding
    bool ended = false;
    Status failure = Status::ok;

    explicit Impl(Encoder built)
        : encoder(std::move(built)),
          body(encoder.impl->encoder),
          encoded(body.outputBound(kEncodeBlock) + 1) {}

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
    if (checkOptions(options) != Status::ok) {
        return Status::invalidArgument;
    }
    try {
        Encoder encoder;
        const Status built = encoder.build(header);
        if (built != Status::ok) {
            return built;
        }
        impl = std::make_unique<Impl>(std::move(encoder));
        const auto headerBytes = writeHeader(impl->encoder.impl->header);
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
    const Encoder::Impl& counted = *s.encoder.impl;
    try {
        s.queued.give(out);
        while (!s.ended && s.queued.empty() && in.pos < in.size) {
            const std::size_t piece = std::min(kEncodeBlock, in.size - in.pos);
            s.consumed += piece;
            // Other bytes than counted could have no code at all.
            if (s.consumed > static_cast<std::uint64_t>(counted.total)) {
                return s.fail(Status::inputChanged);
            }
            const std::size_t size = s.body.encode(
                static_cast<const std::uint8_t*>(in.data) + in.pos, piece, s.encoded.data());
            in.pos += piece;
            s.bits += 8 * std::uint64_t{size};
            s.queued.put(out, s.encoded.data(), size);
        }
        if (!s.ended && s.queued.empty() && in.pos == in.size && endOfInput) {
            s.bits += s.body.unfinishedBits();
            const std::size_t size = s.body.finish(s.encoded.data());
            s.queued.put(out, s.encoded.data(), size);
            s.ended = true;
            if (s.consumed != static_cast<std::uint64_t>(counted.total) ||
                s.body.sawSymbolWithoutCode() || s.bits != counted.bodyBits) {
                return s.fail(Status::inputChanged);
            }
        }
        return Status::ok;
    } catch (const std::bad_alloc&) {
        return s.fail(Status::outOfMemory);
    }
}

bool CompressStream::finished() const noexcept {
    return impl && impl->ended && impl->queued.empty() && impl->failure == Status::ok;
}

CountResult countBytes(const ReadFn& read, ChunkCounts* chunks, const Options& options) noexcept {
    CountResult result{read ? checkOptions(options) : Status::invalidArgument, {}};
    if (result.status != Status::ok) {
        return result;
    }
    try {
        std::array<std::uint64_t, 256> counts{};
        std::int64_t total = 0;
        if (chunks != nullptr) {
            // Each chunk is counted on its own, and the chunks are added up.
            auto kept = std::make_unique<ChunkCounts::Impl>();
            if (options.chunkBytes != 0) {
                kept->chunkBytes =
                    std::clamp(options.chunkBytes, kMinEncodeChunkBytes, kMaxEncodeChunkBytes);
                kept->threadedFrom = minThreadedBytes(kept->chunkBytes);
            }
            result.status = countChunks(read, workersFor(options), kept->chunkBytes,
                                        kept->threadedFrom, kept->chunks, total);
            for (const ChunkCountTable& table : kept->chunks) {
                for (std::size_t v = 0; v < counts.size(); ++v) {
                    counts[v] += table[v];
                }
            }
            chunks->impl = std::move(kept);
        } else {
            ByteCounter counter;
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
            counts = counter.counts();
        }
        if (result.status != Status::ok) {
            return result;
        }
        for (std::size_t i = 0; i < counts.size(); ++i) {
            result.header.counts[i] = static_cast<std::int32_t>(counts[i]);
            result.header.distinctBytes += counts[i] != 0 ? 1 : 0;
        }
        result.header.originalSize = total;
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

// compress() on the calling thread: counted and encoded in place.
CompressResult compressHere(const void* in, std::size_t size, void* out, std::size_t capacity) {
    if (size > static_cast<std::uint64_t>(format::kMaxOriginalSize)) {
        return {Status::inputTooLarge, 0};
    }
    const auto* data = static_cast<const std::uint8_t*>(in);
    auto* target = static_cast<std::uint8_t*>(out);
    try {
        ByteCounter counter;
        counter.add(data, size);
        Header header;
        const auto counts = counter.counts();
        for (std::size_t i = 0; i < counts.size(); ++i) {
            header.counts[i] = static_cast<std::int32_t>(counts[i]);
        }
        const auto code = std::make_unique<CodeTree>(header.counts);
        BodyEncoder encoder(*code, size);
        // The exact size is known before a bit is written.
        const std::uint64_t total = kHeaderBytes + (bodyBitsOf(*code, header.counts) + 7) / 8;
        if (total > capacity) {
            return {Status::outputTooSmall, 0};
        }
        const auto headerBytes = writeHeader(header);
        std::memcpy(target, headerBytes.data(), headerBytes.size());
        std::size_t at = headerBytes.size();
        // Eight-byte stores reach past the last whole byte: encode through a
        // scratch block.
        const ByteBuffer encoded(encoder.outputBound(kEncodeBlock) + 1);
        for (std::size_t offset = 0; offset < size; offset += kEncodeBlock) {
            const std::size_t piece = std::min(kEncodeBlock, size - offset);
            const std::size_t bytes = encoder.encode(data + offset, piece, encoded.data());
            std::memcpy(target + at, encoded.data(), bytes);
            at += bytes;
        }
        at += encoder.finish(target + at);
        return {Status::ok, at};
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0};
    }
}

// Reads the buffer in place of a file, for the streaming paths.
ReadFn readerOf(const std::uint8_t* data, std::size_t size, std::size_t& offset) {
    return [data, size, &offset](std::uint8_t* buffer, std::size_t n) -> std::ptrdiff_t {
        const std::size_t piece = std::min(n, size - offset);
        std::memcpy(buffer, data + offset, piece);
        offset += piece;
        return static_cast<std::ptrdiff_t>(piece);
    };
}

}  // namespace

CompressResult compress(const void* in, std::size_t size, void* out,
                        std::size_t capacity) noexcept {
    return compress(in, size, out, capacity, Options{});
}

CompressResult compress(const void* in, std::size_t size, void* out, std::size_t capacity,
                        const Options& options) noexcept {
    if (checkOptions(options) != Status::ok) {
        return {Status::invalidArgument, 0};
    }
    const int threads = workersFor(options).threadCount;
    if (threads < 2 || size < minThreadedBytes(options.chunkBytes) ||
        size > static_cast<std::uint64_t>(format::kMaxOriginalSize)) {
        return compressHere(in, size, out, capacity);
    }
    try {
        // Both passes of the streaming encoder, on threads, over the buffer.
        const auto* data = static_cast<const std::uint8_t*>(in);
        std::size_t offset = 0;
        ChunkCounts chunks;
        const CountResult counted = countBytes(readerOf(data, size, offset), &chunks, options);
        if (counted.status != Status::ok) {
            return {counted.status, 0};
        }
        const CodeTree code(counted.header.counts);
        if (kHeaderBytes + (bodyBitsOf(code, counted.header.counts) + 7) / 8 > capacity) {
            return {Status::outputTooSmall, 0};
        }
        Encoder encoder;
        const Status built = encoder.build(counted.header);
        if (built != Status::ok) {
            return {built, 0};
        }
        offset = 0;
        std::size_t at = 0;
        const StreamResult encoded = encoder.encode(
            readerOf(data, size, offset), writerTo(static_cast<std::uint8_t*>(out), capacity, at),
            options, &chunks);
        return {encoded.status, encoded.status == Status::ok ? at : 0};
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0};
    }
}

}  // namespace huffcodec
