// SPDX-License-Identifier: MIT
//
// The Huffman code tree of one file, built from its count table. The pairing
// rules below are part of the file format: a reader and a writer that build
// from the same counts get the same tree, bit for bit.
#ifndef CODEC_HCTREE_HPP
#define CODEC_HCTREE_HPP

#include <cstdint>
#include <vector>

#include "BitInputStream.hpp"
#include "BitOutputStream.hpp"
#include "HCNode.hpp"
#include "SymbolCounts.hpp"

// Owns every node reachable from its root.
class HCTree {
public:
    HCTree();
    ~HCTree();
    HCTree(const HCTree&) = delete;
    HCTree& operator=(const HCTree&) = delete;

    // Builds the tree: one leaf per non-zero count, then repeatedly pairs the
    // two nodes of highest priority (smallest count, ties to smallest symbol),
    // the first taken becoming child0. Releases any tree built before.
    // Counts must not be negative; inner counts saturate at the 32-bit maximum.
    // A table that does not hold exactly kNumSymbols entries describes no
    // file and gives the empty tree: every symbol then lacks a code, which
    // the decoder and the encoder report, where reading only the entries
    // there are would quietly build a code for other data. If an allocation
    // fails, the tree is left empty and std::bad_alloc propagates.
    void buildFromCounts(const SymbolCounts& counts);

    // Walks from the root, one bit per branch, to a leaf; returns its byte
    // value, or -1 if the input ends first or the tree is empty. A tree of a
    // single leaf reads no bits.
    int decodeSymbol(BitInputStream& bitInput) const;

    // Writes the code of symbol, root end first; nothing for a symbol without
    // a leaf or for the single leaf of a one-symbol tree.
    void encodeSymbol(std::uint8_t symbol, BitOutputStream& bitOutput) const;

    // Read access for code-table builders and checks.
    const HCNode* getRoot() const { return root; }
    const HCNode* getLeaf(std::uint8_t symbol) const { return leafBySymbol[symbol]; }

private:
    HCNode* root;
    std::vector<HCNode*> leafBySymbol;  // kNumSymbols entries; none for a zero count
};

#endif  // CODEC_HCTREE_HPP
