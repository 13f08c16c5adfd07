// SPDX-License-Identifier: MIT
//
// Building the decode tables from the code.
#include "DecodeTables.hpp"

#include <algorithm>

namespace huffcodec {

DecodeTables::DecodeTables(const CodeTree& code)
    : lookupTable(kSize + kSize / sizeof(std::uint64_t), 0), firstCodesTable(kSize, 0) {
    leaves = code.leafCount();
    only = code.onlySymbol();
    if (leaves < 2) {
        return;
    }
    for (int node = 0; node < leaves - 1; ++node) {
        nodesTable.push_back(code.inner(node));
    }

    // First code of every index: walk the flat tree over its bits.
    for (std::uint32_t index = 0; index < kSize; ++index) {
        std::int16_t node = 0;
        int length = 0;
        while (node >= 0 && length < kIndexBits) {
            node = nodesTable[static_cast<std::size_t>(node)][(index >> length) & 1];
            ++length;
        }
        if (node < 0) {
            firstCodesTable[index] = static_cast<std::uint16_t>(length << 8 | (~node & 0xFF));
        } else {
            lookupTable[index] = static_cast<std::uint64_t>(node);  // a long code goes on here
        }
    }

    shortest = kIndexBits;
    for (const std::uint16_t first : firstCodesTable) {
        if (first >> 8 != 0) {
            shortest = std::min(shortest, first >> 8);
        }
    }
    for (std::size_t byte = 0; byte < byteSymbolTable.size(); ++byte) {
        byteSymbolTable[byte] = static_cast<std::uint8_t>(firstCodesTable[byte] & 0xFF);
    }

    // Runs: as many whole codes as the index bits hold, up to kMaxRun.
    for (std::uint32_t index = 0; index < kSize; ++index) {
        int used = 0;
        int count = 0;
        std::uint64_t run = 0;
        while (count < kMaxRun) {
            const std::uint16_t first = firstCodesTable[(index >> used) & kIndexMask];
            const int length = first >> 8;
            if (length == 0 || length > kIndexBits - used) {
                break;
            }
            run |= static_cast<std::uint64_t>(first & 0xFF) << (8 * count);
            ++count;
            used += length;
        }
        if (count > 0) {
            reinterpret_cast<std::uint8_t*>(lookupTable.data() + kSize)[index] =
                static_cast<std::uint8_t>(used);
            lookupTable[index] = run | static_cast<std::uint64_t>(count) << 56;
        }
    }
}

}  // namespace huffcodec
