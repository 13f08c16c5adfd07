// SPDX-License-Identifier: MIT
//
// Blocks in, blocks out: the loop that feeds the span decoder.
#include "decode/StreamDecoder.hpp"

#include <algorithm>
#include <cstring>

#include "common/ReadFull.hpp"

namespace huffcodec {

namespace {

// Input is taken in blocks; fewer unread bytes than one step needs make the
// decoder wait for more, so that neither a careful step nor a segment runs
// dry while the input has more (a drain takes what is there instead).
constexpr std::size_t kInputReserve = 64;
static_assert(kInputReserve >= lanes::kLoadBytes &&
                  kInputReserve * 8 >= static_cast<std::size_t>(format::kMaxTreeDepth),
              "a careful step must find a whole code, and the fast loop a whole load");
// The fewest unread bytes a drain or the end of the input decodes as a
// shorter segment, its margin included; fewer go down one chain.
constexpr std::size_t kShortSegmentInput = 1024;
static_assert(kShortSegmentInput > kInputReserve + SpanDecoder::kSegmentReserveBytes);
// Output is handed on in blocks of up to kOutputBlock bytes.
constexpr std::size_t kOutputBlock = std::size_t{1} << 19;

// A target must hold every symbol: nothing checks its end while decoding.
bool holdsAll(const BodyOutput& output, std::uint64_t symbolCount) {
    return output.write != nullptr || output.capacity >= symbolCount;
}

}  // namespace

StreamDecoder::StreamDecoder(const DecodeTables& decodeTables, const DecodePlan& plan)
    : tables(decodeTables),
      laneCount(plan.lanes),
      kernel(plan.kernel),
      spans(decodeTables, laneCount, plan.segmentBytes, kernel) {}

void StreamDecoder::reserve() {
    reserveInput();
    reserveOutput();
    reserveWorkspace();
}

void StreamDecoder::reserveOutput() {
    if (outputBlock.data() == nullptr) {
        outputBlock = ByteBuffer(kOutputBlock);
    }
}

void StreamDecoder::reserveInput() {
    if (inputBlock.data() == nullptr) {
        const std::size_t segmentInput =
            laneCount > 1 ? spans.segmentBytes() + SpanDecoder::kSegmentReserveBytes : 0;
        // Input is wanted while fewer than kInputReserve + segmentInput bytes
        // are unread; compacting keeps those and the up to kLoadBytes before
        // them that the lane still holds as bits, and leaves room for a
        // whole block after them.
        inputCapacity = kInputBlockBytes + kInputReserve + segmentInput + lanes::kLoadBytes;
        inputBlock = ByteBuffer(inputCapacity);
    }
    if (in == nullptr) {
        in = inputBlock.data();
        state.next = in;
    }
}

void StreamDecoder::reserveWorkspace() {
    if (laneCount > 1 && !workspaceReady) {
        workspace.reserve(laneCount, spans.regionBytes());
        workspaceReady = true;
    }
}

void StreamDecoder::start(std::uint64_t symbolCount, const BodyOutput& output, unsigned startBit) {
    write = output.write;
    if (write != nullptr) {
        reserveOutput();
        outStart = outputBlock.data();
        outLimit = outStart + kOutputBlock;
    } else {
        outStart = output.target;
        outLimit = output.target + output.capacity;
    }
    symbols = symbolCount;
    startAt = startBit % 8;
    state = {in, 0, 0, outStart};
}

std::size_t StreamDecoder::feed(const std::uint8_t* data, std::size_t size, bool last) {
    if (inputDone) {
        return 0;
    }
    reserveInput();
    if (size > 0 && inEnd + size > inputCapacity) {
        compact();
    }
    const std::size_t taken = std::min(size, inputCapacity - inEnd);
    if (taken > 0) {
        std::memcpy(inputBlock.data() + inEnd, data, taken);
        inEnd += taken;
        draining = false;
    }
    inputDone = last && taken == size;
    return taken;
}

StreamDecoder::Room StreamDecoder::inputSpace() {
    reserveInput();
    compact();
    return {inputBlock.data() + inEnd, inputCapacity - inEnd};
}

void StreamDecoder::commit(std::size_t bytes, InputEnd end) {
    inEnd += bytes;
    draining = draining && bytes == 0;
    inputDone = end != InputEnd::more;
    readFailed = end == InputEnd::failed;
}

void StreamDecoder::borrow(const std::uint8_t* body, std::size_t size) {
    in = body;
    state.next = body;
    inEnd = size;
    inputDone = true;
}

BodyResult StreamDecoder::resume(DecodeStats& stats) {
    wait = Wait::none;
    wrote = false;
    if (startAt != 0 && inEnd > 0) {
        // The first bits of the first byte were decoded by someone else.
        state = lanes::laneAt(in, startAt, state.out);
        startAt = 0;
    }
    return decodeFed(stats);
}

BodyResult StreamDecoder::decode(std::uint64_t symbolCount, const ReadFn& read,
                                 const BodyOutput& output, DecodeStats& stats, unsigned startBit,
                                 const WriteFn* unused) {
    if (!holdsAll(output, symbolCount)) {
        return {Status::internalError, 0, 0};
    }
    reserve();
    start(symbolCount, output, startBit);
    for (;;) {
        const BodyResult result = resume(stats);
        if (wait == Wait::none) {
            return result.status == Status::ok && unused != nullptr
                       ? handBackUnused(result, *unused)
                       : result;
        }
        if (wait == Wait::input) {
            // The bytes read before an error are decoded as those of a cut
            // body would be: the result must not depend on how the reads
            // were sized.
            const Room room = inputSpace();
            const std::size_t want = std::min(room.size, kInputBlockBytes);
            const FullRead got = readFull(read, room.data, want);
            commit(got.bytes, got.failed         ? InputEnd::failed
                              : got.bytes < want ? InputEnd::last
                                                 : InputEnd::more);
        }
    }
}

BodyResult StreamDecoder::decode(std::uint64_t symbolCount, const std::uint8_t* body,
                                 std::size_t size, const BodyOutput& output, DecodeStats& stats,
                                 unsigned startBit) {
    if (!holdsAll(output, symbolCount)) {
        return {Status::internalError, 0, 0};
    }
    start(symbolCount, output, startBit);
    borrow(body, size);
    BodyResult result{};
    do {
        result = resume(stats);
    } while (wait == Wait::output);
    return result;
}

void StreamDecoder::compact() {
    if (in != inputBlock.data()) {
        return;  // a borrowed body stays where it is
    }
    // Keep every byte from the one that holds the next bit, so that bit
    // positions never point before the block.
    const std::int64_t position = lanes::bitPosition(state, in);
    const auto consumed = static_cast<std::size_t>(position >> 3);
    std::memmove(inputBlock.data(), in + consumed, inEnd - consumed);
    inBase += consumed;
    inEnd -= consumed;
    state = lanes::laneAt(in, position & 7, state.out);
}

bool StreamDecoder::flushOutput() {
    const auto size = static_cast<std::size_t>(state.out - outStart);
    if (write == nullptr) {
        // Already where it belongs.
        written += size;
        outStart = state.out;
        return true;
    }
    wrote = wrote || size > 0;
    const bool ok = size == 0 || (*write)(outStart, size);
    written += ok ? size : 0;
    state.out = outStart;
    return ok;
}

BodyResult StreamDecoder::finish(Status status) const {
    return {status, written,
            8 * (inBase + static_cast<std::uint64_t>(state.next - in)) - state.count};
}

BodyResult StreamDecoder::handBackUnused(const BodyResult& result, const WriteFn& unused) const {
    // The decoder stops right after the last code (a segment or a group runs
    // only where the symbols cannot pass the count); the lane may hold bytes
    // after it as bits, which were read but not used.
    const auto used = static_cast<std::size_t>((lanes::bitPosition(state, in) + 7) / 8);
    if (used < inEnd && !unused(in + used, inEnd - used)) {
        return {Status::writeError, result.symbolsWritten, result.bitsConsumed};
    }
    return result;
}

BodyResult StreamDecoder::decodeFed(DecodeStats& stats) {
    if (written >= symbols) {
        return finish(Status::ok);
    }
    if (tables.leafCount() == 0) {
        return finish(Status::truncatedBody);
    }
    if (tables.leafCount() == 1) {
        // Codes of zero bits: nothing to read.
        while (written < symbols) {
            if (wrote) {
                wait = Wait::output;
                return finish(Status::ok);
            }
            const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(
                static_cast<std::size_t>(outLimit - outStart), symbols - written));
            std::memset(outStart, tables.onlySymbol(), size);
            state.out = outStart + size;
            if (!flushOutput()) {
                return finish(Status::writeError);
            }
        }
        return finish(Status::ok);
    }

    const bool segments = laneCount > 1;
    // A short segment gave more symbols than remained: the rest goes down
    // one chain.
    bool tooManyBefore = false;
    reserveWorkspace();
    const std::size_t wantInput =
        (segments ? spans.segmentBytes() + SpanDecoder::kSegmentReserveBytes : 0) + kInputReserve;
    for (;;) {
        const auto pending = static_cast<std::size_t>(state.out - outStart);
        if (written + pending >= symbols) {
            break;
        }
        if (wrote) {
            wait = Wait::output;  // the caller takes what was written first
            return finish(Status::ok);
        }
        const std::size_t unread = inEnd - static_cast<std::size_t>(state.next - in);
        if (!inputDone && !draining && unread < wantInput) {
            // What is decoded goes out, and more input in.
            if (!flushOutput()) {
                return finish(Status::writeError);
            }
            wait = Wait::input;
            return finish(Status::ok);
        }
        const std::uint64_t remaining = symbols - written - pending;
        // Draining, or at the end of the input, the bytes at hand short of a
        // whole segment's worth go to a shorter one where there are enough
        // of them for the lanes to pay: a small body is all such bytes.
        const std::size_t shortSegment = segments && (draining || inputDone) &&
                                                 unread < wantInput && unread >= kShortSegmentInput
                                             ? unread - (wantInput - spans.segmentBytes())
                                             : 0;
        // A segment that could hold more symbols than remain is decoded only
        // where it is short, and then taken back if it did: the bytes before
        // a well-formed body's last ones hold none of its padding, so only a
        // body whose codes run on past its symbols goes down one chain.
        const bool wholeSegment = unread >= wantInput;
        const bool maybeTooMany = remaining < (wholeSegment ? spans.segmentSymbols()
                                                            : spans.segmentSymbols(shortSegment));
        const bool segment = segments && !tooManyBefore && (wholeSegment || shortSegment != 0);
        if ((state.out == outLimit || segment) && !flushOutput()) {
            return finish(Status::writeError);
        }
        if (segment) {
            // Straight into the target, the true state's own symbols need no
            // copy: where it has room for them, and only for symbols that are
            // surely the body's.
            std::uint8_t* const trueOut =
                write == nullptr && !maybeTooMany &&
                        static_cast<std::size_t>(outLimit - outStart) >= spans.trueOutBytes()
                    ? outStart
                    : nullptr;
            const lanes::Lane before = state;
            if (spans.decodeSegment(state, in, in + inEnd, workspace, stats, trueOut,
                                    wholeSegment ? 0 : shortSegment) ==
                SpanDecoder::SegmentEnd::brokenMargin) {
                return finish(Status::internalError);
            }
            if (maybeTooMany) {
                std::uint64_t decoded = 0;
                for (const Piece& piece : workspace.pieces()) {
                    decoded += piece.size;
                }
                if (decoded > remaining) {
                    state = before;
                    tooManyBefore = true;
                    continue;
                }
            }
            std::uint8_t* to = outStart;
            for (const Piece& piece : workspace.pieces()) {
                if (write == nullptr) {
                    if (piece.data != to) {
                        std::memcpy(to, piece.data, piece.size);
                    }
                    to += piece.size;
                } else if (piece.size > 0) {
                    if (!(*write)(piece.data, piece.size)) {
                        return finish(Status::writeError);
                    }
                    written += piece.size;
                    wrote = true;
                }
            }
            state.out = to;
            if (write == nullptr) {
                flushOutput();
            }
            continue;
        }
        const auto room = static_cast<std::size_t>(
            std::min<std::uint64_t>(remaining, static_cast<std::size_t>(outLimit - state.out)));
        if (decodeFast(state, tables, in + inEnd, state.out + room, kernel) == 0) {
            const lanes::Lane before = state;
            if (!lanes::carefulStep(state, tables, in + inEnd)) {
                // The symbols before the cut stay in the output; the code
                // that could not complete is not counted as consumed.
                state = before;
                if (!flushOutput()) {
                    return finish(Status::writeError);
                }
                if (!inputDone) {
                    if (!draining) {
                        return finish(Status::internalError);
                    }
                    wait = Wait::input;  // the code's last bits are still to come
                    return finish(Status::ok);
                }
                return finish(readFailed ? Status::readError : Status::truncatedBody);
            }
        }
    }
    return finish(flushOutput() ? Status::ok : Status::writeError);
}

}  // namespace huffcodec
