// SPDX-License-Identifier: MIT
//
// The two passes of encoding as pipelines: the calling thread reads chunks into
// slots, or points them into the input in memory; worker threads count them, or encode them at
// their known bit offsets; the calling thread collects the counts, or writes the codes in order,
// merging the byte two chunks share.
#include "parallel/ThreadedEncoder.hpp"

#include <algorithm>

#include "common/ByteBuffer.hpp"
#include "common/CodeTree.hpp"
#include "common/Format.hpp"
#include "common/ReadFull.hpp"
#include "encode/ByteCounter.hpp"

namespace huffcodec {

namespace {

struct CountSlot {
    ByteBuffer input;                    // the chunk read, when it is read
    const std::uint8_t* data = nullptr;  // input, or the chunk in memory
    std::size_t size = 0;                // input bytes
    ChunkCountTable counts{};
};

// Readies up to want bytes of the input at offset in a slot: points it into
// memory, or reads them into its buffer (made on first use, of capacity
// bytes). False where a read failed.
template <class Slot>
bool takeChunk(const EncodeSource& source, std::uint64_t offset, std::size_t want,
               std::size_t capacity, Slot& slot) {
    if (source.read == nullptr) {
        const auto at = static_cast<std::size_t>(std::min<std::uint64_t>(offset, source.size));
        slot.data = source.data + at;
        slot.size = std::min(want, source.size - at);
        return true;
    }
    if (slot.input.data() == nullptr) {
        slot.input = ByteBuffer(capacity);
    }
    const FullRead got = readFull(*source.read, slot.input.data(), want);
    slot.data = slot.input.data();
    slot.size = got.bytes;
    return !got.failed;
}

// A worker's job in the first pass.
void countChunk(CountSlot& slot) {
    ByteCounter counter;
    counter.add(slot.data, slot.size);
    const auto counts = counter.counts();
    std::copy(counts.begin(), counts.end(), slot.counts.begin());
}

// Every chunk's counts fit their table.
static_assert(kMaxEncodeChunkBytes <= UINT32_MAX);

struct EncodeSlot {
    ByteBuffer input;                    // the chunk read, when it is read
    const std::uint8_t* data = nullptr;  // input, or the chunk in memory
    std::size_t size = 0;                // input bytes
    ByteBuffer output;
    std::size_t bytes = 0;  // output bytes, an unfinished last one included
    unsigned startBit = 0;  // where the chunk's first code goes in output[0]
    unsigned endBits = 0;   // bits used of an unfinished last byte; 0: none
    std::uint64_t expectedBits = 0;
    bool asCounted = false;  // took exactly the bits its counts say, every byte coded
};

// A worker's job: the chunk's codes from its bit offset on.
void encodeChunk(const BodyEncoder& prototype, EncodeSlot& slot) {
    BodyEncoder encoder = prototype;
    encoder.startAt(slot.startBit);
    const std::size_t whole = encoder.encode(slot.data, slot.size, slot.output.data());
    slot.endBits = encoder.unfinishedBits();
    slot.bytes = whole + encoder.finish(slot.output.data() + whole);
    const std::uint64_t bits = 8 * std::uint64_t{whole} + slot.endBits - slot.startBit;
    slot.asCounted = bits == slot.expectedBits && !encoder.sawSymbolWithoutCode();
}

}  // namespace

Status countChunks(const EncodeSource& source, const EncodePlan& plan,
                   std::vector<ChunkCountTable>& chunks, std::int64_t& total) {
    const Workers& workers = plan.workers;
    const std::size_t chunkBytes = plan.chunkBytes;
    const std::uint64_t threadedFrom = plan.threadedFrom;
    // Two slots a running thread keep every worker busy while this thread
    // reads; they get their buffers as the input turns out to fill them, so
    // a small input takes one.
    std::vector<CountSlot> slots(2 * static_cast<std::size_t>(workers.runningAtOnce()) + 1);
    const std::size_t slotCount = slots.size();
    SlotQueue pool(slotCount, [&](std::size_t index) { countChunk(slots[index]); });
    bool started = false;
    Status status = Status::ok;
    total = 0;
    const auto fill = [&](std::uint64_t chunk) {
        CountSlot& slot = slots[chunk % slotCount];
        const bool read =
            takeChunk(source, static_cast<std::uint64_t>(total), chunkBytes, chunkBytes, slot);
        status = read ? Status::ok : Status::readError;
        total += static_cast<std::int64_t>(slot.size);
        if (status == Status::ok && total > format::kMaxOriginalSize) {
            status = Status::inputTooLarge;
        }
        if (status != Status::ok || slot.size == 0) {
            return Filled::none;
        }
        // Below threadedFrom the jobs run on this thread alone.
        if (!started && static_cast<std::uint64_t>(total) >= threadedFrom) {
            pool.allowThreads(workers);
            started = true;
        }
        pool.submit(chunk % slotCount);
        return slot.size < chunkBytes ? Filled::lastChunk : Filled::chunk;
    };
    // One chunk at a time until threads count.
    runInOrder(
        pool, slotCount, fill, [&] { return started ? slotCount : 1; },
        [&](std::uint64_t chunk) {
            if (status != Status::ok) {
                return false;
            }
            chunks.push_back(slots[chunk % slotCount].counts);
            return true;
        });
    return status;
}

std::vector<std::uint64_t> chunkBitsOf(const BodyEncoder& encoder,
                                       const std::vector<ChunkCountTable>& counts) {
    std::vector<std::uint64_t> bits(counts.size(), 0);
    for (std::size_t k = 0; k < counts.size(); ++k) {
        bits[k] = codeBitsOf(counts[k], [&](std::uint8_t v) { return encoder.codeLength(v); });
    }
    return bits;
}

StreamResult encodeThreaded(const BodyEncoder& encoder, const std::vector<ChunkCountTable>& counts,
                            std::size_t chunkBytes, const Workers& workers,
                            const EncodeSource& source, const WriteFn& write) {
    // Where every chunk's codes start, from the first pass's counts.
    const std::size_t chunkCount = counts.size();
    const std::vector<std::uint64_t> chunkBits = chunkBitsOf(encoder, counts);
    std::vector<std::size_t> chunkSizes(chunkCount, 0);
    for (std::size_t k = 0; k < chunkCount; ++k) {
        for (const std::uint32_t count : counts[k]) {
            chunkSizes[k] += count;
        }
    }

    // Two slots a running thread, or one a chunk where there are fewer.
    std::vector<EncodeSlot> slots(std::clamp<std::size_t>(
        chunkCount, 1, 2 * static_cast<std::size_t>(workers.runningAtOnce()) + 1));
    for (EncodeSlot& slot : slots) {
        if (source.read != nullptr) {
            slot.input = ByteBuffer(chunkBytes);
        }
        slot.output = ByteBuffer(encoder.outputBound(chunkBytes) + 1);
    }
    const std::size_t slotCount = slots.size();
    // This thread encodes too while it waits: threadCount - 1 workers.
    SlotQueue pool(slotCount, [&](std::size_t index) { encodeChunk(encoder, slots[index]); });
    pool.allowThreads(workers);

    std::uint64_t consumed = 0;
    std::uint64_t written = 0;
    std::uint64_t offset = 0;  // bit offset of the next chunk read
    std::uint8_t carry = 0;    // the unfinished last byte of the chunk written last
    bool carrying = false;
    StreamResult failed{Status::ok, 0, 0};

    const auto fill = [&](std::uint64_t chunk) {
        if (chunk >= chunkCount) {
            return Filled::none;
        }
        EncodeSlot& slot = slots[chunk % slotCount];
        const bool read = takeChunk(source, consumed, chunkSizes[chunk], chunkBytes, slot);
        consumed += slot.size;
        if (!read) {
            failed = {Status::readError, 0, 0};
            return Filled::none;
        }
        if (slot.size != chunkSizes[chunk]) {
            failed = {Status::inputChanged, 0, 0};  // fewer bytes than counted
            return Filled::none;
        }
        slot.startBit = static_cast<unsigned>(offset & 7);
        slot.expectedBits = chunkBits[chunk];
        offset += chunkBits[chunk];
        pool.submit(chunk % slotCount);
        return chunk + 1 < chunkCount ? Filled::chunk : Filled::lastChunk;
    };
    const auto take = [&](std::uint64_t chunk) {
        EncodeSlot& slot = slots[chunk % slotCount];
        if (!slot.asCounted) {
            failed = {Status::inputChanged, 0, 0};
            return false;
        }
        // The chunk's first byte is shared with the unfinished byte before it.
        std::uint8_t* bytes = slot.output.data();
        std::size_t size = slot.bytes;
        if (carrying) {
            bytes[0] |= carry;
        }
        carrying = slot.endBits != 0;
        if (carrying) {
            carry = bytes[--size];
        }
        if (size > 0 && !write(bytes, size)) {
            failed = {Status::writeError, 0, 0};
            return false;
        }
        written += size;
        return true;
    };
    runInOrder(
        pool, slotCount, fill, [&] { return slotCount; }, take);
    if (failed.status != Status::ok) {
        return {failed.status, consumed, written};
    }
    // Nothing may follow what the first pass counted: more bytes than counted.
    std::uint8_t extra = 0;
    const std::ptrdiff_t more =
        source.read != nullptr ? (*source.read)(&extra, 1) : (consumed < source.size ? 1 : 0);
    if (more != 0) {
        return {more < 0 ? Status::readError : Status::inputChanged, consumed, written};
    }
    if (carrying) {
        if (!write(&carry, 1)) {
            return {Status::writeError, consumed, written};
        }
        ++written;
    }
    return {Status::ok, consumed, written};
}

}  // namespace huffcodec
