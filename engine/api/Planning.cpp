// SPDX-License-Identifier: MIT
//
// Options into plans: every default and limit of the caller's settings.
#include "api/Planning.hpp"

#include <algorithm>
#include <cstddef>

#include "common/Format.hpp"
#include "common/Processors.hpp"
#include "decode/SpanDecoder.hpp"
#include "parallel/Workers.hpp"

namespace huffcodec {

namespace {

// The bytes from which work is shared out over chunks: a chunk size chosen
// through Tuning scales kMinThreadedSize down to 16 chunks, so that small
// inputs reach the threads too.
std::uint64_t threadedFrom(std::size_t chosenChunkBytes) {
    return chosenChunkBytes == 0 ? static_cast<std::uint64_t>(kMinThreadedSize)
                                 : 16 * std::uint64_t{chosenChunkBytes};
}

// 0 threads are availableProcessors() (read within the last second), no call runs more than
// kMaxThreads, and the read-ahead follows the processors: a huge count costs no more memory than
// the processors' worth of chunks.
// The kernel asked for (settingsOf has checked that it runs), or the best.
Kernel kernelOf(const Tuning& tuning) {
    return tuning.kernel == Kernel::automatic ? bestKernel() : tuning.kernel;
}

Workers workersOf(const Settings& settings) {
    WorkerThreads* shared = ThreadPoolAccess::threadsOf(settings.pool);
    const bool offCaller = settings.tuning.workersOffCaller;
    if (settings.threads == 1) {
        return {1, offCaller, shared, 1};
    }
    const int processors = recentProcessors();
    const int asked = settings.threads == 0 ? processors : settings.threads;
    return {std::min(asked, kMaxThreads), offCaller, shared, processors};
}

// Four lanes hide more of each lookup's wait than three. With the lane loop
// checking its limits once for many groups, four ran ahead of three on one
// thread (huffcodec_bench_decode decode L:0:1, 9 alternated runs) on text
// (5.4 bits a code on average), executables (6.3) and random bytes (8), by
// 0.5 to 2.5%, and within 1% of them at 1.6 bits (skewed). Codes shorter
// than kFourLaneBits on average, where each lookup gives up to seven symbols
// and the fourth lane showed no gain, keep three.
int lanesFor(std::uint64_t symbolCount, std::uint64_t bodyBits) {
    constexpr std::uint64_t kFourLaneBits = 2;
    return symbolCount == 0 || bodyBits >= kFourLaneBits * symbolCount ? 4 : 3;
}

// Every body's bit count times kChunkOutputBytes fits in 64 bits.
static_assert(static_cast<std::uint64_t>(format::kMaxOriginalSize) * format::kMaxCodeLength <=
              UINT64_MAX / kChunkOutputBytes);

std::size_t defaultChunkBytes(std::uint64_t symbolCount, std::uint64_t bodyBits) {
    if (symbolCount == 0) {
        return kMaxDefaultChunkBytes;
    }
    const std::uint64_t bytes = kChunkOutputBytes * bodyBits / symbolCount / 8;
    return static_cast<std::size_t>(
        std::clamp<std::uint64_t>(bytes, kMinDefaultChunkBytes, kMaxDefaultChunkBytes));
}

}  // namespace

Status settingsOf(const Options& options, Settings& settings) {
    settings = Settings{};
    // Only members the caller's structSize holds whole are read, the others
    // keep their defaults: an older caller's Options ends before the members
    // it does not know. A newer caller's members past the ones known here
    // are never read.
    const auto holds = [&options](std::size_t offset, std::size_t size) {
        return options.structSize >= offset + size;
    };
    if (holds(offsetof(Options, threads), sizeof options.threads)) {
        settings.threads = options.threads;
    }
    if (holds(offsetof(Options, pool), sizeof options.pool)) {
        settings.pool = options.pool;
    }
    if (holds(offsetof(Options, tuning), sizeof options.tuning) && options.tuning != nullptr) {
        settings.tuning = *options.tuning;
    }
    const Tuning& tuning = settings.tuning;
    return settings.threads < 0 || tuning.lanes < 0 || tuning.lanes > kMaxLanes ||
                   !kernelRuns(tuning.kernel) ||
                   static_cast<int>(tuning.decodeTable) <
                       static_cast<int>(DecodeTable::automatic) ||
                   static_cast<int>(tuning.decodeTable) > static_cast<int>(DecodeTable::large)
               ? Status::invalidArgument
               : Status::ok;
}

DecodePlan decodePlanFor(const Settings& settings, std::uint64_t symbolCount,
                         std::uint64_t bodyBits, int leafCount) {
    const Tuning& tuning = settings.tuning;
    DecodePlan plan;
    plan.lanes = tuning.lanes != 0 ? tuning.lanes : lanesFor(symbolCount, bodyBits);
    // A body smaller than a segment is one segment of its own size: the
    // lanes' output regions follow the segment, and a small call should not
    // set aside (and fault in) a large one's.
    const std::uint64_t bodyBytes = (bodyBits + 7) / 8;
    plan.segmentBytes = std::clamp(
        tuning.segmentBytes != 0
            ? tuning.segmentBytes
            : static_cast<std::size_t>(std::min<std::uint64_t>(kDefaultSegmentBytes, bodyBytes)),
        SpanDecoder::kMinSegmentBytes, SpanDecoder::kMaxSegmentBytes);
    plan.chunkBytes = tuning.decodeChunkBytes != 0
                          ? std::clamp(tuning.decodeChunkBytes, SpanDecoder::kMinSegmentBytes,
                                       SpanDecoder::kMaxSegmentBytes)
                          : defaultChunkBytes(symbolCount, bodyBits);
    plan.workers = workersOf(settings);
    // Small bodies, and codes of zero bits, start no threads.
    plan.threaded = plan.workers.threadCount > 1 && leafCount > 1 &&
                    symbolCount >= threadedFrom(tuning.decodeChunkBytes);
    plan.kernel = kernelOf(tuning);
    return plan;
}

TableKind decodeTableFor(const Tuning& tuning, std::uint64_t symbolCount, std::uint64_t bodyBits) {
    switch (tuning.decodeTable) {
        case DecodeTable::single:
            return {DecodeTables::kSmallIndexBits, 1};
        case DecodeTable::pairs:
            return {DecodeTables::kSmallIndexBits, 2};
        case DecodeTable::runs:
            return {DecodeTables::kSmallIndexBits, DecodeTables::kMaxRun};
        case DecodeTable::large:
            return DecodeTables::kLargest;
        case DecodeTable::automatic:
            break;
    }
    // A table costs about a nanosecond an entry to build, and each kind
    // gives more symbols a lookup than the one before (huffcodec_block_bench
    // FILE 3 BLOCK KIND over text, executables and skewed bytes, alternated):
    // single won at 4 KiB, pairs from 16 to 128 KiB, runs there where codes
    // average under 3 bits (up to 7 a lookup), the large table from 1 MiB.
    if (symbolCount < kSingleTableBelow) {
        return {DecodeTables::kSmallIndexBits, 1};
    }
    if (symbolCount < kSmallTableBelow) {
        const bool shortCodes = bodyBits < kShortCodeBits * symbolCount;
        return {DecodeTables::kSmallIndexBits, shortCodes ? DecodeTables::kMaxRun : 2};
    }
    return DecodeTables::kLargest;
}

EncodePlan encodePlanFor(const Settings& settings) {
    const std::size_t chosen = settings.tuning.encodeChunkBytes;
    EncodePlan plan;
    if (chosen != 0) {
        plan.chunkBytes = std::clamp(chosen, kMinEncodeChunkBytes, kMaxEncodeChunkBytes);
        plan.threadedFrom = threadedFrom(plan.chunkBytes);
    }
    plan.workers = workersOf(settings);
    plan.kernel = kernelOf(settings.tuning);
    return plan;
}

}  // namespace huffcodec
