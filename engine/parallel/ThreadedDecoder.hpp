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

#include "common/Plan.hpp"
#include "decode/DecodeTables.hpp"
#include "decode/SpanDecoder.hpp"
#include "decode/StreamDecoder.hpp"
#include "huffcodec/huffcodec.hpp"
#include "parallel/Workers.hpp"

namespace huffcodec {

// A chunk's slot also holds the first bytes of the next chunk: the last lane
// runs past the chunk's end, and the true state meets the next chunk within
// SpanDecoder::kWindowBits of its start. A chunk goes to a worker once the
// next one has supplied this tail, so with smaller chunks every chunk is
// decoded on the calling thread.
inline constexpr std::size_t kChunkTailBytes =
    SpanDecoder::kWindowBits / 8 + 2 * SpanDecoder::kSegmentReserveBytes;

// Decodes symbolCount symbols of a body of bodyBits bits (as its header
// says) read through read on the workers' threads, the calling one included,
// and hands them to output in order, in chunks of plan.chunkBytes. Memory follows the threads that
// can run at once and the body's chunks, whichever are fewer. A read error ends the body where it
// struck, as StreamDecoder does. unused, when given, receives what was read past the byte that
// holds the body's last bit once the body has ended ok, as StreamDecoder::decode gives it.
// The plan decides whether the body is shared out at all (plan.threaded, never
// for codes of zero bits or one thread): where it is not, the calling thread
// decodes it alone.
BodyResult decodeThreaded(const DecodeTables& tables, const DecodePlan& plan,
                          std::uint64_t symbolCount, std::uint64_t bodyBits, const ReadFn& read,
                          const BodyOutput& output, DecodeStats& stats,
                          const WriteFn* unused = nullptr);
// The same over a body of size bytes in memory, read in place: the chunks
// are decoded where they lie, and only the decoded symbols are copied:
// into the target once each, where the output is one.
BodyResult decodeThreaded(const DecodeTables& tables, const DecodePlan& plan,
                          std::uint64_t symbolCount, const std::uint8_t* body, std::size_t size,
                          const BodyOutput& output, DecodeStats& stats);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_THREADEDDECODER_HPP
