// SPDX-License-Identifier: MIT
//
// Where two chains of lookups meet. A lane started at a byte boundary that is
// not a code boundary decodes garbage at first, but a prefix code falls into
// step by itself within a few dozen bits. The lane that decodes the true codes
// up to that boundary then steps code by code until it stands on a code start
// of the other lane; from there the other lane's symbols are the true ones.
#ifndef HUFFCODEC_ENGINE_LANEMEETING_HPP
#define HUFFCODEC_ENGINE_LANEMEETING_HPP

#include <cstddef>
#include <cstdint>

#include "decode/BitLanes.hpp"
#include "decode/DecodeTables.hpp"

namespace huffcodec {

enum class Meeting { met, notMet, inputEnded };

struct MeetingPoint {
    Meeting meeting;
    std::uint64_t symbols;   // met: codes the other lane decoded before the meeting point
    std::uint64_t distance;  // met: bits from the split point to the meeting point
};

// trueLane holds the true state at or past splitBit (bit positions count from
// bit 0 of base); the other lane started at splitBit, a byte boundary. Walks
// the other lane's codes again from splitBit, and steps trueLane one code at a
// time (writing its symbols), until both stand on the same position (met), or
// the other lane's walk has passed windowBits without meeting (notMet).
// inputEnded if a code runs past end, which the caller's margins rule out.
MeetingPoint meet(lanes::Lane& trueLane, const std::uint8_t* base, std::int64_t splitBit,
                  std::int64_t windowBits, const DecodeTables& tables, const std::uint8_t* end);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_LANEMEETING_HPP
