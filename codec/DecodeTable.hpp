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
    static constexpr std::size_t kDefaultSegmentBytes = std::size_t{1} << 16;

    enum class Status { ok, endOfInput, readError, writeError };

    // One chain of lookups, or two interleaved over split segments (the
    // default; the single chain stays for comparison).
    enum class Lanes { one, two };

    // How the two-lane segments went: how many were tried, how many did not
    // fall into step, and how far past the split point lane A met lane B's
    // codes (A stops up to one refill past the split, so this is at most
    // 52 bits more than where the lanes first fell into step).
    struct LaneStats {
        std::uint64_t segments = 0;
        std::uint64_t fallbacks = 0;
        std::uint64_t resyncBitsTotal = 0;
        std::uint64_t resyncBitsMax = 0;
    };

    struct Result {
        Status status;
        std::uint64_t symbolsWritten;  // symbols handed to write
        std::uint64_t bitsConsumed;    // bits of every whole code decoded
        LaneStats laneStats;
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
    // With two lanes, segmentBytes sets how much body one two-lane step
    // covers (clamped to 64 bytes .. 64 KiB); small segments exercise the
    // lanes' meeting logic on small inputs, large ones amortise it.
    Result decodeBody(std::uint64_t symbolCount, const ReadFn& read, const WriteFn& write,
                      Lanes lanes = Lanes::two,
                      std::size_t segmentBytes = kDefaultSegmentBytes) const;

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
    // Index i: bit k set when a code of symbolRuns[i] starts k bits in; lets
    // a lane record its code starts without decoding one code at a time.
    std::vector<std::uint16_t> runStarts;
    // Inner nodes of the tree; a child below 0 is the leaf of symbol ~child.
    std::vector<std::array<std::int16_t, 2>> nodes;
    int leafCount = 0;
    int minLength = 1;            // of the shortest code
    std::uint8_t onlySymbol = 0;  // the symbol of a one-leaf tree
};

#endif  // CODEC_DECODETABLE_HPP
