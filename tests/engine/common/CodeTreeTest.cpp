// SPDX-License-Identifier: MIT
//
// The engine's code builder against the reference tree: the same code for
// every symbol, and inner nodes that lead each code to its symbol, on tables
// valid and not (totals past 31 bits, which the reference saturates).
#include "common/CodeTree.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;

TEST(CodeTree, GivesTheReferenceTreesCodes) {
    std::vector<SymbolCounts> tables = countTableShapes();
    tables.push_back(SymbolCounts(kNumSymbols, 1));           // all 256, tied
    tables.push_back(SymbolCounts(kNumSymbols, 2147483647));  // sums saturate
    tables.push_back(SymbolCounts(kNumSymbols, 0));           // no symbol
    for (std::size_t t = 0; t < tables.size(); ++t) {
        SCOPED_TRACE("table " + std::to_string(t));
        HCTree tree;
        tree.buildFromCounts(tables[t]);
        const std::vector<std::string> codes = codesOf(tree);
        huffcodec::CountTable counts{};
        std::copy(tables[t].begin(), tables[t].end(), counts.begin());
        const huffcodec::CodeTree code(counts);
        int leaves = 0;
        for (int s = 0; s < kNumSymbols; ++s) {
            const auto v = static_cast<std::uint8_t>(s);
            ASSERT_EQ(code.hasLeaf(v), tree.getLeaf(v) != nullptr) << s;
            if (!code.hasLeaf(v)) {
                continue;
            }
            ++leaves;
            ASSERT_EQ(code.length(v), static_cast<int>(codes[v].size())) << s;
            // A longer code (no valid header gives one) keeps its first 64
            // bits; the walk follows the reference's bits.
            std::string bits;
            std::int16_t node = 0;  // the root, where there are inner nodes
            for (std::size_t k = 0; k < codes[v].size(); ++k) {
                if (k < 64) {
                    bits.push_back(static_cast<char>('0' + (code.code(v) >> k & 1)));
                }
                ASSERT_GE(node, 0) << s;
                node = code.inner(node)[static_cast<std::size_t>(codes[v][k] - '0')];
            }
            EXPECT_EQ(bits, codes[v].substr(0, 64)) << s;
            if (code.length(v) > 0) {
                EXPECT_EQ(node, static_cast<std::int16_t>(~s)) << s;
            } else {
                EXPECT_EQ(code.onlySymbol(), v);
            }
        }
        EXPECT_EQ(code.leafCount(), leaves);
    }
}

}  // namespace
