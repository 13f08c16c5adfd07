// SPDX-License-Identifier: MIT
//
// Body bytes in memory decoded by lanes: chains of lanes::step lookups, run
// by one loop (interleave) for one to four lanes at a time. One lookup waits
// for the previous code's length, so a single chain cannot go faster than its
// latency; L independent chains hide it. decodeFast is that loop with one
// lane, for the ends of a body and for decoding with one lane.
//
// A segment is split at L - 1 byte boundaries: lane 0 goes on from the true
// state, lane k from split point k as if a code started there. When every
// lane has reached the end of its part, the true state steps code by code
// while lane 1's codes are walked again from its split point, until both
// stand on the same position; from there lane 1's symbols are the true ones,
// and lane 1 meets lane 2 the same way, and so on. A boundary where the lanes
// do not meet (codes of constant length that is not a multiple of 8 bits can
// do that) is decoded again from the true state: slower, never different.
#include "decode/SpanDecoder.hpp"

#include <algorithm>
#include <utility>

#include "common/ByteCode.hpp"
#include "common/Kernels.hpp"

namespace huffcodec {

using lanes::bitPosition;
using lanes::Lane;
using lanes::LaneShared;

void DecodeWorkspace::reserve(int laneCount, std::size_t regionBytes) {
    for (std::size_t k = 0; k < static_cast<std::size_t>(laneCount); ++k) {
        regions[k] = ByteBuffer(regionBytes);
    }
    segmentPieces.reserve(2 * kMaxLanes);
}

namespace {

// Where a lane's hot loop stops: it starts a group only while its position is
// below position and its out is at or below outLast, so that the group's
// stores stay within its output.
struct LaneLimit {
    std::int64_t position;
    const std::uint8_t* outLast;
};

// Calls f once per index, unrolled: a loop over a group's lookups would cost
// the interleaved lanes a register they need.
template <int... I, typename F>
[[gnu::always_inline]] inline void repeat(std::integer_sequence<int, I...>, const F& f) {
    ((static_cast<void>(I), f()), ...);
}

// Groups a lane can start in a row, none of them past its limit, if no long
// code comes first in any of them: 0 once it is done or out of room.
[[gnu::always_inline]] inline std::int64_t groupsWithin(const Lane& lane, const LaneLimit& limit,
                                                        const std::uint8_t* base) {
    const std::int64_t position = bitPosition(lane, base);
    if (position >= limit.position || lane.out > limit.outLast) {
        return 0;
    }
    const std::int64_t byBits =
        (limit.position - position + lanes::kMaxGroupBits - 1) / lanes::kMaxGroupBits;
    const std::int64_t byRoom =
        (limit.outLast - lane.out) / static_cast<std::ptrdiff_t>(lanes::kMaxSymbolsPerGroup) + 1;
    return std::min(byBits, byRoom);
}

// Runs the lanes listed in active (one per index in K) interleaved while every
// one of them is within its limit, its position counted from base. The limits
// are checked once for as many groups as they allow, and again after a long
// code. The lanes are addressed by constant indices only, so that the
// compiler keeps them in registers. False if a lane stopped before a code
// (see lanes::firstStep).
template <int IndexBits, std::size_t... K>
[[gnu::always_inline]] inline bool interleave(std::index_sequence<K...>, Lane* laneStates,
                                              const LaneLimit* limits, const int* active,
                                              const std::uint8_t* base,
                                              const LaneShared& sharedIn) {
    constexpr std::size_t N = sizeof...(K);
    // Stores through out may alias what the caller passes by reference, but
    // not these copies, which can stay in registers.
    const LaneShared shared = sharedIn;
    Lane lane[N] = {laneStates[active[K]]...};
    const LaneLimit limit[N] = {limits[active[K]]...};
    bool going = true;
    for (;;) {
        std::int64_t groups = std::min({groupsWithin(lane[K], limit[K], base)...});
        if (groups == 0) {
            break;
        }
        do {
            (lanes::refill(lane[K]), ...);
            (lanes::firstStep<IndexBits>(lane[K], shared, groups, going), ...);
            repeat(
                std::make_integer_sequence<int, lanes::kLookupsPerRefill - 1>(),
                [&]() __attribute__((always_inline)) {
                    (lanes::step<IndexBits>(lane[K], shared), ...);
                });
        } while (--groups != 0);
        if (!going) {
            break;
        }
    }
    ((laneStates[active[K]] = lane[K]), ...);
    return going;
}

// Runs lanes 0 .. count - 1 until each has reached its position limit,
// interleaving all of those still short of it. False if a lane stopped before
// a code, or ran out of output room short of its limit. Inlined into each
// kernel below, which the compiler builds for its own instruction set.
template <int IndexBits>
[[gnu::always_inline]] inline bool runLanesOn(Lane* laneStates, const LaneLimit* limits, int count,
                                              const std::uint8_t* base, const LaneShared& shared) {
    int active[kMaxLanes];
    for (int k = 0; k < count; ++k) {
        active[k] = k;
    }
    int running = count;
    for (;;) {
        int kept = 0;
        for (int i = 0; i < running; ++i) {
            const Lane& lane = laneStates[active[i]];
            const LaneLimit& limit = limits[active[i]];
            if (bitPosition(lane, base) < limit.position) {
                if (lane.out > limit.outLast) {
                    return false;
                }
                active[kept++] = active[i];
            }
        }
        running = kept;
        bool going = true;
        switch (running) {
            case 0:
                return true;
            case 1:
                going = interleave<IndexBits>(std::make_index_sequence<1>(), laneStates, limits,
                                              active, base, shared);
                break;
            case 2:
                going = interleave<IndexBits>(std::make_index_sequence<2>(), laneStates, limits,
                                              active, base, shared);
                break;
            case 3:
                going = interleave<IndexBits>(std::make_index_sequence<3>(), laneStates, limits,
                                              active, base, shared);
                break;
            default:
                static_assert(kMaxLanes == 4);
                going = interleave<IndexBits>(std::make_index_sequence<4>(), laneStates, limits,
                                              active, base, shared);
                break;
        }
        if (!going) {
            return false;
        }
    }
}

using RunLanes = bool (*)(Lane*, const LaneLimit*, int, const std::uint8_t*, const LaneShared&);

template <int IndexBits>
bool runLanesPortable(Lane* laneStates, const LaneLimit* limits, int count,
                      const std::uint8_t* base, const LaneShared& shared) {
    return runLanesOn<IndexBits>(laneStates, limits, count, base, shared);
}

#if HUFFCODEC_BMI2_BUILD
// Shifts by a register in one instruction that leaves the flags alone: each
// lookup and refill shifts once.
template <int IndexBits>
[[gnu::target("bmi2")]] bool runLanesBmi2(Lane* laneStates, const LaneLimit* limits, int count,
                                          const std::uint8_t* base, const LaneShared& shared) {
    return runLanesOn<IndexBits>(laneStates, limits, count, base, shared);
}
#endif

// The loop of kernel for a table of indexBits bits (one of the sizes
// DecodeTables names).
RunLanes runLanesOf(Kernel kernel, int indexBits) {
    const bool large = indexBits == DecodeTables::kLargeIndexBits;
#if HUFFCODEC_BMI2_BUILD
    if (kernelUsesBmi2(kernel)) {
        return large ? runLanesBmi2<DecodeTables::kLargeIndexBits>
                     : runLanesBmi2<DecodeTables::kSmallIndexBits>;
    }
#endif
    static_cast<void>(kernel);
    return large ? runLanesPortable<DecodeTables::kLargeIndexBits>
                 : runLanesPortable<DecodeTables::kSmallIndexBits>;
}

}  // namespace

SpanDecoder::SpanDecoder(const DecodeTables& decodeTables, int laneCount, std::size_t segmentBytes,
                         Kernel laneKernel)
    : tables(decodeTables),
      kernel(laneKernel),
      laneTotal(std::clamp(laneCount, 1, kMaxLanes)),
      segment(std::clamp(segmentBytes, kMinSegmentBytes, kMaxSegmentBytes)) {
    const std::size_t partBytes = segment / static_cast<std::size_t>(laneTotal);
    window = windowFor(segment);
    const auto minLength = static_cast<std::size_t>(decodeTables.minLength());
    maxSegmentSymbols = segmentSymbols(segment);
    // A lane's region takes its part (the last part is up to laneTotal - 1 bytes
    // longer), the bits held ahead, an overshoot, and the true state's steps
    // across the next lane's window.
    const std::size_t regionBits = 8 * (partBytes + static_cast<std::size_t>(laneTotal)) + 64 +
                                   lanes::kOvershootBits + static_cast<std::size_t>(window) +
                                   format::kMaxTreeDepth;
    maxRegionBytes = regionBits / minLength + lanes::kGroupStoreReach;
    // Where every byte is a code, the whole segment is mapped to trueOut.
    maxTrueOutBytes =
        decodeTables.byteCode() ? std::max(maxRegionBytes, maxSegmentSymbols) : maxRegionBytes;
}

std::int64_t SpanDecoder::windowFor(std::size_t bytes) const {
    // At most half of a lane's part.
    const std::size_t partBytes = bytes / static_cast<std::size_t>(laneTotal);
    return std::min<std::int64_t>(kWindowBits, 4 * static_cast<std::int64_t>(partBytes));
}

std::size_t SpanDecoder::segmentSymbols(std::size_t bytes) const {
    // The true symbols of a segment lie between its start (less the bits the
    // true state holds ahead of its next byte) and its end plus an overshoot.
    return (8 * bytes + 64 + lanes::kOvershootBits) / static_cast<std::size_t>(tables.minLength());
}

SpanDecoder::SegmentEnd SpanDecoder::decodeSegment(Lane& trueLane, const std::uint8_t* base,
                                                   const std::uint8_t* end,
                                                   DecodeWorkspace& workspace, DecodeStats& stats,
                                                   std::uint8_t* trueOut, std::size_t bytes) const {
    // A shorter segment has shorter parts, which fit in the regions of whole
    // ones, and a window within half of them.
    const std::size_t length = bytes != 0 ? std::min(bytes, segment) : segment;
    const std::int64_t lengthWindow = windowFor(length);
    const auto start = static_cast<std::size_t>(trueLane.next - base);
    Lane lane[kMaxLanes];
    LaneLimit limit[kMaxLanes];
    std::size_t split[kMaxLanes + 1];
    for (int k = 0; k <= laneTotal; ++k) {
        split[k] =
            start + static_cast<std::size_t>(k) * length / static_cast<std::size_t>(laneTotal);
    }
    std::uint8_t* const trueRegion = trueOut != nullptr ? trueOut : workspace.region(0);
    lane[0] = trueLane;
    lane[0].out = trueRegion;
    for (int k = 1; k < laneTotal; ++k) {
        lane[k] = {base + split[k], 0, 0, workspace.region(k)};
    }
    for (int k = 0; k < laneTotal; ++k) {
        limit[k] = {
            8 * static_cast<std::int64_t>(split[k + 1]),
            (k == 0 ? trueRegion : workspace.region(k)) + maxRegionBytes - lanes::kGroupStoreReach};
    }
    ++stats.segments;
    std::vector<Piece>& pieces = workspace.pieces();
    pieces.clear();

    if (tables.byteCode() && trueLane.count % 8 == 0) {
        // Every byte is a code: each lane's part (the first from the true
        // position) is mapped into its region, or all of them one after the
        // other at trueOut, and the lanes meet where their parts touch.
        const std::uint8_t* from = trueLane.next - trueLane.count / 8;
        std::uint8_t* out = trueOut;
        for (int k = 0; k < laneTotal; ++k) {
            const std::uint8_t* to = base + split[k + 1];
            const auto size = static_cast<std::size_t>(to - from);
            std::uint8_t* const into = trueOut != nullptr ? out : workspace.region(k);
            mapBytes(tables.byteSymbols(), from, size, into, kernel);
            pieces.push_back({into, size});
            from = to;
            out = trueOut != nullptr ? out + size : nullptr;
        }
        stats.boundaries += static_cast<std::uint64_t>(laneTotal - 1);
        trueLane = {from, 0, 0, nullptr};
        return SegmentEnd::done;
    }

    const LaneShared shared = lanes::laneShared(tables, end);
    const RunLanes runLanes = runLanesOf(kernel, tables.indexBits());
    if (!runLanes(lane, limit, laneTotal, base, shared)) {
        return SegmentEnd::brokenMargin;
    }

    // The true state meets each lane in turn.
    Lane state = lane[0];
    const std::uint8_t* pieceStart = trueRegion;
    for (int k = 1; k < laneTotal; ++k) {
        ++stats.boundaries;
        const MeetingPoint point =
            meet(state, base, 8 * static_cast<std::int64_t>(split[k]), lengthWindow, tables, end);
        if (point.meeting == Meeting::inputEnded) {
            return SegmentEnd::brokenMargin;
        }
        pieces.push_back({pieceStart, static_cast<std::size_t>(state.out - pieceStart)});
        if (point.meeting == Meeting::met) {
            stats.resyncBitsTotal += point.distance;
            stats.resyncBitsMax = std::max(stats.resyncBitsMax, point.distance);
            pieceStart = workspace.region(k) + point.symbols;
            state = lane[k];
        } else {
            // Lane k's symbols are dropped: the true state decodes its part
            // again, into its region.
            ++stats.fallbacks;
            pieceStart = workspace.region(k);
            state.out = workspace.region(k);
            if (!runLanes(&state, &limit[k], 1, base, shared)) {
                return SegmentEnd::brokenMargin;
            }
        }
    }
    pieces.push_back({pieceStart, static_cast<std::size_t>(state.out - pieceStart)});
    trueLane = state;
    return SegmentEnd::done;
}

std::size_t decodeFast(Lane& lane, const DecodeTables& tables, const std::uint8_t* inEnd,
                       const std::uint8_t* outEnd, Kernel kernel) {
    if (tables.byteCode() && lane.count % 8 == 0) {
        // Every whole byte from the lane's position on is a code.
        const std::uint8_t* from = lane.next - lane.count / 8;
        const auto size = static_cast<std::size_t>(std::min(inEnd - from, outEnd - lane.out));
        mapBytes(tables.byteSymbols(), from, size, lane.out, kernel);
        lane = {from + size, 0, 0, lane.out + size};
        return size;
    }
    if (outEnd - lane.out < static_cast<std::ptrdiff_t>(lanes::kGroupStoreReach)) {
        return 0;
    }
    // Bit positions count from lane.next. Below the position limit, the lane's
    // next byte (at most 63 bits past its position) is at least kLoadBytes
    // before inEnd, so that it can refill.
    const std::uint8_t* const base = lane.next;
    const LaneLimit limit{
        8 * (inEnd - base - 2 * static_cast<std::ptrdiff_t>(lanes::kLoadBytes)) + 1,
        outEnd - lanes::kGroupStoreReach};
    std::uint8_t* const outStart = lane.out;
    // A lane that stops before a code leaves it to the caller's careful step.
    runLanesOf(kernel, tables.indexBits())(&lane, &limit, 1, base,
                                           lanes::laneShared(tables, inEnd));
    return static_cast<std::size_t>(lane.out - outStart);
}

}  // namespace huffcodec
