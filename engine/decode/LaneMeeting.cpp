// SPDX-License-Identifier: MIT
//
// Stepping two lanes onto a common code start.
#include "decode/LaneMeeting.hpp"

namespace huffcodec {

using lanes::bitPosition;
using lanes::Lane;

MeetingPoint meet(Lane& trueLane, const std::uint8_t* base, std::int64_t splitBit,
                  std::int64_t windowBits, const DecodeTables& tables, const std::uint8_t* end) {
    // The other lane's walk only counts its codes: its symbols go to scratch.
    std::uint8_t scratch = 0;
    Lane other = lanes::laneAt(base, splitBit, &scratch);
    std::uint64_t codes = 0;
    for (;;) {
        const std::int64_t position = bitPosition(trueLane, base);
        const std::int64_t otherPosition = bitPosition(other, base);
        if (position == otherPosition) {
            return {Meeting::met, codes, static_cast<std::uint64_t>(position - splitBit)};
        }
        if (otherPosition < position) {
            if (otherPosition - splitBit >= windowBits) {
                return {Meeting::notMet, 0, 0};
            }
            other.out = &scratch;
            if (!lanes::carefulStep(other, tables, end)) {
                return {Meeting::inputEnded, 0, 0};
            }
            ++codes;
        } else if (!lanes::carefulStep(trueLane, tables, end)) {
            return {Meeting::inputEnded, 0, 0};
        }
    }
}

}  // namespace huffcodec
