// SPDX-License-Identifier: MIT
//
// Segments of body decoded by L interleaved lanes. One lookup waits for the
// previous code's length, so a single chain cannot go faster than its latency;
// L independent chains hide it. A segment is split at L - 1 byte boundaries:
// lane 0 goes on from the true state, lane k from split point k as if a code
// started there. When every lane has reached the end of its part, the true
// state steps code by code while lane 1's codes are walked again from its split
// point, until both stand on the same position; from there lane 1's symbols
// are the true ones, and lane 1 meets lane 2 the same way, and so on. A boundary where the lanes do
// not meet (codes of constant length that is not a multiple of 8 bits can do that) is decoded again
// from the true state: slower, never different.
#include "SpanDecoder.hpp"

#include <algorithm>
#include <utility>

namespace huffcodec {

using lanes::bitPosition;
using lanes::Lane;
using lanes::laneAt;

void DecodeWorkspace::reserve(int laneCount, std::size_t regionBytes) {
    for (std::size_t k = 0; k < static_cast<std::size_t>(laneCount); ++k) {
        regions[k] = ByteBuffer(regionBytes);
    }
    segmentPieces.reserve(2 * kMaxLanes);
}

namespace {

// One lane in the hot loop, as three values: its bit position, its bit buffer
// (reloaded from the position once per group) and its output pointer.
struct LaneRegisters {
    std::int64_t position;
    std::uint64_t bits;
    std::uint8_t* out;
};

// What every lane of the hot loop reads.
struct LaneShared {
    const std::uint8_t* base;
    const std::uint8_t* end;
    // runs() and runBits() from one register: runBits() stands at a fixed
    // distance after runs().
    const std::uint8_t* lookupTable;
    const DecodeTables* tables;
    std::uint8_t* discard;  // where a lane writes once its careful step has failed
};

[[gnu::always_inline]] inline void reload(LaneRegisters& lane, const std::uint8_t* base) {
    lane.bits = lanes::load64(base + (lane.position >> 3)) >> (lane.position & 7);
}

// One lookup of one lane. A long code goes through the careful step, by value,
// and the lane reloads its bits for the lookups left in the group.
[[gnu::always_inline]] inline void step(LaneRegisters& lane, const LaneShared& shared,
                                        bool& decoded) {
    const auto index = static_cast<std::uint32_t>(lane.bits) & DecodeTables::kIndexMask;
    constexpr std::size_t kRunBitsOffset = DecodeTables::kSize * sizeof(std::uint64_t);
    const unsigned used = shared.lookupTable[kRunBitsOffset + index];
    if (__builtin_expect(used == 0, 0)) {
        const lanes::Stepped stepped = lanes::carefulStepOf(
            laneAt(shared.base, lane.position, lane.out), *shared.tables, shared.end);
        if (stepped.decoded) {
            lane.position = bitPosition(stepped.lane, shared.base);
            lane.out = stepped.lane.out;
            reload(lane, shared.base);
        } else {
            decoded = false;
            lane.out = shared.discard;
        }
        return;
    }
    const std::uint64_t run = lanes::load64(shared.lookupTable + sizeof(std::uint64_t) * index);
    lanes::store64(lane.out, run);
    lane.out += run >> 56;
    lane.bits >>= used;
    lane.position += used;
}

// Runs the lanes listed in active (one per index in K) interleaved while every
// one of them is below its limit. The lanes are addressed by constant indices
// only, so that the compiler keeps them in registers. False if a careful step
// ran out of input.
template <std::size_t... K>
bool interleave(std::index_sequence<K...>, Lane* laneStates, const std::int64_t* limits,
                const int* active, const std::uint8_t* base, const DecodeTables& tables,
                const std::uint8_t* end) {
    static_assert(lanes::kLookupsPerRefill * DecodeTables::kIndexBits <= 64 - 7,
                  "a group's lookups fit in a load shifted by up to 7 bits");
    constexpr std::size_t N = sizeof...(K);
    std::uint8_t discard[lanes::kGroupStoreReach + 8];
    const LaneShared shared{base, end, reinterpret_cast<const std::uint8_t*>(tables.runs()),
                            &tables, discard};
    LaneRegisters lane[N] = {
        {bitPosition(laneStates[active[K]], base), 0, laneStates[active[K]].out}...};
    const std::int64_t limit[N] = {limits[active[K]]...};
    bool decoded = true;
    while (decoded && ((lane[K].position < limit[K]) && ...)) {
        (reload(lane[K], base), ...);
        for (int i = 0; i < lanes::kLookupsPerRefill; ++i) {
            (step(lane[K], shared, decoded), ...);
        }
    }
    ((laneStates[active[K]] = laneAt(base, lane[K].position, lane[K].out)), ...);
    return decoded;
}

// Runs lanes 0 .. count - 1 until each has reached its limit, interleaving
// all of those still short of it.
bool runLanes(Lane* laneStates, const std::int64_t* limits, int count, const std::uint8_t* base,
              const DecodeTables& tables, const std::uint8_t* end) {
    int active[kMaxLanes];
    int running = 0;
    for (int k = 0; k < count; ++k) {
        if (bitPosition(laneStates[k], base) < limits[k]) {
            active[running++] = k;
        }
    }
    while (running > 0) {
        bool decoded = false;
        switch (running) {
            case 1:
                decoded = interleave(std::make_index_sequence<1>(), laneStates, limits, active,
                                     base, tables, end);
                break;
            case 2:
                decoded = interleave(std::make_index_sequence<2>(), laneStates, limits, active,
                                     base, tables, end);
                break;
            case 3:
                decoded = interleave(std::make_index_sequence<3>(), laneStates, limits, active,
                                     base, tables, end);
                break;
            default:
                static_assert(kMaxLanes == 4);
                decoded = interleave(std::make_index_sequence<4>(), laneStates, limits, active,
                                     base, tables, end);
                break;
        }
        if (!decoded) {
            return false;
        }
        int kept = 0;
        for (int i = 0; i < running; ++i) {
            if (bitPosition(laneStates[active[i]], base) < limits[active[i]]) {
                active[kept++] = active[i];
            }
        }
        running = kept;
    }
    return true;
}

}  // namespace

SpanDecoder::SpanDecoder(const DecodeTables& decodeTables, int laneCount, std::size_t segmentBytes)
    : tables(decodeTables),
      laneTotal(std::clamp(laneCount, 1, kMaxLanes)),
      segment(std::clamp(segmentBytes, kMinSegmentBytes, kMaxSegmentBytes)) {
    const std::size_t partBytes = segment / static_cast<std::size_t>(laneTotal);
    window = std::min<std::int64_t>(kWindowBits, 4 * static_cast<std::int64_t>(partBytes));
    const auto minLength = static_cast<std::size_t>(decodeTables.minLength());
    // The true symbols of a segment lie between its start (less the bits the
    // true state holds ahead of its next byte) and its end plus an overshoot.
    maxSegmentSymbols = (8 * segment + 64 + lanes::kOvershootBits) / minLength;
    // A lane's region takes its part (the last part is up to laneTotal - 1 bytes
    // longer), the bits held ahead, an overshoot, and the true state's steps
    // across the next lane's window.
    const std::size_t regionBits = 8 * (partBytes + static_cast<std::size_t>(laneTotal)) + 64 +
                                   lanes::kOvershootBits + static_cast<std::size_t>(window) +
                                   format::kMaxTreeDepth;
    maxRegionBytes = regionBits / minLength + lanes::kGroupStoreReach;
}

SpanDecoder::SegmentEnd SpanDecoder::decodeSegment(Lane& trueLane, const std::uint8_t* base,
                                                   const std::uint8_t* end,
                                                   DecodeWorkspace& workspace,
                                                   DecodeStats& stats) const {
    const auto start = static_cast<std::size_t>(trueLane.next - base);
    Lane lane[kMaxLanes];
    std::int64_t limit[kMaxLanes];
    std::size_t split[kMaxLanes + 1];
    for (int k = 0; k <= laneTotal; ++k) {
        split[k] =
            start + static_cast<std::size_t>(k) * segment / static_cast<std::size_t>(laneTotal);
    }
    lane[0] = trueLane;
    lane[0].out = workspace.region(0);
    for (int k = 1; k < laneTotal; ++k) {
        lane[k] = {base + split[k], 0, 0, workspace.region(k)};
    }
    for (int k = 0; k < laneTotal; ++k) {
        limit[k] = 8 * static_cast<std::int64_t>(split[k + 1]);
    }
    ++stats.segments;

    if (!runLanes(lane, limit, laneTotal, base, tables, end)) {
        return SegmentEnd::brokenMargin;
    }

    // The true state meets each lane in turn.
    std::vector<Piece>& pieces = workspace.pieces();
    pieces.clear();
    Lane state = lane[0];
    const std::uint8_t* pieceStart = workspace.region(0);
    for (int k = 1; k < laneTotal; ++k) {
        ++stats.boundaries;
        const MeetingPoint point =
            meet(state, base, 8 * static_cast<std::int64_t>(split[k]), window, tables, end);
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
            if (!runLanes(&state, &limit[k], 1, base, tables, end)) {
                return SegmentEnd::brokenMargin;
            }
        }
    }
    pieces.push_back({pieceStart, static_cast<std::size_t>(state.out - pieceStart)});
    trueLane = state;
    return SegmentEnd::done;
}

std::size_t decodeFast(Lane& state, const DecodeTables& tables, const std::uint8_t* inEnd,
                       const std::uint8_t* outEnd) {
    if (inEnd - state.next < static_cast<std::ptrdiff_t>(lanes::kLoadBytes) ||
        outEnd - state.out < static_cast<std::ptrdiff_t>(lanes::kGroupStoreReach)) {
        return 0;
    }
    const std::uint8_t* const runBits = tables.runBits();
    const std::uint64_t* const runs = tables.runs();
    const std::uint8_t* const inLast = inEnd - lanes::kLoadBytes;
    const std::uint8_t* const outLast = outEnd - lanes::kGroupStoreReach;
    Lane lane = state;
    std::uint8_t* const outStart = lane.out;
    while (lane.next <= inLast && lane.out <= outLast) {
        lanes::refill(lane);
        for (int i = 0; i < lanes::kLookupsPerRefill; ++i) {
            if (!lanes::lookup(lane, runBits, runs)) {
                goto stop;
            }
        }
    }
stop:
    state = lane;
    return static_cast<std::size_t>(lane.out - outStart);
}

}  // namespace huffcodec
