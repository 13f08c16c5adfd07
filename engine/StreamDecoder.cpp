// SPDX-License-Identifier: MIT
//
// Blocks in, blocks out: the loop that feeds the span decoder.
#include "StreamDecoder.hpp"

#include <algorithm>
#include <cstring>

#include "ReadFull.hpp"

namespace huffcodec {

namespace {

// Input is read in blocks and topped up when fewer than the bytes one step
// needs are left, so that neither a careful step nor a segment runs dry while
// the input has more.
constexpr std::size_t kInputBlock = std::size_t{1} << 18;
constexpr std::size_t kInputReserve = 64;
static_assert(kInputReserve >= lanes::kLoadBytes &&
                  kInputReserve * 8 >= static_cast<std::size_t>(format::kMaxTreeDepth),
              "a careful step must find a whole code, and the fast loop a whole load");
// Output is handed on in blocks of up to kOutputBlock bytes.
constexpr std::size_t kOutputBlock = std::size_t{1} << 19;

}  // namespace

StreamDecoder::StreamDecoder(const DecodeTables& decodeTables, const DecodePlan& plan)
    : tables(decodeTables),
      laneCount(plan.lanes),
      kernel(plan.kernel),
      spans(decodeTables, laneCount, plan.segmentBytes, kernel),
      output(kOutputBlock) {}

BodyResult StreamDecoder::decode(std::uint64_t symbolCount, const ReadFn& readFn,
                                 const WriteFn& writeFn, DecodeStats& stats, unsigned startBit) {
    read = &readFn;
    write = &writeFn;
    reserve();
    in = inputBlock.data();
    state = {in, 0, 0, output.data()};
    if (startBit != 0) {
        // The first bits of the first byte were decoded by someone else.
        topUp();
        if (inEnd > 0) {
            state = lanes::laneAt(in, startBit & 7, output.data());
        }
    }
    return run(symbolCount, stats);
}

void StreamDecoder::reserve() {
    if (inputBlock.data() == nullptr) {
        const std::size_t segmentInput =
            laneCount > 1 ? spans.segmentBytes() + SpanDecoder::kSegmentReserveBytes : 0;
        // A top-up keeps fewer than kInputReserve + segmentInput unread bytes
        // and the up to kLoadBytes before them that the lane still holds as
        // bits, then reads a whole block after them.
        inputCapacity = kInputBlock + kInputReserve + segmentInput + lanes::kLoadBytes;
        inputBlock = ByteBuffer(inputCapacity);
    }
    reserveWorkspace();
}

void StreamDecoder::reserveWorkspace() {
    if (laneCount > 1 && !workspaceReady) {
        workspace.reserve(laneCount, spans.regionBytes());
        workspaceReady = true;
    }
}

void StreamDecoder::start(std::uint64_t symbolCount, const WriteFn& writeFn) {
    pushed = true;
    write = &writeFn;
    reserve();
    in = inputBlock.data();
    state = {in, 0, 0, output.data()};
    pushedSymbols = symbolCount;
}

std::size_t StreamDecoder::feed(const std::uint8_t* data, std::size_t size, bool last) {
    if (inputDone) {
        return 0;
    }
    if (size > 0 && inEnd + size > inputCapacity) {
        compact();
    }
    const std::size_t taken = std::min(size, inputCapacity - inEnd);
    if (taken > 0) {
        std::memcpy(inputBlock.data() + inEnd, data, taken);
        inEnd += taken;
    }
    inputDone = last && taken == size;
    return taken;
}

BodyResult StreamDecoder::resume(DecodeStats& stats) {
    wait = Wait::none;
    wrote = false;
    return run(pushedSymbols, stats);
}

BodyResult StreamDecoder::decode(std::uint64_t symbolCount, const std::uint8_t* body,
                                 std::size_t size, const WriteFn& writeFn, DecodeStats& stats,
                                 unsigned startBit) {
    write = &writeFn;
    in = body;
    inEnd = size;
    inputDone = true;
    state = startBit % 8 != 0 && size > 0 ? lanes::laneAt(in, startBit % 8, output.data())
                                          : lanes::Lane{in, 0, 0, output.data()};
    return run(symbolCount, stats);
}

void StreamDecoder::compact() {
    // Keep every byte from the one that holds the next bit, so that bit
    // positions never point before the block.
    const std::int64_t position = lanes::bitPosition(state, in);
    const auto consumed = static_cast<std::size_t>(position >> 3);
    std::memmove(inputBlock.data(), in + consumed, inEnd - consumed);
    inBase += consumed;
    inEnd -= consumed;
    state = lanes::laneAt(in, position & 7, state.out);
}

void StreamDecoder::topUp() {
    compact();
    // The bytes read before an error are decoded as those of a cut body
    // would be: the result must not depend on how the reads were sized.
    const FullRead got = readFull(*read, inputBlock.data() + inEnd, kInputBlock);
    inEnd += got.bytes;
    readFailed = got.failed;
    inputDone = got.failed || got.bytes < kInputBlock;
}

bool StreamDecoder::flushOutput() {
    const auto size = static_cast<std::size_t>(state.out - output.data());
    wrote = wrote || size > 0;
    const bool ok = size == 0 || (*write)(output.data(), size);
    written += ok ? size : 0;
    state.out = output.data();
    return ok;
}

BodyResult StreamDecoder::finish(Status status) const {
    return {status, written,
            8 * (inBase + static_cast<std::uint64_t>(state.next - in)) - state.count};
}

BodyResult StreamDecoder::run(std::uint64_t symbolCount, DecodeStats& stats) {
    if (symbolCount == 0) {
        return finish(Status::ok);
    }
    if (tables.leafCount() == 0) {
        return finish(Status::truncatedBody);
    }
    if (tables.leafCount() == 1) {
        // Codes of zero bits: nothing to read.
        std::memset(output.data(), tables.onlySymbol(),
                    static_cast<std::size_t>(std::min<std::uint64_t>(kOutputBlock, symbolCount)));
        while (written < symbolCount) {
            if (pushed && wrote) {
                wait = Wait::output;
                return finish(Status::ok);
            }
            state.out =
                output.data() + std::min<std::uint64_t>(kOutputBlock, symbolCount - written);
            if (!flushOutput()) {
                return finish(Status::writeError);
            }
        }
        return finish(Status::ok);
    }

    const bool segments = laneCount > 1;
    reserveWorkspace();
    const std::size_t wantInput =
        (segments ? spans.segmentBytes() + SpanDecoder::kSegmentReserveBytes : 0) + kInputReserve;
    for (;;) {
        const auto outPos = static_cast<std::size_t>(state.out - output.data());
        if (written + outPos >= symbolCount) {
            break;
        }
        if (pushed && wrote) {
            wait = Wait::output;  // the caller takes what was written first
            return finish(Status::ok);
        }
        if (!inputDone && inEnd - static_cast<std::size_t>(state.next - in) < wantInput) {
            if (pushed) {
                // Fed in pieces: what is decoded goes out, and more input in.
                if (!flushOutput()) {
                    return finish(Status::writeError);
                }
                wait = Wait::input;
                return finish(Status::ok);
            }
            topUp();
        }
        const std::uint64_t remaining = symbolCount - written - outPos;
        const bool segment = segments &&
                             inEnd - static_cast<std::size_t>(state.next - in) >= wantInput &&
                             remaining >= spans.segmentSymbols();
        if ((outPos >= kOutputBlock || segment) && !flushOutput()) {
            return finish(Status::writeError);
        }
        if (segment) {
            if (spans.decodeSegment(state, in, in + inEnd, workspace, stats) ==
                SpanDecoder::SegmentEnd::brokenMargin) {
                return finish(Status::internalError);
            }
            state.out = output.data();
            for (const Piece& piece : workspace.pieces()) {
                if (piece.size > 0 && !(*write)(piece.data, piece.size)) {
                    return finish(Status::writeError);
                }
                written += piece.size;
                wrote = wrote || piece.size > 0;
            }
            continue;
        }
        const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(
            remaining, kOutputBlock - static_cast<std::size_t>(state.out - output.data())));
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
                    return finish(Status::internalError);
                }
                return finish(readFailed ? Status::readError : Status::truncatedBody);
            }
        }
    }
    return finish(flushOutput() ? Status::ok : Status::writeError);
}

}  // namespace huffcodec
