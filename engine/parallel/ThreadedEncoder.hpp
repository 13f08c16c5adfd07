// SPDX-License-Identifier: MIT
//
// Encoding one input on several threads. The first pass counts every chunk of
// the input, the calling thread reading and worker threads counting; so the
// code lengths tell where each chunk's codes start in the body before the
// chunk is read again. Worker threads encode chunks into
// buffers of their own at those bit offsets; the calling thread reads the
// chunks, merges the byte two neighbouring chunks share, and writes the
// buffers in order.
#ifndef HUFFCODEC_ENGINE_THREADEDENCODER_HPP
#define HUFFCODEC_ENGINE_THREADEDENCODER_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Plan.hpp"
#include "encode/BodyEncoder.hpp"
#include "huffcodec/huffcodec.hpp"
#include "parallel/Workers.hpp"

namespace huffcodec {

using ChunkCountTable = std::array<std::uint32_t, 256>;

// The input as the pipelines take it: read through read into their slots, or
// held in memory at data (read is then null), which the slots point into.
struct EncodeSource {
    const ReadFn* read = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// Reads all of the input and appends the counts of each chunk
// of plan.chunkBytes (at most kMaxEncodeChunkBytes) to chunks, counting on
// the plan's workers once plan.threadedFrom bytes have been read (a smaller
// input starts no thread). total receives the bytes read. Returns ok,
// readError or inputTooLarge.
Status countChunks(const EncodeSource& source, const EncodePlan& plan,
                   std::vector<ChunkCountTable>& chunks, std::int64_t& total);

// The bits of each chunk's codes, from its counts.
std::vector<std::uint64_t> chunkBitsOf(const BodyEncoder& encoder,
                                       const std::vector<ChunkCountTable>& counts);

// Reads the input and writes its body (not the header) through write, encoding chunk k of
// chunkBytes on the workers' threads. counts[k] are chunk k's counts from the first pass, which
// used the same chunkBytes. The result counts the input bytes consumed and the body bytes produced.
StreamResult encodeThreaded(const BodyEncoder& encoder, const std::vector<ChunkCountTable>& counts,
                            std::size_t chunkBytes, const Workers& workers,
                            const EncodeSource& source, const WriteFn& write);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_THREADEDENCODER_HPP
