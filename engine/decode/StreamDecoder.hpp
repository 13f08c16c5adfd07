// SPDX-License-Identifier: MIT
//
// The streaming driver of the decoder: takes input in pieces into its own
// block (or borrows a body in memory), hands whole output blocks and segment
// pieces to a write callback (or decodes straight into a caller's memory),
// and leaves the decoding to the span decoder and the bit-lane kernels.
// Memory stays bounded whatever the size.
#ifndef HUFFCODEC_ENGINE_STREAMDECODER_HPP
#define HUFFCODEC_ENGINE_STREAMDECODER_HPP

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/Plan.hpp"
#include "decode/DecodeTables.hpp"
#include "decode/SpanDecoder.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

struct BodyResult {
    Status status;  // ok, truncatedBody, readError, writeError or internalError
    std::uint64_t symbolsWritten;
    std::uint64_t bitsConsumed;  // bits of every whole code decoded
};

// Where a body's symbols go: handed to write, or, where write is null,
// straight into the capacity bytes at target, which hold them all.
struct BodyOutput {
    BodyOutput(const WriteFn& writeFn) : write(&writeFn) {}  // NOLINT: a WriteFn is an output
    BodyOutput(std::uint8_t* into, std::size_t room) : target(into), capacity(room) {}
    // The same output once count symbols have gone to it.
    BodyOutput after(std::uint64_t count) const {
        return write != nullptr
                   ? *this
                   : BodyOutput(target + count, capacity - static_cast<std::size_t>(count));
    }
    // Hands on size symbols once count have gone: false where write refuses
    // them or the target has no room for them. No symbols call nothing.
    bool put(std::uint64_t count, const std::uint8_t* data, std::size_t size) const {
        if (size == 0) {
            return true;
        }
        if (write != nullptr) {
            return (*write)(data, size);
        }
        if (size > capacity - count) {
            return false;
        }
        std::memcpy(target + count, data, size);
        return true;
    }

    const WriteFn* write = nullptr;
    std::uint8_t* target = nullptr;
    std::size_t capacity = 0;
};

// Decodes symbolCount symbols of one body. The engine is driven from outside:
// start(), then input given (feed, or inputSpace and commit, or the whole body
// in memory with borrow) and resume() called in turn while waiting() says why
// it stopped. resume() returns after every write, so that a caller who holds
// the loop can take the output before more is made. The decode() calls are
// those loops, for a body read through a callback or held in memory.
// One object serves one body.
class StreamDecoder {
public:
    // Takes the plan's lanes, segment size and kernel; the rest of it is the
    // threaded decoder's.
    StreamDecoder(const DecodeTables& tables, const DecodePlan& plan);

    // Symbols go to a write callback in blocks and segment pieces, or into
    // the target, where nothing waits for output. startBit: bits of the first
    // byte that are not part of this body's codes (they were decoded before);
    // bitsConsumed counts them.
    void start(std::uint64_t symbolCount, const BodyOutput& output, unsigned startBit = 0);

    // Takes as many of size bytes as the input block has room for and
    // returns their number; last: no input follows these.
    std::size_t feed(const std::uint8_t* data, std::size_t size, bool last);
    // The input block's free room: at least kInputBlockBytes before any input
    // and while the decoder waits for input. commit() says how many bytes
    // were put there and whether input ends with them.
    struct Room {
        std::uint8_t* data;
        std::size_t size;
    };
    Room inputSpace();
    enum class InputEnd { more, last, failed };
    void commit(std::size_t bytes, InputEnd end);
    // The whole body in memory, not copied: the only input, given once.
    void borrow(const std::uint8_t* body, std::size_t size);
    // The caller has no more input to give for now: until more comes,
    // resume() decodes every code the input fed so far completes before it
    // waits for input (what is short of a whole segment as a shorter one,
    // the last bytes on one chain, code by code). Without it, the decoder
    // waits while fewer bytes than a segment needs are unread, which keeps
    // the lanes on whole segments when input comes in large pieces.
    void drain() { draining = true; }
    bool isDraining() const { return draining; }

    enum class Wait { none, input, output };
    BodyResult resume(DecodeStats& stats);
    Wait waiting() const { return wait; }

    // Allocates now what decoding fed input needs, so that a caller who
    // decodes the end of a body with it after other work holds that memory
    // from the start; nothing more is allocated after it.
    void reserve();

    // The loops over the above. Through read: a read error ends the input
    // there, as the end of a cut body would: every code the bytes read
    // complete is written, and the status is readError where it would have
    // been truncatedBody. unused, when given, receives the bytes read past
    // the byte that holds the body's last bit once the body has ended ok (a
    // failed write there gives writeError).
    BodyResult decode(std::uint64_t symbolCount, const ReadFn& read, const BodyOutput& output,
                      DecodeStats& stats, unsigned startBit = 0, const WriteFn* unused = nullptr);
    BodyResult decode(std::uint64_t symbolCount, const std::uint8_t* body, std::size_t size,
                      const BodyOutput& output, DecodeStats& stats, unsigned startBit = 0);

    // What inputSpace() gives at least, and the read decode() asks for.
    static constexpr std::size_t kInputBlockBytes = std::size_t{1} << 18;

private:
    BodyResult finish(Status status) const;
    // result, once unused has taken the input past the last code's byte.
    BodyResult handBackUnused(const BodyResult& result, const WriteFn& unused) const;
    BodyResult decodeFed(DecodeStats& stats);
    void reserveInput();
    void reserveOutput();     // the block output waits in for write
    void reserveWorkspace();  // the lanes' regions, once
    void compact();
    bool flushOutput();

    const DecodeTables& tables;
    int laneCount;
    Kernel kernel;
    SpanDecoder spans;
    const WriteFn* write = nullptr;  // null: output straight into the target

    ByteBuffer inputBlock;             // owned input, when it is fed
    std::size_t inputCapacity = 0;     // its size
    const std::uint8_t* in = nullptr;  // inputBlock, or the borrowed body
    std::size_t inEnd = 0;             // end of the valid bytes at in
    std::uint64_t inBase = 0;          // offset in the body of in[0]
    bool inputDone = false;            // no more input to come
    bool readFailed = false;           // it ended with a read error
    bool draining = false;             // see drain(); until more input comes
    unsigned startAt = 0;              // startBit, until the first input is there
    lanes::Lane state{};               // the true state; its out points into the output
    ByteBuffer outputBlock;            // output on its way to write
    std::uint8_t* outStart = nullptr;  // the first symbol not handed on yet
    std::uint8_t* outLimit = nullptr;  // the end of the output room
    std::uint64_t symbols = 0;         // to decode
    std::uint64_t written = 0;         // symbols handed on
    DecodeWorkspace workspace;
    bool workspaceReady = false;
    Wait wait = Wait::none;
    bool wrote = false;  // since resume() was called
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_STREAMDECODER_HPP
