// SPDX-License-Identifier: MIT
//
// A node of the Huffman code tree, and the priority order in which tree
// construction pairs nodes. That order is part of the file format: reader and
// writer arrive at the same codes only because both pair nodes by it.
#ifndef CODEC_HCNODE_HPP
#define CODEC_HCNODE_HPP

#include <cstdint>
#include <ostream>

// A leaf stands for one byte value; an inner node for the union of its two
// subtrees. Nodes do not own their children: the HCTree that built them does.
class HCNode {
public:
    std::int32_t count;   // leaf: the symbol's count; inner: sum of both children
    std::uint8_t symbol;  // leaf: its byte value; inner: the symbol of child0
    HCNode* child0;       // reached by code bit 0
    HCNode* child1;       // reached by code bit 1
    HCNode* parent;       // none at the root and before the node is paired

    HCNode(std::int32_t countValue, std::uint8_t symbolValue, HCNode* child0Node,
           HCNode* child1Node, HCNode* parentNode)
        : count(countValue),
          symbol(symbolValue),
          child0(child0Node),
          child1(child1Node),
          parent(parentNode) {}

    // "Less" means lower priority: a node with a larger count, or with an equal
    // count and a larger symbol, is less. The greatest node of a set is thus the
    // one with the smallest count, ties going to the smallest symbol.
    bool operator<(const HCNode& other) const;
};

// Orders node pointers by the nodes they point to; the priority queue of tree
// construction hands out its greatest element first.
struct HCNodePtrPriority {
    bool operator()(const HCNode* a, const HCNode* b) const { return *a < *b; }
};

// The same order as HCNodePtrPriority, as a plain function.
bool nodePtrLess(const HCNode* a, const HCNode* b);

// Diagnostic form of a node: "[count,symbol]", the symbol as a number.
inline std::ostream& operator<<(std::ostream& stream, const HCNode& node) {
    return stream << '[' << node.count << ',' << static_cast<unsigned>(node.symbol) << ']';
}

#endif  // CODEC_HCNODE_HPP
