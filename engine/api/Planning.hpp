// SPDX-License-Identifier: MIT
//
// Where the API meets the engine: the one reader of a caller's Options
// (settingsOf), and what turns the settings into the plans of
// common/Plan.hpp, with every clamp and choice, the decode table's kind among
// them.
#ifndef HUFFCODEC_ENGINE_PLANNING_HPP
#define HUFFCODEC_ENGINE_PLANNING_HPP

#include <cstdint>

#include "common/Plan.hpp"
#include "decode/DecodeTables.hpp"
#include "huffcodec/experimental.h"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.h"
#include "huffcodec/huffcodec.hpp"

// The C interface's pool: a ThreadPool behind the C handle.
struct huffcodec_pool {
    huffcodec::ThreadPool pool;
};

namespace huffcodec {

// The caller's options, checked, with the members its build does not know at
// their defaults.
struct Settings {
    int threads = 1;
    ThreadPool* pool = nullptr;
    Tuning tuning;
};

// The one check of a caller's options: invalidArgument for a negative thread
// count, a lane count outside 0 to kMaxLanes, or a kernel this processor does
// not run.
Status settingsOf(const Options& options, Settings& settings);

// The C caller's options (NULL: the defaults), read by the same rule; the
// C++ call they are then handed to checks them.
Settings settingsOf(const huffcodec_options* options);

// The plan for a body of bodyBits bits holding symbolCount symbols, whose
// code has leafCount leaves.
DecodePlan decodePlanFor(const Settings& settings, std::uint64_t symbolCount,
                         std::uint64_t bodyBits, int leafCount);

EncodePlan encodePlanFor(const Settings& settings);

// Bodies of fewer symbols than these get a table of single codes, and a
// small table; codes averaging fewer bits than kShortCodeBits, a small table
// of runs (see decodeTableFor).
inline constexpr std::uint64_t kSingleTableBelow = std::uint64_t{12} << 10;
inline constexpr std::uint64_t kSmallTableBelow = std::uint64_t{192} << 10;
inline constexpr std::uint64_t kShortCodeBits = 3;

// The decode table for a body of symbolCount symbols whose codes take
// bodyBits bits, or the kind tuning asks for.
TableKind decodeTableFor(const Tuning& tuning, std::uint64_t symbolCount, std::uint64_t bodyBits);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_PLANNING_HPP
