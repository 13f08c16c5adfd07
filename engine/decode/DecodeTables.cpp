// SPDX-License-Identifier: MIT
//
// Building the decode tables from the code: each entry written once, from
// the codes themselves and from entries built before it, so that the cost
// follows the table's size.
#include "decode/DecodeTables.hpp"

#include <algorithm>
#include <cstring>

namespace huffcodec {

namespace {

// The low count bytes of a run.
std::uint64_t lowBytes(int count) {
    return count >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101u;

}  // namespace

DecodeTables::DecodeTables(const CodeTree& code, TableKind kind) : tableKind(kind) {
    leaves = code.leafCount();
    only = code.onlySymbol();
    if (leaves < 2) {
        return;
    }
    for (int node = 0; node < leaves - 1; ++node) {
        nodesTable[static_cast<std::size_t>(node)] = code.inner(node);
    }
    lookupTable.reset(new std::uint64_t[size() + size() / sizeof(std::uint64_t)]);
    firstCodesTable.reset(new std::uint16_t[size()]);
    buildFirstCodes(code);
    for (std::size_t byte = 0; byte < byteSymbolTable.size(); ++byte) {
        byteSymbolTable[byte] = static_cast<std::uint8_t>(firstCodesTable[byte] & 0xFF);
    }
    buildRuns(code);
}

void DecodeTables::buildFirstCodes(const CodeTree& code) {
    const int bits = indexBits();
    std::uint16_t* const first = firstCodesTable.get();
    std::uint64_t* const runs = lookupTable.get();
    auto* const runBits = reinterpret_cast<std::uint8_t*>(runs + size());
    const bool single = tableKind.maxRun <= 1;
    // The symbols by code length, shortest first; lengths past the index
    // together at the end.
    std::array<int, kMaxIndexBits + 3> startOf{};
    for (int v = 0; v < format::kSymbols; ++v) {
        if (code.hasLeaf(static_cast<std::uint8_t>(v))) {
            ++startOf[static_cast<std::size_t>(
                          std::min(code.length(static_cast<std::uint8_t>(v)), bits + 1)) +
                      1];
        }
    }
    for (std::size_t length = 1; length < startOf.size(); ++length) {
        startOf[length] += startOf[length - 1];
    }
    std::array<std::uint8_t, format::kSymbols> byLength{};
    {
        std::array<int, kMaxIndexBits + 3> at = startOf;
        for (int v = 0; v < format::kSymbols; ++v) {
            const auto symbol = static_cast<std::uint8_t>(v);
            if (code.hasLeaf(symbol)) {
                byLength[static_cast<std::size_t>(
                    at[static_cast<std::size_t>(std::min(code.length(symbol), bits + 1))]++)] =
                    symbol;
            }
        }
    }
    // The table of the first L bits, doubled into that of the first L + 1
    // (a code shorter than L + 1 bits takes both halves), then given the
    // codes of L + 1 bits: each stage copies whole blocks, and each code is
    // written once. Entries no code has reached yet are prefixes of longer
    // codes, and are overwritten before the end: the code is complete.
    shortest = bits;
    std::size_t filled = 1;
    first[0] = 0;
    runs[0] = 0;
    runBits[0] = 0;
    for (int length = 1; length <= bits; ++length) {
        std::memcpy(first + filled, first, filled * sizeof *first);
        if (single) {
            std::memcpy(runs + filled, runs, filled * sizeof *runs);
            std::memcpy(runBits + filled, runBits, filled);
        }
        filled *= 2;
        const auto from = static_cast<std::size_t>(startOf[static_cast<std::size_t>(length)]);
        const auto to = static_cast<std::size_t>(startOf[static_cast<std::size_t>(length) + 1]);
        if (from < to) {
            shortest = std::min(shortest, length);
        }
        for (std::size_t i = from; i < to; ++i) {
            const std::uint8_t symbol = byLength[i];
            const auto index = static_cast<std::size_t>(code.code(symbol));
            first[index] = static_cast<std::uint16_t>(length << 8 | symbol);
            if (single) {
                runs[index] = symbol | std::uint64_t{1} << 56;
                runBits[index] = static_cast<std::uint8_t>(length);
            }
        }
    }
    // A long code: its first bits lead to an inner node, where the careful
    // step goes on. Codes that share those bits write the same.
    const auto longFrom = static_cast<std::size_t>(startOf[static_cast<std::size_t>(bits) + 1]);
    const auto longTo = static_cast<std::size_t>(startOf[static_cast<std::size_t>(bits) + 2]);
    for (std::size_t i = longFrom; i < longTo; ++i) {
        const auto prefix = static_cast<std::size_t>(code.code(byLength[i]) & indexMask());
        std::int16_t node = 0;
        for (int bit = 0; bit < bits; ++bit) {
            node = nodesTable[static_cast<std::size_t>(node)][(prefix >> bit) & 1];
        }
        first[prefix] = 0;
        runs[prefix] = static_cast<std::uint64_t>(node);
        runBits[prefix] = 0;
    }
}

void DecodeTables::buildRuns(const CodeTree& code) {
    const int bits = indexBits();
    const int maxRun = std::clamp(tableKind.maxRun, 1, kMaxRun);
    const std::size_t entries = size();
    const std::uint16_t* const first = firstCodesTable.get();
    std::uint64_t* const runs = lookupTable.get();
    auto* const runBits = reinterpret_cast<std::uint8_t*>(runs + entries);
    if (maxRun == 1) {
        return;  // the first codes wrote them
    }
    if (maxRun == 2) {
        // The entries of each first code (every index whose low bits are
        // its code) hold it and the first code of the bits after it, where
        // that fits: the second codes read in order from the first codes'
        // table, whose index y with zeros above the bits left is y itself.
        for (int v = 0; v < format::kSymbols; ++v) {
            const auto symbol = static_cast<std::uint8_t>(v);
            const int length = code.hasLeaf(symbol) ? code.length(symbol) : 0;
            if (length == 0 || length > bits) {
                continue;
            }
            const auto prefix = static_cast<std::size_t>(code.code(symbol));
            const auto budget = static_cast<unsigned>(bits - length);
            const std::size_t after = std::size_t{1} << budget;
            for (std::size_t rest = 0; rest < after; ++rest) {
                const unsigned next = first[rest];
                const unsigned nextLength = next >> 8;
                const bool two = nextLength - 1 < budget;  // 1 to budget
                const std::size_t index = prefix | rest << length;
                runs[index] = symbol | (two ? (next & 0xFF) << 8 : 0) |
                              (two ? std::uint64_t{2} : std::uint64_t{1}) << 56;
                runBits[index] = static_cast<std::uint8_t>(length + (two ? nextLength : 0));
            }
        }
        return;
    }
    // Longer runs from shorter ones. The run of index x is its first code,
    // of length L, then the run of x >> L cut to the codes that end within
    // the bits - L bits left: x >> L is a smaller index (built already), and
    // its own run, read with zeros above its bits, agrees with that cut as
    // far as the cut goes. Where each code of a run ends is kept, a byte a
    // code, for the cuts, which then take no branch: a code ends within the
    // budget where budget - end keeps a byte's top bit set.
    const std::unique_ptr<std::uint64_t[]> ends(new std::uint64_t[entries]);
    {
        // Index 0 is its own rest: its codes follow one another on zeros.
        const unsigned head = first[0];
        const int length = static_cast<int>(head >> 8);
        if (length == 0) {
            runBits[0] = 0;
        } else {
            const int count = std::min(maxRun, bits / length);
            std::uint64_t run = 0;
            std::uint64_t at = 0;
            for (int i = 0; i < count; ++i) {
                run |= static_cast<std::uint64_t>(head & 0xFF) << (8 * i);
                at |= static_cast<std::uint64_t>((i + 1) * length) << (8 * i);
            }
            runs[0] = run | static_cast<std::uint64_t>(count) << 56;
            runBits[0] = static_cast<std::uint8_t>(count * length);
            ends[0] = at;
        }
    }
    for (std::size_t index = 1; index < entries; ++index) {
        const unsigned head = first[index];
        const auto length = static_cast<unsigned>(head >> 8);
        if (length == 0) {
            runBits[index] = 0;
            continue;
        }
        const std::size_t rest = index >> length;
        const std::uint64_t restRun = runs[rest];
        const int restCount = runBits[rest] == 0 ? 0 : static_cast<int>(restRun >> 56);
        const std::uint64_t restEnds = ends[rest];
        const std::uint64_t budget = static_cast<unsigned>(bits) - length;
        const std::uint64_t within = ((budget | 0x80) * kEveryByte - restEnds) & 0x80 * kEveryByte &
                                     lowBytes(std::min(restCount, maxRun - 1));
        // The bytes whose top bit is set, counted by a multiply.
        const auto taken = static_cast<int>(((within >> 7) * kEveryByte) >> 56);
        runs[index] = (((head & 0xFF) | restRun << 8) & lowBytes(taken + 1)) |
                      static_cast<std::uint64_t>(taken + 1) << 56;
        runBits[index] = static_cast<std::uint8_t>(
            length + (taken > 0 ? (restEnds >> (8 * (taken - 1))) & 0xFF : 0));
        // Ends moved on by length; bytes past the run's count are never read.
        ends[index] = (length | (restEnds + length * kEveryByte) << 8) & lowBytes(7);
    }
}

}  // namespace huffcodec
