// SPDX-License-Identifier: MIT
//
// How one call decodes or encodes: the plans the engine's layers take, and
// the defaults behind them with their measurements. They are made once where
// the API meets the engine (api/Planning.hpp), which checks the caller's
// Options; no layer below sees Options.
#ifndef HUFFCODEC_ENGINE_PLAN_HPP
#define HUFFCODEC_ENGINE_PLAN_HPP

#include <cstddef>
#include <cstdint>

#include <algorithm>

#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

class WorkerThreads;

// Lanes a span decoder runs side by side at most.
inline constexpr int kMaxLanes = 4;

// Who works on one call: threadCount threads, the calling one included; the
// others are shared's, or started for the call (kept off the caller's
// processor with offCaller).
struct Workers {
    int threadCount = 1;
    bool offCaller = false;
    WorkerThreads* shared = nullptr;
    // The processors the threads share; 0: as many as threadCount.
    int processors = 0;

    // The threads that can run at once. A pipeline reads ahead two chunks
    // for each, so that a count past the processors adds threads that take
    // turns, not memory: jobs are bounded by the slots, and threads start
    // only for queued jobs.
    int runningAtOnce() const {
        return processors > 0 ? std::min(threadCount, processors) : threadCount;
    }
};

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

struct DecodePlan {
    int lanes = kMaxLanes;  // 1 to kMaxLanes
    std::size_t segmentBytes = kDefaultSegmentBytes;
    std::size_t chunkBytes = kMaxDefaultChunkBytes;  // body bytes of a thread's chunk
    Workers workers;                                 // who decodes
    bool threaded = false;                           // share the body out among them
    Kernel kernel = Kernel::portable;                // never automatic
};

struct EncodePlan {
    std::size_t chunkBytes = kEncodeChunkBytes;     // input bytes of a thread's chunk
    std::uint64_t threadedFrom = kMinThreadedSize;  // input bytes from which threads start
    Workers workers;
    Kernel kernel = Kernel::portable;  // never automatic
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_PLAN_HPP
