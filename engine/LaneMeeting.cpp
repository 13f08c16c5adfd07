// SPDX-License-Identifier: MIT
//
// Recording a lane's code starts, and stepping another lane onto one of them.
#include "LaneMeeting.hpp"

namespace huffcodec {

using lanes::bitPosition;
using lanes::Lane;

bool recordWindow(Lane& lane, const std::uint8_t* base, std::int64_t windowEnd,
                  const DecodeTables& tables, const std::uint8_t* end, Window& window) {
    const std::uint8_t* const outStart = lane.out;
    window.clear();
    while (bitPosition(lane, base) < windowEnd) {
        lanes::refill(lane);
        for (int i = 0; i < lanes::kLookupsPerRefill; ++i) {
            const std::int64_t position = bitPosition(lane, base);
            const auto symbol = static_cast<std::size_t>(lane.out - outStart);
            const std::uint32_t index =
                static_cast<std::uint32_t>(lane.bits) & DecodeTables::kIndexMask;
            if (!lanes::lookup(lane, tables.runBits(), tables.runs())) {
                if (!lanes::carefulStep(lane, tables, end)) {
                    return false;
                }
                window.push_back({position,
                                  static_cast<unsigned>(bitPosition(lane, base) - position), 1,
                                  symbol});
                break;
            }
            window.push_back(
                {position, tables.runBits()[index], tables.runStarts()[index], symbol});
        }
    }
    return true;
}

MeetingPoint meet(Lane& lane, const std::uint8_t* base, const Window& window,
                  const DecodeTables& tables, const std::uint8_t* end) {
    std::size_t w = 0;
    for (;;) {
        const std::int64_t position = bitPosition(lane, base);
        while (w < window.size() && window[w].position + window[w].bits <= position) {
            ++w;
        }
        if (w == window.size()) {
            return {Meeting::notMet, 0, 0};
        }
        if (position >= window[w].position) {
            const auto offset = static_cast<unsigned>(position - window[w].position);
            // A long code's entry spans more bits than starts has; only its
            // first bit is a start.
            if (offset < 32 && (window[w].starts >> offset & 1) != 0) {
                const std::uint32_t before = window[w].starts & ((1u << offset) - 1);
                return {Meeting::met,
                        window[w].symbol + static_cast<std::size_t>(__builtin_popcount(before)),
                        static_cast<std::uint64_t>(position - window.front().position)};
            }
        }
        if (!lanes::carefulStep(lane, tables, end)) {
            return {Meeting::inputEnded, 0, 0};
        }
    }
}

}  // namespace huffcodec
