// SPDX-License-Identifier: MIT
//
// Where two chains of lookups meet. A lane started at a byte boundary that is
// not a code boundary decodes garbage at first, but a prefix code falls into
// step by itself within a few dozen bits. Such a lane records where its codes
// start over a window; the lane that decodes the true codes up to that point
// then steps code by code until it stands on one of those starts. From there
// the recorded lane's symbols are the true ones.
#ifndef HUFFCODEC_ENGINE_LANEMEETING_HPP
#define HUFFCODEC_ENGINE_LANEMEETING_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

#include "BitLanes.hpp"
#include "DecodeTables.hpp"

namespace huffcodec {

// One lookup of a recording lane: the bits it covered from position on, the
// codes that start among them (bit k: a code starts k bits in), and the index
// in the lane's output of its first symbol.
struct WindowEntry {
    std::int64_t position;
    unsigned bits;
    std::uint32_t starts;
    std::size_t symbol;
};

using Window = std::vector<WindowEntry>;

// Decodes lane until its position reaches windowEnd (bit positions from bit 0
// of base), recording every code start in window. The lane's input must hold
// lanes::kLoadBytes readable bytes past windowEnd plus lanes::kOvershootBits.
// False if a code runs past end, which the caller's margins rule out.
bool recordWindow(lanes::Lane& lane, const std::uint8_t* base, std::int64_t windowEnd,
                  const DecodeTables& tables, const std::uint8_t* end, Window& window);

enum class Meeting { met, notMet, inputEnded };

// Steps lane one code at a time until it stands on a code start of window,
// or has passed the window's end (notMet). On met, symbol is the index in the
// recording lane's output of the symbol that starts there and distance the
// number of bits past window.front().position. inputEnded if a code runs past
// end, which the caller's margins rule out.
struct MeetingPoint {
    Meeting meeting;
    std::size_t symbol;
    std::uint64_t distance;
};
MeetingPoint meet(lanes::Lane& lane, const std::uint8_t* base, const Window& window,
                  const DecodeTables& tables, const std::uint8_t* end);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_LANEMEETING_HPP
