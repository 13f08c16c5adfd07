// SPDX-License-Identifier: MIT
//
// HCTree: pairing order and tie-breaks, tree shape invariants, teardown, and
// the decoding walk.
#include "HCTree.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include "TestSupport.hpp"

namespace {

using testing_support::codesOf;
using testing_support::makeCounts;

// Codes by a direct reading of the pairing rule, independent of the priority
// queue: repeatedly take the two live nodes with the smallest (count, symbol).
std::vector<std::string> naiveCodes(const SymbolCounts& counts) {
    struct Node {
        std::int64_t count;
        int symbol;
        std::vector<int> leaves;  // symbols below this node
    };
    std::vector<std::string> codes(kNumSymbols);
    std::vector<Node> live;
    for (int i = 0; i < kNumSymbols; ++i) {
        if (counts[i] != 0) {
            live.push_back({counts[i], i, {i}});
        }
    }
    auto higher = [](const Node& a, const Node& b) {
        return a.count != b.count ? a.count < b.count : a.symbol < b.symbol;
    };
    while (live.size() > 1) {
        auto first = std::min_element(live.begin(), live.end(), higher);
        Node a = *first;
        live.erase(first);
        auto second = std::min_element(live.begin(), live.end(), higher);
        Node b = *second;
        live.erase(second);
        for (const int s : a.leaves) {
            codes[s].insert(codes[s].begin(), '0');
        }
        for (const int s : b.leaves) {
            codes[s].insert(codes[s].begin(), '1');
        }
        a.leaves.insert(a.leaves.end(), b.leaves.begin(), b.leaves.end());
        live.push_back({a.count + b.count, a.symbol, a.leaves});
    }
    return codes;
}

// Checks the shape every built tree must have and returns the number of leaves.
int checkShape(const HCTree& tree, const SymbolCounts& counts) {
    const HCNode* root = tree.getRoot();
    int leaves = 0;
    double kraft = 0;
    for (int s = 0; s < kNumSymbols; ++s) {
        const HCNode* leaf = tree.getLeaf(static_cast<std::uint8_t>(s));
        EXPECT_EQ(leaf != nullptr, counts[s] != 0) << s;
        if (leaf == nullptr) {
            continue;
        }
        ++leaves;
        EXPECT_EQ(leaf->child0, nullptr);
        EXPECT_EQ(leaf->child1, nullptr);
        EXPECT_EQ(leaf->symbol, s);
        EXPECT_EQ(leaf->count, counts[s]);
        int depth = 0;
        const HCNode* node = leaf;
        while (node->parent != nullptr) {
            const HCNode* parent = node->parent;
            EXPECT_TRUE(parent->child0 == node || parent->child1 == node);
            EXPECT_NE(parent->child0, nullptr);
            EXPECT_NE(parent->child1, nullptr);
            EXPECT_EQ(parent->symbol, parent->child0->symbol);
            EXPECT_EQ(std::int64_t{parent->count},
                      std::int64_t{parent->child0->count} + parent->child1->count);
            node = parent;
            ++depth;
            if (depth >= kNumSymbols) {
                ADD_FAILURE() << "parent chain of leaf " << s << " loops";
                return leaves;
            }
        }
        EXPECT_EQ(node, root) << "leaf " << s << " does not reach the root";
        kraft += std::ldexp(1.0, -depth);
    }
    if (leaves == 0) {
        EXPECT_EQ(root, nullptr);
    } else {
        EXPECT_DOUBLE_EQ(kraft, 1.0);  // a full binary tree
    }
    return leaves;
}

TEST(HCTree, WorkedExamplesGiveTheirCodes) {
    struct Case {
        SymbolCounts counts;
        std::vector<std::pair<int, std::string>> codes;
    };
    const Case cases[] = {
        {makeCounts({{97, 5}, {98, 2}, {99, 2}}), {{97, "1"}, {98, "00"}, {99, "01"}}},
        {makeCounts({{65, 1}, {66, 1}, {67, 2}}), {{65, "00"}, {66, "01"}, {67, "1"}}},
        {makeCounts({{10, 4}, {3, 4}}), {{3, "0"}, {10, "1"}}},  // equal: smaller is child0
        {makeCounts({{200, 9}}), {{200, ""}}},
    };
    for (const Case& c : cases) {
        HCTree tree;
        tree.buildFromCounts(c.counts);
        checkShape(tree, c.counts);
        const auto codes = codesOf(tree);
        for (const auto& [symbol, code] : c.codes) {
            EXPECT_EQ(codes[symbol], code) << symbol;
        }
    }
}

TEST(HCTree, EmptyAndSingleLeafTrees) {
    HCTree empty;
    empty.buildFromCounts(SymbolCounts(kNumSymbols, 0));
    EXPECT_EQ(checkShape(empty, SymbolCounts(kNumSymbols, 0)), 0);
    std::istringstream nothing("");
    BitInputStream noBits(nothing);
    EXPECT_EQ(empty.decodeSymbol(noBits), -1);

    HCTree unbuilt;
    EXPECT_EQ(unbuilt.getRoot(), nullptr);
    EXPECT_EQ(unbuilt.decodeSymbol(noBits), -1);

    HCTree single;
    single.buildFromCounts(makeCounts({{200, 3}}));
    const HCNode* root = single.getRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root, single.getLeaf(200));
    EXPECT_EQ(root->parent, nullptr);
    std::istringstream empty_body("");
    BitInputStream bits(empty_body);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(single.decodeSymbol(bits), 200);  // reads nothing
    }
}

// A table of another size than 256 entries describes no file: the empty tree,
// and no read past its end.
TEST(HCTree, CountTableOfTheWrongSizeGivesTheEmptyTree) {
    for (const std::size_t size : {0, 1, 255, 257}) {
        HCTree tree;
        tree.buildFromCounts(makeCounts({{'a', 3}, {'b', 1}}));
        tree.buildFromCounts(SymbolCounts(size, 7));
        EXPECT_EQ(tree.getRoot(), nullptr) << size;
        EXPECT_EQ(tree.getLeaf('a'), nullptr) << size;
    }
}

TEST(HCTree, AllOnesGiveEightBitBinaryCodes) {
    HCTree tree;
    tree.buildFromCounts(SymbolCounts(kNumSymbols, 1));
    const auto codes = codesOf(tree);
    for (int s = 0; s < kNumSymbols; ++s) {
        std::string expected;
        for (int bit = 7; bit >= 0; --bit) {
            expected.push_back(((s >> bit) & 1) ? '1' : '0');
        }
        EXPECT_EQ(codes[s], expected);
    }
}

using testing_support::countTableShapes;

TEST(HCTree, PairingMatchesNaiveOrderAndKeepsShape) {
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        checkShape(tree, counts);
        EXPECT_EQ(codesOf(tree), naiveCodes(counts));
    }
}

TEST(HCTree, FibonacciCountsGiveCodesOverFortyBits) {
    const SymbolCounts counts = countTableShapes()[60];
    HCTree tree;
    tree.buildFromCounts(counts);
    std::size_t longest = 0;
    for (const std::string& code : codesOf(tree)) {
        longest = std::max(longest, code.size());
    }
    EXPECT_GE(longest, 40u);
}

TEST(HCTree, RebuildReleasesTheFirstTreeAndMatchesAFreshOne) {
    HCTree reused;
    reused.buildFromCounts(makeCounts({{1, 1}, {2, 2}, {3, 3}}));
    const SymbolCounts second = makeCounts({{50, 7}, {60, 1}});
    reused.buildFromCounts(second);
    EXPECT_EQ(reused.getLeaf(1), nullptr);
    HCTree fresh;
    fresh.buildFromCounts(second);
    EXPECT_EQ(codesOf(reused), codesOf(fresh));
    checkShape(reused, second);
}

TEST(HCTree, DecodeWalkFollowsTheBodyBitByBit) {
    HCTree tree;
    tree.buildFromCounts(makeCounts({{65, 1}, {66, 1}, {67, 2}}));
    std::istringstream body(std::string("\x31", 1));
    BitInputStream bits(body);
    for (const int expected : {67, 65, 66, 67, 65, -1, -1}) {
        EXPECT_EQ(tree.decodeSymbol(bits), expected);
    }
}

TEST(HCTree, DecodesWhatTheReferenceEncoderWrote) {
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        const int alphabet = seed % 4 == 0 ? 2 : seed % 4 == 1 ? 256 : 1 + seed * 11;
        const std::string data = testing_support::randomBytes(seed, 3000 + seed * 101, alphabet);
        std::istringstream file(testing_support::compressReference(data));
        BitInputStream bits(file);
        SymbolCounts counts(kNumSymbols, 0);
        for (auto& count : counts) {
            count = bits.readInt32();
        }
        HCTree tree;
        tree.buildFromCounts(counts);
        std::string decoded;
        for (std::size_t i = 0; i < data.size(); ++i) {
            const int symbol = tree.decodeSymbol(bits);
            ASSERT_GE(symbol, 0) << "seed " << seed << " at " << i;
            decoded.push_back(static_cast<char>(symbol));
        }
        EXPECT_EQ(decoded, data) << "seed " << seed;
    }
}

}  // namespace

namespace {

std::string encodeAll(const HCTree& tree, const std::vector<int>& symbols) {
    return testing_support::encodePlain(tree, std::string(symbols.begin(), symbols.end()));
}

TEST(HCTreeEncode, WorkedExamplesAndSymbolsWithoutCode) {
    struct Case {
        SymbolCounts counts;
        std::vector<int> symbols;
        std::string body;
    };
    const Case cases[] = {
        {makeCounts({{65, 1}, {66, 1}, {67, 2}}), {67, 65, 66, 67}, "\x31"},
        {makeCounts({{97, 5}, {98, 2}, {99, 2}}), {97, 97, 98, 99, 97, 98, 99, 97, 97}, "\x63\x1C"},
        {makeCounts({{97, 5}, {98, 2}, {99, 2}}), {98}, std::string(1, '\0')},  // 00
        {makeCounts({{97, 5}, {98, 2}, {99, 2}}), {97}, "\x01"},                // 1
        {makeCounts({{97, 5}, {98, 2}, {99, 2}}), {100, 0, 255}, ""},           // no leaf: no bits
        {makeCounts({{200, 4}}), {200, 200, 200}, ""},  // one leaf: empty code
        {SymbolCounts(kNumSymbols, 0), {1, 2}, ""},
    };
    for (const Case& c : cases) {
        HCTree tree;
        tree.buildFromCounts(c.counts);
        EXPECT_EQ(encodeAll(tree, c.symbols), c.body);
    }
}

// encodeSymbol against the reference encoder built on parent links, and the
// decoding walk against both, over every count-table shape, deep trees
// included: each symbol of the table is encoded a few times in random order.
TEST(HCTreeEncode, MatchesReferenceCodesAndDecodesBack) {
    std::mt19937 random(99);
    for (const SymbolCounts& counts : countTableShapes()) {
        HCTree tree;
        tree.buildFromCounts(counts);
        const auto codes = codesOf(tree);
        std::vector<int> symbols;
        for (int s = 0; s < kNumSymbols; ++s) {
            for (int copies = 0; counts[s] != 0 && copies < 3; ++copies) {
                symbols.push_back(s);
            }
        }
        std::shuffle(symbols.begin(), symbols.end(), random);
        std::string bits;
        for (const int s : symbols) {
            bits += codes[s];
        }
        const std::string body = encodeAll(tree, symbols);
        ASSERT_EQ(body, testing_support::packBits(bits));
        std::istringstream in(body);
        BitInputStream reader(in);
        for (const int s : symbols) {
            ASSERT_EQ(tree.decodeSymbol(reader), s);
        }
    }
}

}  // namespace
