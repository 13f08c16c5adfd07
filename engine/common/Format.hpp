// SPDX-License-Identifier: MIT
//
// The format's constants, and the limits the engine derives from them.
#ifndef HUFFCODEC_ENGINE_FORMAT_HPP
#define HUFFCODEC_ENGINE_FORMAT_HPP

#include <cstdint>

#include "huffcodec/huffcodec.hpp"

namespace huffcodec::format {

// One header entry per byte value, four bytes each.
inline constexpr int kSymbols = 256;
static_assert(huffcodec::kHeaderBytes == 4 * kSymbols);

// The largest original size: the header's sum is a signed 32-bit value.
inline constexpr std::int64_t kMaxOriginalSize = huffcodec::kMaxOriginalSize;
static_assert(kMaxOriginalSize == INT32_MAX);

// A code of length d needs a tree whose counts add up to at least F(d + 2)
// (Fibonacci, F(1) = F(2) = 1): the counts 1, 1, 1, 2, 3, 5, ... give the
// deepest tree for their total, each new node tying with the next leaf and
// winning the tie. So the longest code a valid header can give is the largest
// d with F(d + 2) <= kMaxOriginalSize.
constexpr int longestCodeFor(std::int64_t maxTotal) {
    std::int64_t previous = 1;  // F(1)
    std::int64_t current = 1;   // F(2)
    int length = 0;             // F(length + 2) == current
    while (previous + current <= maxTotal) {
        const std::int64_t next = previous + current;
        previous = current;
        current = next;
        ++length;
    }
    return length;
}
inline constexpr int kMaxCodeLength = longestCodeFor(kMaxOriginalSize);
static_assert(kMaxCodeLength == 44);

// Any tree of kSymbols leaves (valid header or not) has codes of at most
// kSymbols - 1 bits.
inline constexpr int kMaxTreeDepth = kSymbols - 1;

}  // namespace huffcodec::format

#endif  // HUFFCODEC_ENGINE_FORMAT_HPP
