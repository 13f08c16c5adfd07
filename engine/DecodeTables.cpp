// SPDX-License-Identifier: MIT
//
// Building the decode tables from the code tree.
#include "DecodeTables.hpp"

#include <algorithm>

namespace huffcodec {

namespace {

// Appends node's subtree to nodes, inner nodes numbered in depth-first order
// from 0 at the root, and returns its entry: an inner node's number, or
// ~symbol for a leaf.
std::int16_t flatten(const HCNode* node, std::vector<std::array<std::int16_t, 2>>& nodes,
                     int& leafCount) {
    if (node->child0 == nullptr || node->child1 == nullptr) {
        ++leafCount;
        return static_cast<std::int16_t>(~static_cast<int>(node->symbol));
    }
    const std::size_t index = nodes.size();
    nodes.push_back({0, 0});
    const std::int16_t child0 = flatten(node->child0, nodes, leafCount);
    const std::int16_t child1 = flatten(node->child1, nodes, leafCount);
    nodes[index] = {child0, child1};
    return static_cast<std::int16_t>(index);
}

}  // namespace

DecodeTables::DecodeTables(const HCTree& tree)
    : lookupTable(kSize + kSize / sizeof(std::uint64_t), 0),
      firstCodesTable(kSize, 0),
      runStartsTable(kSize, 0) {
    const HCNode* root = tree.getRoot();
    if (root == nullptr) {
        return;
    }
    if (root->child0 == nullptr || root->child1 == nullptr) {
        leaves = 1;
        only = root->symbol;
        return;
    }

    flatten(root, nodesTable, leaves);

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

    // Runs: as many whole codes as the index bits hold, up to kMaxRun.
    for (std::uint32_t index = 0; index < kSize; ++index) {
        int used = 0;
        int count = 0;
        std::uint64_t run = 0;
        std::uint16_t starts = 0;
        while (count < kMaxRun) {
            const std::uint16_t first = firstCodesTable[(index >> used) & kIndexMask];
            const int length = first >> 8;
            if (length == 0 || length > kIndexBits - used) {
                break;
            }
            run |= static_cast<std::uint64_t>(first & 0xFF) << (8 * count);
            starts = static_cast<std::uint16_t>(starts | 1u << used);
            ++count;
            used += length;
        }
        if (count > 0) {
            reinterpret_cast<std::uint8_t*>(lookupTable.data() + kSize)[index] =
                static_cast<std::uint8_t>(used);
            runStartsTable[index] = starts;
            lookupTable[index] = run | static_cast<std::uint64_t>(count) << 56;
        }
    }
}

}  // namespace huffcodec
