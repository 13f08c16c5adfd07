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

#include "BodyEncoder.hpp"
#include "WorkerPool.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// Input bytes of one chunk, as countBytes counts them by default, and the
// smallest and largest chunk it takes when the caller chooses one (tests,
// benchmarks). A chunk the calling thread has just read is still in the cache
// when a worker counts or encodes it: against 512 KiB, chunks of 128 KiB made
// compress of 32 to 64 MiB on two threads 1.2 to 1.4 times as fast, one
// thread 2 to 4%, for 8 KiB of chunk counts per MiB of input instead of 2.
inline constexpr std::size_t kEncodeChunkBytes = std::size_t{128} << 10;
inline constexpr std::size_t kMinEncodeChunkBytes = 64;
inline constexpr std::size_t kMaxEncodeChunkBytes = std::size_t{512} << 10;
using ChunkCountTable = std::array<std::uint32_t, 256>;

// Reads all of the input through read and appends the counts of each chunk
// of chunkBytes (at most kMaxEncodeChunkBytes) to chunks, counting on the
// workers' threads once threadedFrom bytes have been read (a smaller input
// starts no thread). total receives the bytes read. Returns ok, readError or
// inputTooLarge.
Status countChunks(const ReadFn& read, const Workers& workers, std::size_t chunkBytes,
                   std::uint64_t threadedFrom, std::vector<ChunkCountTable>& chunks,
                   std::int64_t& total);

// The bits of each chunk's codes, from its counts.
std::vector<std::uint64_t> chunkBitsOf(const BodyEncoder& encoder,
                                       const std::vector<ChunkCountTable>& counts);

// Reads the input through read and writes its body (not the header) through
// write, encoding chunk k of chunkBytes on the workers' threads.
// counts[k] are chunk k's counts from the first pass, which used the same
// chunkBytes. Returns bodyBytes written and input bytes consumed in the
// result.
StreamResult encodeThreaded(const BodyEncoder& encoder, const std::vector<ChunkCountTable>& counts,
                            std::size_t chunkBytes, const Workers& workers, const ReadFn& read,
                            const WriteFn& write);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_THREADEDENCODER_HPP
