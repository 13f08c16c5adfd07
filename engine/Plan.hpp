// SPDX-License-Identifier: MIT
//
// How one call decodes or encodes, resolved once where the API meets the
// engine: the caller's Options are checked by settingsOf(), and every
// default, limit and clamp that turns them into a decode or encode plan is
// in Plan.cpp. The engine's layers take plans and never see Options.
#ifndef HUFFCODEC_ENGINE_PLAN_HPP
#define HUFFCODEC_ENGINE_PLAN_HPP

#include <cstddef>
#include <cstdint>

#include "DecodeTables.hpp"
#include "SpanDecoder.hpp"
#include "Workers.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// A segment of 64 KiB keeps the lanes' parts in the first-level cache.
inline constexpr std::size_t kDefaultSegmentBytes = std::size_t{1} << 16;

// A decoding chunk of B body bytes gives about 8 B / (average code length)
// symbols, and at most 8 B / (shortest code length), all held until they are
// written. Chunks are sized for about kChunkOutputBytes of output on average,
// between the bounds below, so that a chunk's input and output stay in the
// caches of the core that decodes it and the one that writes it. Measured on
// 40 MB files, two threads: against 128 KiB, chunks for 1 MiB of output took
// 1.1 to 1.5 times as long, for 256 KiB 1.04 to 1.1 times, for 64 KiB about
// as long. A chunk size chosen through Tuning has the segment's limits.
inline constexpr std::size_t kChunkOutputBytes = std::size_t{128} << 10;
inline constexpr std::size_t kMinDefaultChunkBytes = std::size_t{16} << 10;
inline constexpr std::size_t kMaxDefaultChunkBytes = std::size_t{256} << 10;

// Input bytes of one encoding chunk, and the limits of a size chosen through
// Tuning. A chunk the calling thread has just read is still in the cache when
// a worker counts or encodes it: against 512 KiB, chunks of 128 KiB made
// compress of 32 to 64 MiB on two threads 1.2 to 1.4 times as fast, one
// thread 2 to 4%, for 8 KiB of chunk counts per MiB of input instead of 2.
inline constexpr std::size_t kEncodeChunkBytes = std::size_t{128} << 10;
inline constexpr std::size_t kMinEncodeChunkBytes = 64;
inline constexpr std::size_t kMaxEncodeChunkBytes = std::size_t{512} << 10;

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

struct DecodePlan {
    int lanes = kMaxLanes;  // 1 to kMaxLanes
    std::size_t segmentBytes = kDefaultSegmentBytes;
    std::size_t chunkBytes = kMaxDefaultChunkBytes;  // body bytes of a thread's chunk
    Workers workers;                                 // who decodes
    bool threaded = false;                           // share the body out among them
    Kernel kernel = Kernel::portable;                // never automatic
};

// The plan for a body of bodyBits bits holding symbolCount symbols, whose
// code has leafCount leaves.
DecodePlan decodePlanFor(const Settings& settings, std::uint64_t symbolCount,
                         std::uint64_t bodyBits, int leafCount);

struct EncodePlan {
    std::size_t chunkBytes = kEncodeChunkBytes;     // input bytes of a thread's chunk
    std::uint64_t threadedFrom = kMinThreadedSize;  // input bytes from which threads start
    Workers workers;
};

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

#endif  // HUFFCODEC_ENGINE_PLAN_HPP
