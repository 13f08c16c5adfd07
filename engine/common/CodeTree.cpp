// SPDX-License-Identifier: MIT
//
// Pairing the waiting nodes, then reading every code off the tree from the
// root down.
#include "common/CodeTree.hpp"

#include <algorithm>
#include <limits>
#include <memory>

namespace huffcodec {

namespace {

constexpr std::size_t kNodes = 2 * format::kSymbols - 1;

// A waiting node as one number, so that finding the next to pair is a
// comparison of two: its count above its symbol (the one it stands for in
// ties) above its index. Node n < kSymbols is the leaf of symbol n; inner
// nodes follow in the order they are made, so the root is the last one.
// Counts of a heap's build (which may be negative) are kept apart.
constexpr int kSymbolShift = 9;
constexpr int kCountShift = 17;
constexpr std::uint64_t kNodeMask = (std::uint64_t{1} << kSymbolShift) - 1;
constexpr std::uint64_t kNoKey = ~std::uint64_t{0};

std::uint64_t keyOf(std::int32_t count, std::uint64_t symbol, std::size_t node) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(count)) << kCountShift |
           symbol << kSymbolShift | node;
}
std::int32_t countOf(std::uint64_t key) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(key >> kCountShift));
}
std::uint64_t symbolOf(std::uint64_t key) {
    return (key >> kSymbolShift) & 0xFF;
}
std::int16_t nodeOf(std::uint64_t key) {
    return static_cast<std::int16_t>(key & kNodeMask);
}

// A valid header's counts add up to at most INT32_MAX; others saturate, as
// the reference tree does.
std::int32_t saturatedSum(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{a} + b, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

// Every member is written before it is read: the scratch is not cleared.
struct Scratch {
    std::array<std::uint64_t, format::kSymbols + 1> leafKeys;  // the leaves, then an end mark
    std::array<std::uint8_t, format::kSymbols> symbols;        // of the leaves, in order
    std::array<std::uint64_t, format::kSymbols + 1> innerKeys;
    std::array<std::array<std::int16_t, 2>, format::kSymbols> children;  // of inner node n - 256
    std::array<std::uint8_t, kNodes> depth;
    std::array<std::uint64_t, kNodes> code;
};

// The inner node made from first (branch 0) and second (branch 1), as a key.
std::uint64_t pair(Scratch& s, std::size_t node, std::uint64_t first, std::uint64_t second) {
    s.children[node - format::kSymbols] = {nodeOf(first), nodeOf(second)};
    return keyOf(saturatedSum(countOf(first), countOf(second)), symbolOf(first), node);
}

// The pairing as the reference does it, over a heap: for any counts, where
// keys do not order them (a negative count).
std::size_t pairByHeap(Scratch& s, std::size_t waiting) {
    std::uint64_t* const heap = s.leafKeys.data();
    // Paired later: a larger count, or an equal count and a larger symbol. No
    // two waiting nodes tie on both: each symbol stands in one waiting node.
    const auto later = [](std::uint64_t a, std::uint64_t b) {
        return countOf(a) != countOf(b) ? countOf(a) > countOf(b) : symbolOf(a) > symbolOf(b);
    };
    std::make_heap(heap, heap + waiting, later);
    std::size_t next = format::kSymbols;
    while (waiting > 1) {
        std::pop_heap(heap, heap + waiting--, later);
        const std::uint64_t first = heap[waiting];
        std::pop_heap(heap, heap + waiting--, later);
        const std::uint64_t second = heap[waiting];
        heap[waiting++] = pair(s, next, first, second);
        ++next;
        std::push_heap(heap, heap + waiting, later);
    }
    return next;
}

// The same pairing in linear time where no count is negative, and keys order
// nodes as the pairing takes them: the leaves sorted once, and the inner
// nodes, which are then made in order of count (two smallest counts never add
// up to less than the two before them, nor does their saturated sum), in a
// second queue kept sorted by inserting a node before those of its count with
// a larger symbol. The next node to pair is the first of one queue or the
// other.
std::size_t pairByQueues(Scratch& s, std::size_t leaves) {
    std::uint64_t* const leaf = s.leafKeys.data();
    std::uint64_t* const inner = s.innerKeys.data();
    std::sort(leaf, leaf + leaves);
    leaf[leaves] = kNoKey;
    inner[0] = kNoKey;
    std::size_t leafAt = 0;
    std::size_t innerAt = 0;
    std::size_t innerEnd = 0;
    const auto take = [&]() {
        const std::uint64_t fromLeaves = leaf[leafAt];
        const std::uint64_t fromInner = inner[innerAt];
        const bool leafFirst = fromLeaves < fromInner;
        leafAt += leafFirst ? 1 : 0;
        innerAt += leafFirst ? 0 : 1;
        return leafFirst ? fromLeaves : fromInner;
    };
    std::size_t next = format::kSymbols;
    for (std::size_t waiting = leaves; waiting > 1; --waiting) {
        const std::uint64_t first = take();
        const std::uint64_t second = take();
        const std::uint64_t key = pair(s, next++, first, second);
        std::size_t at = innerEnd++;
        while (at > innerAt && inner[at - 1] > key) {
            inner[at] = inner[at - 1];
            --at;
        }
        inner[at] = key;
        inner[innerEnd] = kNoKey;
    }
    return next;
}

}  // namespace

CodeTree::CodeTree(const CountTable& counts) {
    const std::unique_ptr<Scratch> scratch(new Scratch);
    Scratch& s = *scratch;
    std::size_t waiting = 0;
    std::int32_t signs = 0;
    for (std::size_t v = 0; v < counts.size(); ++v) {
        // Written for every value, kept for those counted.
        s.leafKeys[waiting] = keyOf(counts[v], v, v);
        s.symbols[waiting] = static_cast<std::uint8_t>(v);
        waiting += counts[v] != 0 ? 1 : 0;
        signs |= counts[v];
    }
    leaves = static_cast<int>(waiting);
    for (std::size_t i = 0; i < waiting; ++i) {
        present[s.symbols[i]] = 1;
    }
    if (leaves == 1) {
        only = s.symbols[0];
    }
    if (leaves < 2) {
        return;
    }
    const std::size_t next = signs < 0 ? pairByHeap(s, waiting) : pairByQueues(s, waiting);

    // From the root down, each node's depth and code (its first bit, the
    // root's branch, in bit 0); inner nodes numbered from the root, the last
    // made being 0.
    const auto entryOf = [next](std::int16_t n) {
        return static_cast<std::int16_t>(n < format::kSymbols ? ~static_cast<int>(n)
                                                              : static_cast<int>(next) - 1 - n);
    };
    s.depth[next - 1] = 0;
    s.code[next - 1] = 0;
    for (std::size_t n = next - 1; n >= format::kSymbols; --n) {
        const unsigned depth = s.depth[n];
        const auto& children = s.children[n - format::kSymbols];
        for (std::size_t branch = 0; branch < 2; ++branch) {
            const auto child = static_cast<std::size_t>(children[branch]);
            s.depth[child] = static_cast<std::uint8_t>(depth + 1);
            s.code[child] = s.code[n] | (depth < 64 ? std::uint64_t{branch} << depth : 0);
        }
        innerNodes[next - 1 - n] = {entryOf(children[0]), entryOf(children[1])};
    }
    for (std::size_t i = 0; i < waiting; ++i) {
        const std::uint8_t v = s.symbols[i];
        codes[v] = s.code[v];
        lengths[v] = s.depth[v];
        deepest = std::max(deepest, static_cast<int>(s.depth[v]));
    }
}

}  // namespace huffcodec
