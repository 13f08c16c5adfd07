// SPDX-License-Identifier: MIT
//
// Construction, teardown, the decoding walk and the encoding path of the code
// tree.
#include "HCTree.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <queue>
#include <utility>
#include <vector>

// The tree's one invariant check stays on in optimised builds too: a broken
// tree would silently write an undecodable file. The override comes after
// every other include, so that no inline function of another header changes
// meaning with it.
#undef NDEBUG
#include <cassert>

// Releases a node and everything below it, children first.
static void deleteSubtree(HCNode* node) {
    if (node == nullptr) {
        return;
    }
    deleteSubtree(node->child0);
    deleteSubtree(node->child1);
    delete node;
}

// Writes the code of node: the parent's code first, so that bits nearer the
// root come earlier, then the branch that leads to node. Recursion depth is
// the code length, at most kNumSymbols - 1.
static void reverse_out(const HCNode* node, BitOutputStream& bitOutput) {
    if (node == nullptr || node->parent == nullptr) {
        return;
    }
    reverse_out(node->parent, bitOutput);
    if (node == node->parent->child0) {
        bitOutput.writeBit(0);
    } else if (node == node->parent->child1) {
        bitOutput.writeBit(1);
    } else {
        assert(false && "broken tree");
    }
}

HCTree::HCTree() : root(nullptr), leafBySymbol(kNumSymbols, nullptr) {}

HCTree::~HCTree() {
    deleteSubtree(root);
}

void HCTree::buildFromCounts(const SymbolCounts& counts) {
    deleteSubtree(root);
    root = nullptr;
    std::fill(leafBySymbol.begin(), leafBySymbol.end(), nullptr);
    if (counts.size() != static_cast<std::size_t>(kNumSymbols)) {
        return;
    }

    // Room for every node that can wait at once, so that pushing never
    // allocates: a failed allocation leaves each node either in the queue
    // or below a node in it, and the handler below releases them all.
    std::vector<HCNode*> storage;
    storage.reserve(kNumSymbols);
    std::priority_queue<HCNode*, std::vector<HCNode*>, HCNodePtrPriority> queue(HCNodePtrPriority(),
                                                                                std::move(storage));
    try {
        for (int i = 0; i < kNumSymbols; ++i) {
            if (counts[i] != 0) {
                auto* leaf =
                    new HCNode(counts[i], static_cast<std::uint8_t>(i), nullptr, nullptr, nullptr);
                leafBySymbol[i] = leaf;
                queue.push(leaf);
            }
        }
        while (queue.size() > 1) {
            // Allocated before the two nodes leave the queue.
            auto* inner = new HCNode(0, 0, nullptr, nullptr, nullptr);
            HCNode* first = queue.top();
            queue.pop();
            HCNode* second = queue.top();
            queue.pop();
            // Valid headers sum to at most INT32_MAX; saturate rather than
            // overflow for tables outside the format.
            const std::int64_t sum = std::int64_t{first->count} + second->count;
            inner->count = static_cast<std::int32_t>(
                std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                                         std::numeric_limits<std::int32_t>::max()));
            inner->symbol = first->symbol;
            inner->child0 = first;
            inner->child1 = second;
            second->parent = inner;
            first->parent = inner;
            queue.push(inner);
        }
    } catch (...) {
        for (; !queue.empty(); queue.pop()) {
            deleteSubtree(queue.top());
        }
        std::fill(leafBySymbol.begin(), leafBySymbol.end(), nullptr);
        throw;
    }
    if (!queue.empty()) {
        root = queue.top();
    }
}

int HCTree::decodeSymbol(BitInputStream& bitInput) const {
    const HCNode* node = root;
    if (node == nullptr) {
        return -1;
    }
    while (node->child0 != nullptr && node->child1 != nullptr) {
        const int bit = bitInput.readBit();
        if (bit == 0) {
            node = node->child0;
        } else if (bit == 1) {
            node = node->child1;
        } else {
            return -1;
        }
    }
    return node->symbol;
}

void HCTree::encodeSymbol(std::uint8_t symbol, BitOutputStream& bitOutput) const {
    reverse_out(leafBySymbol[symbol], bitOutput);
}
