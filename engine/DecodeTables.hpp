// SPDX-License-Identifier: MIT
//
// Decode tables, built once from a code and never changed after: every
// decoding thread and lane reads the same ones.
#ifndef HUFFCODEC_ENGINE_DECODETABLES_HPP
#define HUFFCODEC_ENGINE_DECODETABLES_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ByteCode.hpp"
#include "CodeTree.hpp"

namespace huffcodec {

// Each entry is indexed by the next kIndexBits bits of the body (the first bit
// in bit 0) and tells every whole code those bits hold, up to kMaxRun of them;
// codes longer than kIndexBits finish with a walk over a flat copy of the tree.
class DecodeTables {
public:
    static constexpr int kIndexBits = 13;
    static constexpr int kMaxRun = 7;  // symbols in the low bytes of a run, their number on top
    static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr std::size_t kSize = std::size_t{1} << kIndexBits;

    explicit DecodeTables(const CodeTree& code);

    // Leaves of the tree: 0 (no symbols), 1 (codes of zero bits) or more.
    int leafCount() const { return leaves; }
    std::uint8_t onlySymbol() const { return only; }
    // Length of the shortest code; bounds the symbols a number of bits holds.
    int minLength() const { return shortest; }
    // Every byte value has a code of eight bits (256 leaves, none shorter):
    // each body byte is one code, whose symbol byteSymbols() gives.
    bool byteCode() const { return leaves == format::kSymbols && shortest == 8; }
    const ByteTable& byteSymbols() const { return byteSymbolTable; }

    // Index i: total length of the codes in runs[i], or 0 when the first code
    // is longer than kIndexBits. Alone on the critical path, so a byte.
    const std::uint8_t* runBits() const {
        return reinterpret_cast<const std::uint8_t*>(lookupTable.data() + kSize);
    }
    static_assert(sizeof(std::uint64_t) * kSize % alignof(std::uint64_t) == 0);
    // Index i: up to kMaxRun symbols in the low bytes and their number in the
    // top byte; for a long first code, the flat node reached after kIndexBits.
    const std::uint64_t* runs() const { return lookupTable.data(); }
    // Index i: the first code alone, (length << 8) | symbol; length 0 when
    // longer than kIndexBits.
    const std::uint16_t* firstCodes() const { return firstCodesTable.data(); }
    // Inner nodes of the tree; a child below 0 is the leaf of symbol ~child.
    const std::array<std::int16_t, 2>* nodes() const { return nodesTable.data(); }

private:
    // runs() and then runBits() in one block, at a fixed distance from each
    // other: a hot loop addresses both from one register.
    std::vector<std::uint64_t> lookupTable;
    std::vector<std::uint16_t> firstCodesTable;
    std::vector<std::array<std::int16_t, 2>> nodesTable;
    ByteTable byteSymbolTable{};
    int leaves = 0;
    int shortest = 1;
    std::uint8_t only = 0;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_DECODETABLES_HPP
