// SPDX-License-Identifier: MIT
//
// Table-driven encoding of a compressed body: the fast path of compress.
// Writes the codes of a CodeTree, bit-packed least significant bit first,
// from a table of codes and a 64-bit accumulator.
#ifndef HUFFCODEC_ENGINE_BODYENCODER_HPP
#define HUFFCODEC_ENGINE_BODYENCODER_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/ByteCode.hpp"
#include "common/CodeTree.hpp"
#include "common/Format.hpp"

namespace huffcodec {

// Codes are kept bit-reversed into stream order (first code bit in bit 0), so
// appending one is an OR and a shift. Every code must be at most kMaxCodeBits
// long: with up to 7 bits of an unfinished byte carried, a store leaves the
// accumulator shifted by less than 64. Every valid header's tree qualifies.
// Copies share the code tables, which are on the heap: an encoder is copied
// for every part encoded on its own, on threads with small stacks too.
//
// For large inputs a second table holds the codes of every pair of byte
// values, so that one lookup appends two codes; pairs whose codes are long
// or missing take the one-code path.
class BodyEncoder {
public:
    static constexpr int kMaxCodeBits = 64 - 8;
    static_assert(format::kMaxCodeLength <= kMaxCodeBits);

    // Inputs from this many bytes on get the pair table: its 256 KiB take a
    // tenth of a millisecond or more to fill and touch, and pairs save about
    // 0.4 ns a byte (40 MB of text: 41 ms on one code a lookup, 26 ms on
    // pairs), so a smaller input would not win it back.
    static constexpr std::uint64_t kPairTableFrom = std::uint64_t{1} << 20;

    // inputBytes: how much this encoder and its copies will encode in all,
    // which decides whether the pair table pays.
    explicit BodyEncoder(const CodeTree& code, std::uint64_t inputBytes = 0);

    int maxCodeLength() const { return maxLength; }
    int codeLength(std::uint8_t symbol) const { return table->lengths[symbol]; }
    bool supportsTree() const { return maxLength <= kMaxCodeBits; }
    bool hasPairTable() const { return table->pairs != nullptr; }

    // Size out must have for encode() of size bytes: the whole codes plus
    // room for eight-byte stores.
    std::size_t outputBound(std::size_t size) const {
        return (size * static_cast<std::size_t>(maxLength) + 7) / 8 + 16;
    }

    // Appends the codes of data and returns the number of whole bytes stored
    // at out; bits of an unfinished byte carry over to the next call.
    std::size_t encode(const std::uint8_t* data, std::size_t size, std::uint8_t* out);

    // Stores the unfinished byte, zero-padded, if there is one; returns 0 or 1.
    std::size_t finish(std::uint8_t* out);

    // Starts a fresh body part whose first code goes at bit offset (0 to 7)
    // of its first byte; the bits below it stay 0, for the byte it shares
    // with the part before.
    void startAt(unsigned offset) {
        pending = 0;
        pendingBits = offset & 7;
    }
    // Bits of the unfinished byte (what finish() would pad).
    unsigned unfinishedBits() const { return pendingBits; }

    // True once encode() has met a byte value without a code (a count of 0).
    bool sawSymbolWithoutCode() const { return sawUncoded; }

    // The kernel whose loops this encoder (not its copies made before) runs:
    // the plan's, which the processor runs; portable until then.
    void useKernel(Kernel chosen) { kernel = chosen; }

    // An entry of the code table: the code above bit 8, its length in the
    // low bits, and kUncoded for a byte value without a leaf (no code).
    static constexpr std::uint64_t kLengthMask = 0x3F;
    static constexpr std::uint64_t kUncoded = 0x80;

    struct CodeTable {
        std::array<std::uint64_t, 256> codes{};
        std::array<std::uint8_t, 256> lengths{};  // in full, for trees too deep to encode
        // Indexed by two bytes as a little-endian 16-bit value: the codes of
        // both above bit 8, their total length in the low bits; kOnePairAtATime
        // where either code is missing or both take more than kMaxPairBits.
        std::unique_ptr<std::uint32_t[]> pairs;
        // Every byte value's code is eight bits long (see ByteCode.hpp): then
        // byte v encodes as byte codeBytes[v] wherever the bits are whole.
        bool byteCode = false;
        ByteTable codeBytes{};
    };

private:
    std::shared_ptr<const CodeTable> table;
    int maxLength = 0;
    std::uint64_t pending = 0;  // bits of the unfinished byte, in its low bits
    unsigned pendingBits = 0;   // 0 to 7
    bool sawUncoded = false;
    Kernel kernel = Kernel::portable;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BODYENCODER_HPP
