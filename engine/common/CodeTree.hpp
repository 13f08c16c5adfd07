// SPDX-License-Identifier: MIT
//
// The code a count table gives, built by the engine itself: the format's
// pairing over index arrays, with one allocation in all and no assertion.
// The two waiting nodes of smallest count are paired, ties going to the
// smaller symbol; the first becomes the 0 branch and lends the new node its
// symbol. Every entry that is not 0 gets a leaf, so the result is the same as
// the reference tree's for any table, valid or not.
#ifndef HUFFCODEC_ENGINE_CODETREE_HPP
#define HUFFCODEC_ENGINE_CODETREE_HPP

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/Format.hpp"

namespace huffcodec {

using CountTable = std::array<std::int32_t, format::kSymbols>;

class CodeTree {
public:
    // A child entry below 0 is the leaf of symbol ~entry.
    using Children = std::array<std::int16_t, 2>;

    // Throws std::bad_alloc if the builder's scratch cannot be allocated.
    explicit CodeTree(const CountTable& counts);

    // 0 (no symbols), 1 (codes of no bits) or more.
    int leafCount() const { return leaves; }
    // The symbol of the only leaf, when there is one.
    std::uint8_t onlySymbol() const { return only; }
    bool hasLeaf(std::uint8_t symbol) const { return present[symbol] != 0; }
    // Bits of the symbol's code; 0 without a leaf or with one leaf.
    int length(std::uint8_t symbol) const { return lengths[symbol]; }
    int maxLength() const { return deepest; }
    // The code in stream order, its first bit in bit 0; only the first 64
    // bits of a longer code (which no valid header gives).
    std::uint64_t code(std::uint8_t symbol) const { return codes[symbol]; }
    // The inner nodes, the root at 0, leafCount() - 1 of them.
    const Children& inner(int node) const { return innerNodes[static_cast<std::size_t>(node)]; }

private:
    std::array<std::uint64_t, format::kSymbols> codes{};
    std::array<std::uint8_t, format::kSymbols> lengths{};
    std::array<std::uint8_t, format::kSymbols> present{};
    std::array<Children, format::kSymbols - 1> innerNodes{};
    int leaves = 0;
    int deepest = 0;
    std::uint8_t only = 0;
};

// The bits the codes of counted bytes take: counts[v] bytes of value v, each
// of lengthOf(v) bits. For any table of 256 counts, whole or a chunk's.
template <class Counts, class LengthOf>
std::uint64_t codeBitsOf(const Counts& counts, const LengthOf& lengthOf) {
    std::uint64_t bits = 0;
    for (std::size_t v = 0; v < format::kSymbols; ++v) {
        bits += static_cast<std::uint64_t>(counts[v]) *
                static_cast<std::uint64_t>(lengthOf(static_cast<std::uint8_t>(v)));
    }
    return bits;
}

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_CODETREE_HPP
