// SPDX-License-Identifier: MIT
//
// Pairing the waiting nodes, then reading every code off the parent links.
#include "CodeTree.hpp"

#include <algorithm>
#include <limits>
#include <memory>

namespace huffcodec {

namespace {

constexpr int kNodes = 2 * format::kSymbols - 1;
constexpr std::int16_t kNoParent = -1;

// Node n < kSymbols is the leaf of symbol n; inner nodes follow in the order
// they are made, so the root is the last one.
struct Scratch {
    std::array<std::int32_t, kNodes> count;
    std::array<std::uint8_t, kNodes> symbol;
    std::array<std::int16_t, kNodes> parent;
    std::array<std::uint8_t, kNodes> branch;             // the code bit that leads to the node
    std::array<std::int16_t, format::kSymbols> waiting;  // a heap, the next to pair on top
};

}  // namespace

CodeTree::CodeTree(const CountTable& counts) {
    const auto scratch = std::make_unique<Scratch>();
    Scratch& s = *scratch;
    // Paired later: a larger count, or an equal count and a larger symbol. No
    // two waiting nodes tie on both: each symbol stands in one waiting node.
    const auto pairedLater = [&s](std::int16_t a, std::int16_t b) {
        const auto ai = static_cast<std::size_t>(a);
        const auto bi = static_cast<std::size_t>(b);
        return s.count[ai] != s.count[bi] ? s.count[ai] > s.count[bi] : s.symbol[ai] > s.symbol[bi];
    };
    std::int16_t* const heap = s.waiting.data();
    std::size_t waiting = 0;
    for (std::size_t v = 0; v < counts.size(); ++v) {
        if (counts[v] != 0) {
            s.count[v] = counts[v];
            s.symbol[v] = static_cast<std::uint8_t>(v);
            s.parent[v] = kNoParent;
            heap[waiting++] = static_cast<std::int16_t>(v);
            std::push_heap(heap, heap + waiting, pairedLater);
        }
    }
    leaves = static_cast<int>(waiting);

    std::size_t next = format::kSymbols;  // the next inner node
    while (waiting > 1) {
        std::pop_heap(heap, heap + waiting--, pairedLater);
        const auto first = static_cast<std::size_t>(heap[waiting]);
        std::pop_heap(heap, heap + waiting--, pairedLater);
        const auto second = static_cast<std::size_t>(heap[waiting]);
        const std::size_t node = next++;
        // A valid header's counts add up to at most INT32_MAX; others
        // saturate, as the reference tree does.
        const std::int64_t sum = std::int64_t{s.count[first]} + s.count[second];
        s.count[node] = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max()));
        s.symbol[node] = s.symbol[first];
        s.parent[node] = kNoParent;
        s.parent[first] = static_cast<std::int16_t>(node);
        s.branch[first] = 0;
        s.parent[second] = static_cast<std::int16_t>(node);
        s.branch[second] = 1;
        heap[waiting++] = static_cast<std::int16_t>(node);
        std::push_heap(heap, heap + waiting, pairedLater);
    }

    if (leaves == 1) {
        only = s.symbol[static_cast<std::size_t>(heap[0])];
    }
    // Inner nodes numbered from the root down: the last made is 0.
    const auto entryOf = [&](std::size_t n) {
        return static_cast<std::int16_t>(n < format::kSymbols ? ~static_cast<int>(n)
                                                              : static_cast<int>(next - 1 - n));
    };
    for (std::size_t n = 0; n < next; ++n) {
        if (n < format::kSymbols && counts[n] == 0) {
            continue;
        }
        const std::int16_t parent = s.parent[n];
        if (parent != kNoParent) {
            innerNodes[next - 1 - static_cast<std::size_t>(parent)][s.branch[n]] = entryOf(n);
        }
    }

    // Climbing from a leaf meets its code's bits last to first: the length
    // first, then each bit into its place, the root's branch in bit 0.
    const auto parentOf = [&s](std::size_t n) { return static_cast<std::size_t>(s.parent[n]); };
    for (std::size_t v = 0; v < format::kSymbols; ++v) {
        if (counts[v] == 0) {
            continue;
        }
        present[v] = 1;
        int length = 0;
        for (std::size_t n = v; s.parent[n] != kNoParent; n = parentOf(n)) {
            ++length;
        }
        std::uint64_t bits = 0;
        int at = length;
        for (std::size_t n = v; s.parent[n] != kNoParent; n = parentOf(n)) {
            --at;
            bits |= at < 64 ? std::uint64_t{s.branch[n]} << at : 0;
        }
        codes[v] = bits;
        lengths[v] = static_cast<std::uint8_t>(length);
        deepest = std::max(deepest, length);
    }
}

}  // namespace huffcodec
