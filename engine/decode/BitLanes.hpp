// SPDX-License-Identifier: MIT
//
// The bit-lane kernels: a chain of table lookups over a 64-bit bit buffer,
// refilled once per group of lookups, and the careful one-symbol step for
// codes longer than the table index and for the ends of the input. No I/O and
// no allocation; every function works on a Lane held by the caller, so that
// the hot loops can keep their lanes in registers.
#ifndef HUFFCODEC_ENGINE_BITLANES_HPP
#define HUFFCODEC_ENGINE_BITLANES_HPP

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/Format.hpp"
#include "decode/DecodeTables.hpp"

namespace huffcodec::lanes {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the bit buffer loads body bytes in little-endian order");

// One chain of lookups: where it reads, its bit buffer and where it writes.
// Bits at count and above are 0 or the true bits that follow: a refill ORs
// the same bits there again.
struct Lane {
    const std::uint8_t* next;  // next byte to go into bits
    std::uint64_t bits;
    unsigned count;  // 0 to 63 between steps
    std::uint8_t* out;
};

// A refill leaves at least kRefillBits bits in the buffer, and a group of
// kLookupsPerRefill lookups takes at most kMaxIndexBits each.
inline constexpr unsigned kRefillBits = 56;
inline constexpr int kLookupsPerRefill = 4;
static_assert(kLookupsPerRefill * DecodeTables::kMaxIndexBits <= static_cast<int>(kRefillBits));
// A refill loads eight bytes at next: the hot loops run only where they can.
inline constexpr std::size_t kLoadBytes = sizeof(std::uint64_t);
// Symbols one group of lookups can write, and how far past the group's first
// output byte its stores reach (every lookup stores eight bytes).
inline constexpr std::size_t kMaxSymbolsPerGroup =
    kLookupsPerRefill * static_cast<std::size_t>(DecodeTables::kMaxRun);
inline constexpr std::size_t kGroupStoreReach =
    (kLookupsPerRefill - 1) * static_cast<std::size_t>(DecodeTables::kMaxRun) + kLoadBytes;
static_assert(kGroupStoreReach >= kMaxSymbolsPerGroup);
// Bits a group takes when no long code comes first in it.
inline constexpr std::int64_t kMaxGroupBits = kLookupsPerRefill * DecodeTables::kMaxIndexBits;
// How far a lane can run past the limit it checks before a group: its first
// lookup may be a long code taken by the careful step, the others take at
// most kMaxIndexBits each. Valid headers give codes of at most
// format::kMaxCodeLength bits, but the margins hold for any tree.
inline constexpr std::size_t kOvershootBits =
    format::kMaxTreeDepth + (kLookupsPerRefill - 1) * DecodeTables::kMaxIndexBits;
static_assert(format::kMaxTreeDepth >= DecodeTables::kMaxIndexBits);

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline void store64(std::uint8_t* p, std::uint64_t value) {
    std::memcpy(p, &value, sizeof value);
}

// Bit position of the lane's next code, counted from bit 0 of base.
inline std::int64_t bitPosition(const Lane& lane, const std::uint8_t* base) {
    return 8 * static_cast<std::int64_t>(lane.next - base) - static_cast<std::int64_t>(lane.count);
}

// A lane standing at bit position of base, with nothing buffered beyond the
// byte that holds that bit (which the lane must have read before).
inline Lane laneAt(const std::uint8_t* base, std::int64_t position, std::uint8_t* out) {
    Lane lane{base + (position >> 3), 0, 0, out};
    const auto skip = static_cast<unsigned>(position & 7);
    if (skip != 0) {
        lane.bits = static_cast<std::uint64_t>(*lane.next++) >> skip;
        lane.count = 8 - skip;
    }
    return lane;
}

// Tops the buffer up to at least kRefillBits bits; needs kLoadBytes readable
// bytes at lane.next.
inline void refill(Lane& lane) {
    lane.bits |= load64(lane.next) << lane.count;
    lane.next += (63 - lane.count) >> 3;
    lane.count |= kRefillBits;
}

// The careful one-symbol step: decodes one code, reading body bytes one at a
// time and none at or past end, and writes one byte at lane.out. False, with
// the lane unusable, when the input ends before the code does.
inline bool carefulStep(Lane& lane, const DecodeTables& tables, const std::uint8_t* end) {
    while (lane.count <= 56 && lane.next < end) {
        lane.bits |= static_cast<std::uint64_t>(*lane.next++) << lane.count;
        lane.count += 8;
    }
    const std::uint32_t index = static_cast<std::uint32_t>(lane.bits) & tables.indexMask();
    const std::uint16_t first = tables.firstCodes()[index];
    const unsigned length = first >> 8;
    if (length != 0) {
        if (length > lane.count) {
            return false;
        }
        *lane.out++ = static_cast<std::uint8_t>(first & 0xFF);
        lane.bits >>= length;
        lane.count -= length;
        return true;
    }
    const auto indexBits = static_cast<unsigned>(tables.indexBits());
    if (lane.count < indexBits) {
        return false;
    }
    auto node = static_cast<std::int16_t>(tables.runs()[index]);
    lane.bits >>= indexBits;
    lane.count -= indexBits;
    for (;;) {
        if (lane.count == 0) {
            while (lane.count <= 56 && lane.next < end) {
                lane.bits |= static_cast<std::uint64_t>(*lane.next++) << lane.count;
                lane.count += 8;
            }
            if (lane.count == 0) {
                return false;
            }
        }
        node = tables.nodes()[static_cast<std::size_t>(node)][lane.bits & 1];
        lane.bits >>= 1;
        --lane.count;
        if (node < 0) {
            *lane.out++ = static_cast<std::uint8_t>(~node);
            return true;
        }
    }
}

// The careful step for hot loops, with the refill for the lookups left in the
// group. The lane goes in and out by value, so that the loop's lanes never
// have their address taken and can stay in registers. When the input ends
// within the code, or leaves no room for the refill, the lane comes back as it
// went in and decoded is false: the loop then cannot tell that its bits are
// unchanged and carry its last lookup address across, which would cost every
// lookup an instruction on the chain.
struct Stepped {
    Lane lane;
    bool decoded;
};
[[gnu::noinline]] inline Stepped carefulStepOf(Lane lane, const DecodeTables& tables,
                                               const std::uint8_t* end) {
    Lane stepped = lane;
    if (!carefulStep(stepped, tables, end) ||
        end - stepped.next < static_cast<std::ptrdiff_t>(kLoadBytes)) {
        return {lane, false};
    }
    refill(stepped);
    return {stepped, true};
}

// What every lane of a hot loop reads. The careful step reads no byte at or
// past end.
struct LaneShared {
    const std::uint8_t* end;
    // runs() and runBits() from one register: runBits() stands at a fixed
    // distance after runs().
    const std::uint8_t* lookupTable;
    const DecodeTables* tables;
};

inline LaneShared laneShared(const DecodeTables& tables, const std::uint8_t* end) {
    return {end, reinterpret_cast<const std::uint8_t*>(tables.runs()), &tables};
}

// One table lookup of one lane, in a table of IndexBits bits: up to kMaxRun
// whole codes, stored as eight bytes at lane.out. A long code's entry uses no
// bits and holds no symbols, so the lane stands still on it until the first
// lookup of its next group (see firstStep) takes it.
template <int IndexBits>
[[gnu::always_inline]] inline void step(Lane& lane, const LaneShared& shared) {
    constexpr std::uint32_t kIndexMask = (1u << IndexBits) - 1;
    const auto index = static_cast<std::uint32_t>(lane.bits) & kIndexMask;
    constexpr std::size_t kRunBitsOffset = (std::size_t{1} << IndexBits) * sizeof(std::uint64_t);
    const unsigned used = shared.lookupTable[kRunBitsOffset + index];
    const std::uint64_t run = load64(shared.lookupTable + sizeof(std::uint64_t) * index);
    store64(lane.out, run);
    lane.out += run >> 56;
    lane.bits >>= used;
    lane.count -= used;
}

// The first lookup of a group, the only one that looks for a long code: that
// goes through carefulStepOf, and ends the run of groups the loop counted on
// without one (groups is set to 1). Where the careful step fails, the lane
// stays before the code, going turns false, and its lookups left in the group
// stand still on the same code.
template <int IndexBits>
[[gnu::always_inline]] inline void firstStep(Lane& lane, const LaneShared& shared,
                                             std::int64_t& groups, bool& going) {
    constexpr std::uint32_t kIndexMask = (1u << IndexBits) - 1;
    const auto index = static_cast<std::uint32_t>(lane.bits) & kIndexMask;
    constexpr std::size_t kRunBitsOffset = (std::size_t{1} << IndexBits) * sizeof(std::uint64_t);
    if (__builtin_expect(shared.lookupTable[kRunBitsOffset + index] == 0, 0)) {
        const Stepped stepped = carefulStepOf(lane, *shared.tables, shared.end);
        lane = stepped.lane;
        going = going && stepped.decoded;
        groups = 1;
        return;
    }
    step<IndexBits>(lane, shared);
}

}  // namespace huffcodec::lanes

#endif  // HUFFCODEC_ENGINE_BITLANES_HPP
