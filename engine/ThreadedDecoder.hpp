// SPDX-License-Identifier: MIT
//
// Decoding one body on several threads. The format has no blocks, but a prefix
// code falls into step by itself: the body is cut into chunks at byte
// boundaries, and worker threads decode each chunk as one segment of lanes, as
// if a code started at its first bit. In chunk order, the calling thread
// steps the true state at the end of one chunk onto a code start of the next
// chunk; from there the next chunk's symbols are the true ones, and they are
// written while later chunks are still being decoded and read. If a chunk is
// not met within the window, or the end of the body is near, the rest is
// decoded on the calling thread from the true state: slower, never different.
#ifndef HUFFCODEC_ENGINE_THREADEDDECODER_HPP
#define HUFFCODEC_ENGINE_THREADEDDECODER_HPP

#include <cstddef>
#include <cstdint>

#include "DecodeTables.hpp"
#include "StreamDecoder.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// A chunk of B body bytes gives at most 8 B / (shortest code length)
// symbols, all held until they are written: by default, chunks are as large
// as keeps that bound at kChunkOutputBytes, within the limits below.
inline constexpr std::size_t kChunkOutputBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMinChunkBytes = std::size_t{64} << 10;
inline constexpr std::size_t kMaxChunkBytes = std::size_t{1} << 20;
// Bodies of fewer original bytes than this are decoded on one thread:
// starting threads would cost more than they save.
inline constexpr std::uint64_t kMinThreadedSymbols = std::uint64_t{4} << 20;

// The chunk size options asks for, or the default for tables.
std::size_t chunkBytesFor(const DecodeTables& tables, const Options& options);

// Decodes symbolCount symbols of a body read through read on threadCount
// worker threads (2 or more) and hands them to write in order.
BodyResult decodeThreaded(const DecodeTables& tables, const Options& options, int threadCount,
                          std::uint64_t symbolCount, const ReadFn& read, const WriteFn& write,
                          DecodeStats& stats);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_THREADEDDECODER_HPP
