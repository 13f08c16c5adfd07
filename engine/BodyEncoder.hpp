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

#include "CodeTree.hpp"
#include "Format.hpp"

namespace huffcodec {

// Codes are kept bit-reversed into stream order (first code bit in bit 0), so
// appending one is an OR and a shift. Every code must be at most kMaxCodeBits
// long: with up to 7 bits of an unfinished byte carried, a store leaves the
// accumulator shifted by less than 64. Every valid header's tree qualifies.
// Copies share the code table, which is on the heap: an encoder is copied for
// every part encoded on its own, on threads with small stacks too.
class BodyEncoder {
public:
    static constexpr int kMaxCodeBits = 64 - 8;
    static_assert(format::kMaxCodeLength <= kMaxCodeBits);

    explicit BodyEncoder(const CodeTree& code);

    int maxCodeLength() const { return maxLength; }
    int codeLength(std::uint8_t symbol) const { return table->lengths[symbol]; }
    bool supportsTree() const { return maxLength <= kMaxCodeBits; }

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

private:
    template <int kSymbolsPerStore>
    std::size_t encodeGroups(const std::uint8_t* data, std::size_t size, std::uint8_t* out);

    struct CodeTable {
        std::array<std::uint64_t, 256> codes{};
        std::array<std::uint8_t, 256> lengths{};
        std::array<std::uint8_t, 256> uncoded{};  // 1 for a byte value without a leaf
    };
    std::shared_ptr<const CodeTable> table;
    int maxLength = 0;
    std::uint64_t pending = 0;  // bits of the unfinished byte, in its low bits
    unsigned pendingBits = 0;   // 0 to 7
    bool sawUncoded = false;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BODYENCODER_HPP
