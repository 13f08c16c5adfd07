// SPDX-License-Identifier: MIT
//
// Decode tables, built once from a code and never changed after: every
// decoding thread and lane reads the same ones. Their size is chosen per body
// (see api/Planning.hpp): building costs about a table entry's worth of work per
// entry, so a small body gets a small table and a large one a table that
// takes more symbols a lookup.
#ifndef HUFFCODEC_ENGINE_DECODETABLES_HPP
#define HUFFCODEC_ENGINE_DECODETABLES_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/ByteCode.hpp"
#include "common/CodeTree.hpp"

namespace huffcodec {

// What a table is: the bits of body that index it, and the most whole codes
// one entry holds.
struct TableKind {
    int indexBits;
    int maxRun;
    bool operator==(const TableKind& other) const {
        return indexBits == other.indexBits && maxRun == other.maxRun;
    }
};

// Each entry is indexed by the next indexBits bits of the body (the first bit
// in bit 0) and tells every whole code those bits hold, up to maxRun of them;
// codes longer than indexBits finish with a walk over a flat copy of the
// tree.
class DecodeTables {
public:
    // The index sizes the lanes' loops are built for: the largest table
    // takes the most symbols a lookup, the smaller ones cost less to build.
    static constexpr int kLargeIndexBits = 13;
    static constexpr int kSmallIndexBits = 11;
    static constexpr int kMaxIndexBits = kLargeIndexBits;
    static constexpr int kMaxRun = 7;  // symbols in the low bytes of a run, their number on top
    static constexpr TableKind kLargest{kLargeIndexBits, kMaxRun};

    // kind.indexBits is kSmallIndexBits or kLargeIndexBits, kind.maxRun 1 to
    // kMaxRun. Throws std::bad_alloc.
    explicit DecodeTables(const CodeTree& code, TableKind kind = kLargest);

    TableKind kind() const { return tableKind; }
    int indexBits() const { return tableKind.indexBits; }
    std::uint32_t indexMask() const { return (1u << tableKind.indexBits) - 1; }
    std::size_t size() const { return std::size_t{1} << tableKind.indexBits; }

    // Leaves of the tree: 0 (no symbols), 1 (codes of zero bits) or more.
    int leafCount() const { return leaves; }
    std::uint8_t onlySymbol() const { return only; }
    // Length of the shortest code, at most indexBits(); bounds the symbols a
    // number of bits holds.
    int minLength() const { return shortest; }
    // Every byte value has a code of eight bits (256 leaves, none shorter):
    // each body byte is one code, whose symbol byteSymbols() gives.
    bool byteCode() const { return leaves == format::kSymbols && shortest == 8; }
    const ByteTable& byteSymbols() const { return byteSymbolTable; }

    // Index i: total length of the codes in runs[i], or 0 when the first code
    // is longer than indexBits(). Alone on the critical path, so a byte. It
    // stands size() entries of runs() after runs(): a hot loop addresses both
    // from one register.
    const std::uint8_t* runBits() const {
        return reinterpret_cast<const std::uint8_t*>(lookupTable.get() + size());
    }
    // Index i: up to maxRun symbols in the low bytes and their number in the
    // top byte; for a long first code, the flat node reached after
    // indexBits().
    const std::uint64_t* runs() const { return lookupTable.get(); }
    // Index i: the first code alone, (length << 8) | symbol; length 0 when
    // longer than indexBits().
    const std::uint16_t* firstCodes() const { return firstCodesTable.get(); }
    // Inner nodes of the tree; a child below 0 is the leaf of symbol ~child.
    const std::array<std::int16_t, 2>* nodes() const { return nodesTable.data(); }

private:
    void buildFirstCodes(const CodeTree& code);
    void buildRuns(const CodeTree& code);

    TableKind tableKind;
    // Every entry is written by the build, none cleared first.
    std::unique_ptr<std::uint64_t[]> lookupTable;
    std::unique_ptr<std::uint16_t[]> firstCodesTable;
    std::array<std::array<std::int16_t, 2>, format::kSymbols - 1> nodesTable{};
    ByteTable byteSymbolTable{};
    int leaves = 0;
    int shortest = 1;
    std::uint8_t only = 0;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_DECODETABLES_HPP
