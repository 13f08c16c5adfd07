// SPDX-License-Identifier: MIT
//
// The single-thread encoding layer: the code of counted data applied block
// by block, with the checks that the data is what was counted (no more bytes
// than the counts add up to, each chunk's codes as long as its counts say,
// and at the end the size, the bytes without a code and the body's length).
// It takes input in pieces and leaves output in a block of its own, so the
// Encoder's read loop, the CompressStream and compress() in memory all drive
// the same steps.
#ifndef HUFFCODEC_ENGINE_STREAMENCODER_HPP
#define HUFFCODEC_ENGINE_STREAMENCODER_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/ByteBuffer.hpp"
#include "encode/BodyEncoder.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

class StreamEncoder {
public:
    // Input is taken in blocks of at most this many bytes.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 17;

    // code: the counted data's code; total and bodyBits: the bytes the
    // counts add up to and the bits of their codes.
    StreamEncoder(const BodyEncoder& code, std::uint64_t total, std::uint64_t bodyBits,
                  Kernel kernel);

    // Also checks each chunk of chunkBytes input bytes against the bits its
    // counts give (chunkBits[k] for chunk k), as the threads check them, so
    // that a failure does not depend on the thread count.
    void checkChunks(std::vector<std::uint64_t> chunkBits, std::uint64_t chunkBytes);

    // The most bytes the next encode() takes: kBlockBytes (or the counted
    // total, where that is less: a small input's codes need no large
    // block), or fewer up to the end of the chunk being checked.
    std::size_t nextBlockBytes() const;
    // The most nextBlockBytes() ever gives.
    std::size_t largestBlockBytes() const { return blockBytes; }

    // Encodes size bytes (at most nextBlockBytes()) of data into output(),
    // which then holds produced bytes. inputChanged once the data goes past
    // the counted total, or a chunk's codes take other bits than counted.
    Status encode(const std::uint8_t* data, std::size_t size, std::size_t& produced);

    // Adds the padded last byte, if any, to the produced bytes in output().
    // inputChanged when the data was not what was counted.
    Status finish(std::size_t& produced);

    // The step every face drives the encoder by, with its input read into a
    // block, borrowed in memory, or fed by the caller: encodes the first
    // used = min(size, nextBlockBytes()) bytes of data into output(), and
    // where the input ends with data (endsInput) and all of it was taken,
    // finishes too. Call again with the rest until ended().
    Status encodeNext(const std::uint8_t* data, std::size_t size, bool endsInput, std::size_t& used,
                      std::size_t& produced);
    bool ended() const { return finished; }

    const std::uint8_t* output() const { return encoded.data(); }
    // Input bytes taken.
    std::uint64_t consumed() const { return taken; }

private:
    BodyEncoder encoder;  // carries the bits of an unfinished byte
    std::uint64_t total;
    std::uint64_t bodyBits;
    std::size_t blockBytes;
    ByteBuffer encoded;
    std::uint64_t taken = 0;
    std::uint64_t bits = 0;  // of the codes given out, before padding
    std::vector<std::uint64_t> chunkBits;
    std::uint64_t chunkBytes = UINT64_MAX;
    std::size_t chunk = 0;
    std::uint64_t chunkEnd = UINT64_MAX;  // input offset where the chunk checked ends
    std::uint64_t chunkEndBits = 0;       // the bits of the codes up to there
    bool finished = false;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_STREAMENCODER_HPP
