// Table-driven decoding of a compressed body: the fast path of uncompress.
// Gives exactly what HCTree::decodeSymbol over a BitInputStream gives (the
// same symbols, the same stopping point, the same bits consumed) at a
// fraction of the cost per symbol.
#ifndef CODEC_DECODETABLE_HPP
#define CODEC_DECODETABLE_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "HCTree.hpp"

// Lookup tables built once from a code tree. Each entry is indexed by the next
// kIndexBits bits of the body (the first bit in bit 0) and tells every whole
// code those bits hold, up to kMaxRun of them; codes longer than kIndexBits
// finish with a walk over a flat copy of the tree.
class DecodeTable {
public:
    static constexpr int kIndexBits = 13;
    static constexpr int kMaxRun = 7;

    enum class Status { ok, endOfInput, readError, writeError };

    struct Result {
        Status status;
        std::uint64_t symbolsWritten;  // symbols handed to write
        std::uint64_t bitsConsumed;    // bits of every whole code decoded
    };

    // Fills buffer with up to size bytes; returns how many (fewer only at the
    // end of the input), or a negative number on a read error.
    using ReadFn = std::function<long(std::uint8_t* buffer, std::size_t size)>;
    // Takes size decoded bytes; returns false on a write error.
    using WriteFn = std::function<bool(const std::uint8_t* data, std::size_t size)>;

    explicit DecodeTable(const HCTree& tree);

    // Decodes symbolCount symbols from the body that read delivers and hands
    // them to write in blocks. Stops at the first code the input cannot
    // complete (endOfInput), having written every symbol before it.
    Result decodeBody(std::uint64_t symbolCount, const ReadFn& read, const WriteFn& write) const;

private:
    class Decoder;  // the streaming state of one decodeBody call

    // Index i: total length of the codes in symbolRuns[i], or 0 when the first
    // code is longer than kIndexBits. Alone on the critical path, so a byte.
    std::vector<std::uint8_t> runBits;
    // Index i: up to kMaxRun symbols in the low bytes and their number in the
    // top byte; for a long first code, the flat node reached after kIndexBits.
    std::vector<std::uint64_t> symbolRuns;
    // Index i: the first code alone, (length << 8) | symbol; length 0 when
    // longer than kIndexBits. Used near the end of the input.
    std::vector<std::uint16_t> firstCodes;
    // Inner nodes of the tree; a child below 0 is the leaf of symbol ~child.
    std::vector<std::array<std::int16_t, 2>> nodes;
    int leafCount = 0;
    std::uint8_t onlySymbol = 0;  // the symbol of a one-leaf tree
};

#endif  // CODEC_DECODETABLE_HPP
