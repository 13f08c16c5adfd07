// The 1024-byte count header of a compressed file: parsing it with the checks
// a reader needs, and writing it.
#ifndef CODEC_COUNTHEADER_HPP
#define CODEC_COUNTHEADER_HPP

#include <array>
#include <cstddef>
#include <cstdint>

#include "SymbolCounts.hpp"

class CountHeader {
public:
    // The largest uncompressed size the header can describe.
    static constexpr std::int64_t kMaxTotal = 2147483647;

    enum class Status {
        ok,
        endOfInput,    // fewer than 1024 bytes, or a negative entry
        sizeTooLarge,  // the entries add up past kMaxTotal
    };

    // Reads the entries in index order from the size bytes at bytes and stops
    // at the first one that is missing, negative, or takes the sum past
    // kMaxTotal.
    Status parse(const std::uint8_t* bytes, std::size_t size);

    const SymbolCounts& counts() const { return entries; }
    std::int64_t total() const { return sum; }
    std::int32_t unique() const { return nonZero; }

    // The header for counts: each entry little-endian, as writeInt32 writes it.
    // A table that does not hold exactly kNumSymbols entries describes no
    // file; it gets the header of the empty file, all zeros, the same as the
    // empty tree HCTree::buildFromCounts builds from it.
    static std::array<std::uint8_t, kHeaderBytes> encode(const SymbolCounts& counts);

private:
    SymbolCounts entries = SymbolCounts(kNumSymbols, 0);
    std::int64_t sum = 0;
    std::int32_t nonZero = 0;
};

#endif  // CODEC_COUNTHEADER_HPP
