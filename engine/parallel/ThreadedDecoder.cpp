// SPDX-License-Identifier: MIT
//
// The chunk pipeline: the calling thread reads chunks into slots (or points
// them at a body in memory), worker threads decode queued slots, and the
// calling thread meets and writes them in order. Every path ends with every
// worker joined.
#include "parallel/ThreadedDecoder.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/ReadFull.hpp"
#include "decode/LaneMeeting.hpp"
#include "decode/SpanDecoder.hpp"

namespace huffcodec {

namespace {

constexpr std::size_t kTailBytes = kChunkTailBytes;

struct Slot {
    ByteBuffer input;                    // the chunk read, when it is read
    const std::uint8_t* data = nullptr;  // input, or the chunk in memory
    std::size_t filled = 0;              // valid bytes at data
    std::uint64_t offset = 0;            // body offset of input[0]
    bool complete = false;               // data holds the whole chunk and its tail
    bool decodedOk = false;              // the worker's segment stayed within its margins
    DecodeWorkspace workspace;
    lanes::Lane last{};  // the state after the chunk, in data's coordinates
    DecodeStats stats;
};

void addStats(DecodeStats& total, const DecodeStats& part) {
    total.segments += part.segments;
    total.boundaries += part.boundaries;
    total.fallbacks += part.fallbacks;
    total.resyncBitsTotal += part.resyncBitsTotal;
    total.resyncBitsMax = std::max(total.resyncBitsMax, part.resyncBitsMax);
}

// The body as the pipeline takes it: read through read, or held in memory at
// body (read is then null).
struct BodySource {
    const ReadFn* read;
    const std::uint8_t* body;
    std::size_t size;
};

// One body's pipeline, run() once. Where a chunk cannot be taken, the rest of
// the body is decoded on this thread.
class ChunkPipeline {
public:
    // Everything is allocated before the first byte is written, the decoder
    // for a fallback to this thread included (its memory is only touched if
    // it is used): a memory limit that lets the decoding start lets it end.
    ChunkPipeline(const DecodeTables& tables, const DecodePlan& plan, std::uint64_t symbolCount,
                  std::uint64_t bodyBits, const BodySource& source, const BodyOutput& output,
                  DecodeStats& stats, const WriteFn* unused);
    BodyResult run();

private:
    Slot& slotOf(std::uint64_t chunk) { return slots[chunk % slotCount]; }
    const Slot& slotOf(std::uint64_t chunk) const { return slots[chunk % slotCount]; }

    // Readies chunk nextRead in its slot and queues what has become whole.
    Filled fill();
    void borrowChunk();
    void readChunk();
    void decodeChunk(std::size_t index);  // a worker's job
    // Takes chunk nextWrite: false when the body is done or failed (ended
    // says how), or the rest is left to this thread (decodeTheRest).
    bool take();
    bool meetPrevious(lanes::Lane& stepped, std::uint64_t& skip);
    bool putChunk(Slot& slot, std::size_t stepSymbols, std::uint64_t skip);
    bool put(const std::uint8_t* data, std::size_t size);
    BodyResult finish();
    BodyResult decodeRest();
    std::uint64_t bytesRead() const;
    Piece readBytesAt(std::uint64_t at) const;
    bool handBackRead(std::uint64_t from) const;

    const DecodeTables& tables;
    const std::uint64_t symbolCount;
    const BodySource source;
    const BodyOutput& output;
    DecodeStats& stats;
    const WriteFn* const unused;
    const std::size_t chunkBytes;
    const SpanDecoder chunks;
    const std::int64_t windowBits;
    StreamDecoder rest;  // the fallback to this thread
    const std::size_t slotCount;
    std::vector<Slot> slots;
    ByteBuffer meetingOutput;  // where the true state writes while it steps onto a chunk

    std::uint64_t nextRead = 0;   // chunk to read next
    std::uint64_t nextWrite = 0;  // chunk to write next
    bool inputEnded = false;
    bool readFailed = false;
    std::uint64_t written = 0;
    lanes::Lane truth{};  // the true state after chunk nextWrite - 1, in its slot
    BodyResult ended{};
    bool decodeTheRest = false;
    SlotQueue pool;  // last: its threads are done before the slots go
};

// Two slots per running thread keep every worker busy while the calling thread
// reads one and writes another; a short body needs fewer. Three keep the
// pipeline going: one met, one decoding, one giving it its tail.
std::size_t slotsFor(const DecodePlan& plan, std::uint64_t bodyBits) {
    const std::uint64_t chunkBits = 8 * std::uint64_t{plan.chunkBytes};
    const std::uint64_t chunkCount = (bodyBits + chunkBits - 1) / chunkBits;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(
        chunkCount + 1, 3, 2 * static_cast<std::uint64_t>(plan.workers.runningAtOnce()) + 2));
}

ChunkPipeline::ChunkPipeline(const DecodeTables& decodeTables, const DecodePlan& plan,
                             std::uint64_t symbols, std::uint64_t bodyBits, const BodySource& body,
                             const BodyOutput& out, DecodeStats& callStats,
                             const WriteFn* unusedBytes)
    : tables(decodeTables),
      symbolCount(symbols),
      source(body),
      output(out),
      stats(callStats),
      unused(unusedBytes),
      chunkBytes(plan.chunkBytes),
      chunks(decodeTables, plan.lanes, chunkBytes, plan.kernel),
      windowBits(chunks.windowBits()),
      rest(decodeTables, plan),
      slotCount(slotsFor(plan, bodyBits)),
      slots(slotCount),
      meetingOutput(static_cast<std::size_t>(windowBits) + format::kMaxTreeDepth + 64 +
                    lanes::kGroupStoreReach),
      pool(slotCount, [this](std::size_t index) { decodeChunk(index); }) {
    rest.reserve();
    for (Slot& slot : slots) {
        if (source.read != nullptr) {
            slot.input = ByteBuffer(chunkBytes + kTailBytes);
            slot.data = slot.input.data();
        }
        slot.workspace.reserve(plan.lanes, chunks.regionBytes());
    }
    // This thread decodes too while it waits: threadCount - 1 workers.
    pool.allowThreads(plan.workers);
}

BodyResult ChunkPipeline::run() {
    // Reads ahead as far as the slots allow, keeping the one that holds the
    // true state; the last chunk read is never whole, so the loop ends in a
    // take.
    runInOrder(
        pool, slotCount, [this](std::uint64_t) { return fill(); }, [this] { return slotCount - 1; },
        [this](std::uint64_t) { return take(); });
    if (decodeTheRest || (ended.status == Status::ok && written < symbolCount)) {
        return decodeRest();
    }
    return finish();
}

Filled ChunkPipeline::fill() {
    if (source.read == nullptr) {
        borrowChunk();
    } else {
        readChunk();
    }
    return inputEnded ? Filled::lastChunk : Filled::chunk;
}

// Points the slot at the body in memory, its tail included, and queues it if
// that is whole.
void ChunkPipeline::borrowChunk() {
    Slot& slot = slotOf(nextRead);
    slot.offset = nextRead * chunkBytes;
    slot.data = source.body + slot.offset;
    slot.filled = static_cast<std::size_t>(
        std::min<std::uint64_t>(chunkBytes + kTailBytes, source.size - slot.offset));
    slot.complete = slot.filled == chunkBytes + kTailBytes;
    inputEnded = slot.offset + chunkBytes >= source.size;
    if (slot.complete) {
        pool.submit(nextRead % slotCount);
    }
    ++nextRead;
}

// Reads the chunk into its slot and completes the previous slot with its
// tail; queues the previous slot if it is whole.
void ChunkPipeline::readChunk() {
    Slot& slot = slotOf(nextRead);
    slot.offset = nextRead * chunkBytes;
    slot.complete = false;
    const FullRead got = readFull(*source.read, slot.input.data(), chunkBytes);
    readFailed = got.failed;
    slot.filled = got.bytes;
    inputEnded = readFailed || slot.filled < chunkBytes;
    if (nextRead > 0) {
        Slot& previous = slotOf(nextRead - 1);
        const std::size_t tail = std::min(kTailBytes, slot.filled);
        std::memcpy(previous.input.data() + chunkBytes, slot.input.data(), tail);
        previous.filled = chunkBytes + tail;
        previous.complete = tail == kTailBytes;
        if (previous.complete) {
            pool.submit((nextRead - 1) % slotCount);
        }
    }
    ++nextRead;
}

// The chunk as one segment, its first lane starting at its first bit as if a
// code started there.
void ChunkPipeline::decodeChunk(std::size_t index) {
    Slot& slot = slots[index];
    slot.stats = {};
    slot.last = {slot.data, 0, 0, nullptr};
    slot.decodedOk =
        chunks.decodeSegment(slot.last, slot.data, slot.data + slot.filled, slot.workspace,
                             slot.stats) == SpanDecoder::SegmentEnd::done;
}

bool ChunkPipeline::take() {
    Slot& slot = slotOf(nextWrite);
    if (!slot.complete || !slot.decodedOk) {
        decodeTheRest = true;
        return false;
    }
    lanes::Lane stepped = truth;
    stepped.out = meetingOutput.data();
    std::uint64_t skip = 0;
    if (nextWrite > 0 && !meetPrevious(stepped, skip)) {
        decodeTheRest = true;
        return false;
    }
    const auto stepSymbols = static_cast<std::size_t>(stepped.out - meetingOutput.data());
    std::uint64_t chunkSymbols = stepSymbols;
    for (const Piece& piece : slot.workspace.pieces()) {
        chunkSymbols += piece.size;
    }
    chunkSymbols -= skip;
    if (written + chunkSymbols > symbolCount) {
        decodeTheRest = true;  // the body ends in this chunk
        return false;
    }
    if (!putChunk(slot, stepSymbols, skip)) {
        return false;
    }
    addStats(stats, slot.stats);
    ++stats.chunks;
    truth = slot.last;
    ++nextWrite;
    if (written == symbolCount) {
        ended = {
            Status::ok, written,
            8 * slot.offset + static_cast<std::uint64_t>(lanes::bitPosition(truth, slot.data))};
        return false;
    }
    return true;
}

// Steps the true state, from the end of the previous chunk, onto a code start
// of chunk nextWrite; skip: the chunk's own first symbols it decoded on the
// way, which the worker's output holds too.
bool ChunkPipeline::meetPrevious(lanes::Lane& stepped, std::uint64_t& skip) {
    const Slot& previous = slotOf(nextWrite - 1);
    const MeetingPoint point =
        meet(stepped, previous.data, 8 * static_cast<std::int64_t>(chunkBytes), windowBits, tables,
             previous.data + previous.filled);
    if (point.meeting != Meeting::met) {
        return false;
    }
    skip = point.symbols;
    ++stats.boundaries;
    stats.resyncBitsTotal += point.distance;
    stats.resyncBitsMax = std::max(stats.resyncBitsMax, point.distance);
    return true;
}

// The true state's symbols up to the meeting point, then the worker's from
// there on.
bool ChunkPipeline::putChunk(Slot& slot, std::size_t stepSymbols, std::uint64_t skip) {
    if (!put(meetingOutput.data(), stepSymbols)) {
        return false;
    }
    for (const Piece& piece : slot.workspace.pieces()) {
        const std::size_t from =
            static_cast<std::size_t>(std::min<std::uint64_t>(skip, piece.size));
        skip -= from;
        if (!put(piece.data + from, piece.size - from)) {
            return false;
        }
    }
    return true;
}

// A failed write ends the body with exactly what the writes before it took
// counted, as on one thread.
bool ChunkPipeline::put(const std::uint8_t* data, std::size_t size) {
    if (!output.put(written, data, size)) {
        ended = {Status::writeError, written, 0};
        return false;
    }
    written += size;
    return true;
}

// The body ended in a take: what was read past it goes to unused.
BodyResult ChunkPipeline::finish() {
    if (ended.status == Status::ok && unused != nullptr &&
        !handBackRead((ended.bitsConsumed + 7) / 8)) {
        ended.status = Status::writeError;
    }
    return ended;
}

// Decodes the rest of the body on this thread from the true state: the bytes
// of the slots from the true position on, then the rest of read.
BodyResult ChunkPipeline::decodeRest() {
    pool.stop();
    std::uint64_t position = 0;  // absolute bit position of the true state
    if (nextWrite > 0) {
        const Slot& holder = slotOf(nextWrite - 1);
        position =
            8 * holder.offset + static_cast<std::uint64_t>(lanes::bitPosition(truth, holder.data));
    }
    std::uint64_t cursor = position >> 3;
    if (source.read == nullptr) {
        const auto at = static_cast<std::size_t>(cursor);
        const BodyResult result =
            rest.decode(symbolCount - written, source.body + at, source.size - at,
                        output.after(written), stats, static_cast<unsigned>(position & 7));
        return {result.status, written + result.symbolsWritten,
                8 * std::uint64_t{at} + result.bitsConsumed};
    }
    const std::uint64_t buffered = bytesRead();
    const ReadFn remaining = [&](std::uint8_t* buffer, std::size_t size) -> std::ptrdiff_t {
        if (cursor < buffered) {
            const Piece run = readBytesAt(cursor);
            const std::size_t n = std::min(size, run.size);
            std::memcpy(buffer, run.data, n);
            cursor += n;
            return static_cast<std::ptrdiff_t>(n);
        }
        if (readFailed) {
            return -1;
        }
        return (*source.read)(buffer, size);
    };
    // What rest read and did not use comes before the slot bytes it did not
    // read, if any.
    BodyResult result = rest.decode(symbolCount - written, remaining, output.after(written), stats,
                                    static_cast<unsigned>(position & 7), unused);
    if (result.status == Status::ok && unused != nullptr && !handBackRead(cursor)) {
        result.status = Status::writeError;
    }
    return {result.status, written + result.symbolsWritten,
            8 * (position >> 3) + result.bitsConsumed};
}

// Bytes read through read so far, and those from body offset at on that lie
// together in one slot: its chunk's own, not the copy of the next chunk's
// first bytes that completes it. Slots hold every chunk from the one before
// nextWrite on.
std::uint64_t ChunkPipeline::bytesRead() const {
    if (nextRead == 0) {
        return 0;
    }
    const Slot& last = slotOf(nextRead - 1);
    return last.offset + std::min(last.filled, chunkBytes);
}

Piece ChunkPipeline::readBytesAt(std::uint64_t at) const {
    const Slot& slot = slotOf(at / chunkBytes);
    const auto from = static_cast<std::size_t>(at - slot.offset);
    return {slot.data + from, std::min(slot.filled, chunkBytes) - from};
}

// Hands what was read from body offset from on to unused.
bool ChunkPipeline::handBackRead(std::uint64_t from) const {
    for (std::uint64_t at = from; at < bytesRead();) {
        const Piece run = readBytesAt(at);
        if (!(*unused)(run.data, run.size)) {
            return false;
        }
        at += run.size;
    }
    return true;
}

}  // namespace

BodyResult decodeThreaded(const DecodeTables& tables, const DecodePlan& plan,
                          std::uint64_t symbolCount, std::uint64_t bodyBits, const ReadFn& read,
                          const BodyOutput& output, DecodeStats& stats, const WriteFn* unused) {
    if (!plan.threaded) {
        // The plan shares nothing out (codes of zero bits, one thread or a
        // small body): one thread decodes as the plan says.
        StreamDecoder one(tables, plan);
        return one.decode(symbolCount, read, output, stats, 0, unused);
    }
    ChunkPipeline pipeline(tables, plan, symbolCount, bodyBits, {&read, nullptr, 0}, output, stats,
                           unused);
    return pipeline.run();
}

BodyResult decodeThreaded(const DecodeTables& tables, const DecodePlan& plan,
                          std::uint64_t symbolCount, const std::uint8_t* body, std::size_t size,
                          const BodyOutput& output, DecodeStats& stats) {
    if (!plan.threaded) {
        StreamDecoder one(tables, plan);
        return one.decode(symbolCount, body, size, output, stats);
    }
    ChunkPipeline pipeline(tables, plan, symbolCount, 8 * std::uint64_t{size},
                           {nullptr, body, size}, output, stats, nullptr);
    return pipeline.run();
}

}  // namespace huffcodec
