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

// Copies what a caller's struct holds whole by its size field into
// settings, the defaults kept for the rest: an older caller's struct ends
// before the members it does not know, and a newer caller's members past the
// ones known here are never read. The C++ and the C options differ only in
// their types; tuningOf and poolOf convert.
template <class Given, class TuningOf, class PoolOf>
void readKnownMembers(const Given& given, std::size_t size, Settings& settings, TuningOf&& tuningOf,
                      PoolOf&& poolOf) {
    settings = Settings{};
    const auto holds = [size](std::size_t offset, std::size_t bytes) {
        return size >= offset + bytes;
    };
    const auto offsetOf = [&given](const auto& member) {
        return static_cast<std::size_t>(reinterpret_cast<const char*>(&member) -
                                        reinterpret_cast<const char*>(&given));
    };
    if (holds(offsetOf(given.threads), sizeof given.threads)) {
        settings.threads = given.threads;
    }
    if (holds(offsetOf(given.pool), sizeof given.pool)) {
        settings.pool = poolOf(given.pool);
    }
    if (holds(offsetOf(given.tuning), sizeof given.tuning) && given.tuning != nullptr) {
        settings.tuning = tuningOf(*given.tuning);
    }
}

}  // namespace

Settings settingsOf(const huffcodec_options* options) {
    Settings settings;
    if (options != nullptr) {
        readKnownMembers(
            *options, options->struct_size, settings,
            [](const huffcodec_tuning& given) {
                Tuning tuning;
                tuning.lanes = given.lanes;
                tuning.segmentBytes = given.segment_bytes;
                tuning.decodeChunkBytes = given.decode_chunk_bytes;
                tuning.encodeChunkBytes = given.encode_chunk_bytes;
                tuning.kernel = static_cast<Kernel>(given.kernel);
                tuning.decodeTable = static_cast<DecodeTable>(given.decode_table);
                return tuning;
            },
            [](huffcodec_pool* pool) { return pool != nullptr ? &pool->pool : nullptr; });
    }
    return settings;
}

Status settingsOf(const Options& options, Settings& settings) {
    readKnownMembers(
        options, options.structSize, settings, [](const Tuning& tuning) { return tuning; },
        [](ThreadPool* pool) { return pool; });
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
