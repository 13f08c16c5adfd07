// SPDX-License-Identifier: MIT
//
// Decoding body bytes held in memory: a single chain of lookups for the ends,
// and segments decoded by several interleaved lanes that meet at their split
// points. Knows nothing of where the bytes come from or where symbols go.
#ifndef HUFFCODEC_ENGINE_SPANDECODER_HPP
#define HUFFCODEC_ENGINE_SPANDECODER_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/ByteBuffer.hpp"
#include "common/Plan.hpp"
#include "decode/BitLanes.hpp"
#include "decode/DecodeTables.hpp"
#include "decode/LaneMeeting.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// The lanes' loop comes in the builds Kernel names (huffcodec/experimental.hpp):
// a decoder runs the one its plan gives, never Kernel::automatic.

// Output of a segment, in order: runs of symbols in the workspace.
struct Piece {
    const std::uint8_t* data;
    std::size_t size;
};

// The scratch memory of one decoding thread: an output region per lane, and
// the pieces of the last segment.
class DecodeWorkspace {
public:
    void reserve(int laneCount, std::size_t regionBytes);
    std::uint8_t* region(int lane) const { return regions[static_cast<std::size_t>(lane)].data(); }
    std::vector<Piece>& pieces() { return segmentPieces; }

private:
    std::array<ByteBuffer, kMaxLanes> regions;
    std::vector<Piece> segmentPieces;
};

class SpanDecoder {
public:
    // Lanes meet within the first kWindowBits bits of a lane's part (at most
    // half of the part), or not at all.
    static constexpr std::int64_t kWindowBits = 2048;
    static constexpr std::size_t kMinSegmentBytes = 64;
    static constexpr std::size_t kMaxSegmentBytes = std::size_t{1} << 20;
    // Readable bytes a segment needs past its end: its last lane may run
    // kOvershootBits past the end with up to 64 bits buffered ahead of its
    // position, and a refill loads kLoadBytes.
    static constexpr std::size_t kSegmentReserveBytes =
        (lanes::kOvershootBits + 64 + 7) / 8 + lanes::kLoadBytes;

    // laneCount 1 to kMaxLanes; segmentBytes is clamped to the limits above;
    // kernel is one this processor runs.
    SpanDecoder(const DecodeTables& tables, int laneCount, std::size_t segmentBytes, Kernel kernel);

    std::size_t segmentBytes() const { return segment; }
    std::int64_t windowBits() const { return window; }
    // The most true symbols one segment can give, or one of bytes bytes.
    std::size_t segmentSymbols() const { return maxSegmentSymbols; }
    std::size_t segmentSymbols(std::size_t bytes) const;
    // Bytes of one lane's output region.
    std::size_t regionBytes() const { return maxRegionBytes; }
    // Bytes a segment may write at trueOut (see decodeSegment).
    std::size_t trueOutBytes() const { return maxTrueOutBytes; }

    enum class SegmentEnd { done, brokenMargin };

    // Decodes segmentBytes() of body from lane's next byte on: lane holds the
    // true state and is left at the true state after the segment (its out
    // pointer then means nothing). The symbols go to workspace.pieces().
    // Needs segmentBytes() + kSegmentReserveBytes readable bytes from
    // lane.next; bit positions count from bit 0 of base. brokenMargin only if
    // that guarantee was broken.
    //
    // The true state's own symbols go to trueOut when it is given, which then
    // holds trueOutBytes() writable bytes: the first pieces then lie there,
    // one after the other from trueOut, and need no copy.
    //
    // bytes, when not 0, makes the segment that many bytes, fewer than
    // segmentBytes(), for the end of the input at hand: the readable bytes
    // it needs shrink with it.
    SegmentEnd decodeSegment(lanes::Lane& lane, const std::uint8_t* base, const std::uint8_t* end,
                             DecodeWorkspace& workspace, DecodeStats& stats,
                             std::uint8_t* trueOut = nullptr, std::size_t bytes = 0) const;

private:
    // Where lanes of a segment of bytes bytes look for each other.
    std::int64_t windowFor(std::size_t bytes) const;

    const DecodeTables& tables;
    Kernel kernel;
    int laneTotal;
    std::size_t segment;
    std::int64_t window;
    std::size_t maxSegmentSymbols;
    std::size_t maxRegionBytes;
    std::size_t maxTrueOutBytes;
};

// The single chain: the lanes' loop with one lane, running while the lane can
// refill from below inEnd and a group's stores stay below outEnd. Long codes
// take the careful step, which reads no byte at or past inEnd; a code that
// the input cuts, or that leaves no room for a refill after it, stops the lane
// before it. Returns the number of symbols written.
std::size_t decodeFast(lanes::Lane& lane, const DecodeTables& tables, const std::uint8_t* inEnd,
                       const std::uint8_t* outEnd, Kernel kernel);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_SPANDECODER_HPP
