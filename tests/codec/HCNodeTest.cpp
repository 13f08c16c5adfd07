// SPDX-License-Identifier: MIT
//
// HCNode: the priority order that fixes the pairing, and its printed form.
#include "HCNode.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

HCNode leaf(std::int32_t count, std::uint8_t symbol) {
    return HCNode(count, symbol, nullptr, nullptr, nullptr);
}

TEST(HCNode, OrderPutsSmallCountAndThenSmallSymbolHighest) {
    struct Case {
        HCNode a, b;
        bool aLess;
    };
    const Case cases[] = {
        {leaf(5, 97), leaf(2, 98), true},    // larger count is lower priority
        {leaf(2, 98), leaf(5, 97), false},   //
        {leaf(2, 67), leaf(2, 65), true},    // equal counts: larger symbol is lower
        {leaf(2, 65), leaf(2, 67), false},   //
        {leaf(2, 200), leaf(2, 100), true},  // symbols compare unsigned
        {leaf(7, 9), leaf(7, 9), false},     // never less than itself
        {leaf(-1, 0), leaf(1, 0), false},    // counts compare signed
        {leaf(0, 255), leaf(0, 0), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a < c.b, c.aLess) << c.a << " < " << c.b;
        EXPECT_EQ(HCNodePtrPriority()(&c.a, &c.b), c.aLess);
        EXPECT_EQ(nodePtrLess(&c.a, &c.b), c.aLess);
    }
}

TEST(HCNode, PrintsCountAndSymbolAsNumbers) {
    std::ostringstream out;
    out << leaf(3, 255) << leaf(0, 65);
    EXPECT_EQ(out.str(), "[3,255][0,65]");
}

}  // namespace
