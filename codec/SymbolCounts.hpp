// SPDX-License-Identifier: MIT
//
// The count table that heads every compressed file, and the two constants
// that fix the header's shape. The reference code tree is built from it, and
// the tests fill it from the headers they write and read.
#ifndef CODEC_SYMBOLCOUNTS_HPP
#define CODEC_SYMBOLCOUNTS_HPP

#include <cstdint>
#include <vector>

// Number of entries in the header: one per byte value.
constexpr int kNumSymbols = 256;

// Size of the header in bytes: one little-endian signed 32-bit count per entry.
constexpr int kHeaderBytes = kNumSymbols * 4;

// Entry i is how often byte value i occurs in the uncompressed data. Always
// holds exactly kNumSymbols entries.
using SymbolCounts = std::vector<std::int32_t>;

#endif  // CODEC_SYMBOLCOUNTS_HPP
