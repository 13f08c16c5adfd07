// SPDX-License-Identifier: MIT
//
// Priority order of code tree nodes.
#include "HCNode.hpp"

bool HCNode::operator<(const HCNode& other) const {
    if (count != other.count) {
        return count > other.count;
    }
    return symbol > other.symbol;
}

bool nodePtrLess(const HCNode* a, const HCNode* b) {
    return *a < *b;
}
