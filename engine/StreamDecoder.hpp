// SPDX-License-Identifier: MIT
//
// The streaming driver of the decoder: keeps an input block topped up from a
// read callback (or borrows a body in memory), hands whole output blocks and
// segment pieces to a write callback, and leaves the decoding to the span
// decoder and the bit-lane kernels. Memory stays bounded whatever the size.
#ifndef HUFFCODEC_ENGINE_STREAMDECODER_HPP
#define HUFFCODEC_ENGINE_STREAMDECODER_HPP

#include <cstddef>
#include <cstdint>

#include "DecodeTables.hpp"
#include "Plan.hpp"
#include "SpanDecoder.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

struct BodyResult {
    Status status;  // ok, truncatedBody, readError, writeError or internalError
    std::uint64_t symbolsWritten;
    std::uint64_t bitsConsumed;  // bits of every whole code decoded
};

// Decodes symbolCount symbols of a body read through read (or held in memory)
// and hands them to write. One object serves one call.
class StreamDecoder {
public:
    // Takes the plan's lanes, segment size and kernel; the rest of it is the
    // threaded decoder's.
    StreamDecoder(const DecodeTables& tables, const DecodePlan& plan);

    // startBit: bits of the first byte that are not part of this body's codes
    // (they were decoded before); bitsConsumed counts them. A read error ends
    // the input there, as the end of a cut body would: every code the bytes
    // read complete is written, and the status is readError where it would
    // have been truncatedBody.
    BodyResult decode(std::uint64_t symbolCount, const ReadFn& read, const WriteFn& write,
                      DecodeStats& stats, unsigned startBit = 0);
    // Allocates now what decode() through a ReadFn needs, so that a caller
    // who decodes the end of a body with it after other work holds that
    // memory from the start; decode() allocates nothing more after it.
    void reserve();

    // The same over a body in memory, which is not copied.
    BodyResult decode(std::uint64_t symbolCount, const std::uint8_t* body, std::size_t size,
                      const WriteFn& write, DecodeStats& stats, unsigned startBit = 0);

    // The body handed over in pieces by a caller that holds the loop: start(),
    // then feed() and resume() in turn while waiting() says why it stopped.
    // resume() returns after every write, so that the caller can take the
    // output before more is made.
    enum class Wait { none, input, output };
    void start(std::uint64_t symbolCount, const WriteFn& write);
    // Takes as many of size bytes as the input block has room for and
    // returns their number; last: no input follows these.
    std::size_t feed(const std::uint8_t* data, std::size_t size, bool last);
    BodyResult resume(DecodeStats& stats);
    Wait waiting() const { return wait; }

private:
    BodyResult run(std::uint64_t symbolCount, DecodeStats& stats);
    BodyResult finish(Status status) const;
    void reserveWorkspace();  // the lanes' regions, once
    void compact();
    void topUp();
    bool flushOutput();

    const DecodeTables& tables;
    int laneCount;
    Kernel kernel;
    SpanDecoder spans;
    const ReadFn* read = nullptr;
    const WriteFn* write = nullptr;

    ByteBuffer inputBlock;             // owned input, when reading through read
    std::size_t inputCapacity = 0;     // its size
    const std::uint8_t* in = nullptr;  // inputBlock, or the borrowed body
    std::size_t inEnd = 0;             // end of the valid bytes at in
    std::uint64_t inBase = 0;          // offset in the body of in[0]
    bool inputDone = false;            // no more input to come
    bool readFailed = false;           // it ended with a read error
    lanes::Lane state{};               // the true state; its out points into output
    ByteBuffer output;
    std::uint64_t written = 0;  // symbols handed to write
    DecodeWorkspace workspace;
    bool workspaceReady = false;
    // Fed in pieces: the symbols to decode, why resume() stopped, and whether
    // anything was written since it was called.
    bool pushed = false;
    std::uint64_t pushedSymbols = 0;
    Wait wait = Wait::none;
    bool wrote = false;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_STREAMDECODER_HPP
