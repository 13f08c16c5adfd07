// SPDX-License-Identifier: MIT
//
// Arbitrary count tables (entry i from input bytes 4i to 4i+3, little-endian,
// sign bit cleared; missing entries are 0) built into a tree, whose shape is
// then checked: one leaf per non-zero count, every leaf's parent chain reaches
// the root, every inner node has both children and is their parent, the codes
// are prefix-free, satisfy the Kraft equality and are at most 255 bits long.
// The engine's own code of the table must be the tree's, and so must the
// table encoder's codes and the decode tables built from it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.hpp"
#include "HCTree.hpp"
#include "Oracle.hpp"
#include "common/CodeTree.hpp"
#include "decode/DecodeTables.hpp"
#include "decode/StreamDecoder.hpp"
#include "encode/BodyEncoder.hpp"

namespace {

// Sum of 2^(255 - length) over the codes, in 256-bit arithmetic: the Kraft
// equality holds when it is exactly 2^255.
class KraftSum {
public:
    void add(int length) {
        const int bit = 255 - length;
        std::uint64_t carry = std::uint64_t{1} << (bit % 64);
        for (int word = bit / 64; word < 4 && carry != 0; ++word) {
            const std::uint64_t before = words[word];
            words[word] += carry;
            carry = words[word] < before ? 1 : 0;
        }
        overflow = overflow || carry != 0;
    }
    bool isOne() const {
        return !overflow && words[0] == 0 && words[1] == 0 && words[2] == 0 &&
               words[3] == std::uint64_t{1} << 63;
    }

private:
    std::array<std::uint64_t, 4> words{};
    bool overflow = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SymbolCounts counts(kNumSymbols, 0);
    for (std::size_t i = 0; i < static_cast<std::size_t>(kNumSymbols) && 4 * i + 4 <= size; ++i) {
        const std::uint32_t value = static_cast<std::uint32_t>(data[4 * i]) |
                                    static_cast<std::uint32_t>(data[4 * i + 1]) << 8 |
                                    static_cast<std::uint32_t>(data[4 * i + 2]) << 16 |
                                    static_cast<std::uint32_t>(data[4 * i + 3]) << 24;
        counts[i] = static_cast<std::int32_t>(value & 0x7FFFFFFF);
    }
    HCTree tree;
    tree.buildFromCounts(counts);
    const HCNode* root = tree.getRoot();

    std::vector<int> symbols;
    KraftSum kraft;
    for (int s = 0; s < kNumSymbols; ++s) {
        const HCNode* leaf = tree.getLeaf(static_cast<std::uint8_t>(s));
        FUZZ_CHECK((leaf != nullptr) == (counts[s] != 0));
        if (leaf == nullptr) {
            continue;
        }
        FUZZ_CHECK(leaf->child0 == nullptr && leaf->child1 == nullptr);
        FUZZ_CHECK(leaf->symbol == s && leaf->count == counts[s]);
        int depth = 0;
        const HCNode* node = leaf;
        while (node->parent != nullptr) {
            const HCNode* parent = node->parent;
            FUZZ_CHECK(parent->child0 != nullptr && parent->child1 != nullptr);
            FUZZ_CHECK(parent->child0 == node || parent->child1 == node);
            FUZZ_CHECK(parent->child0->parent == parent && parent->child1->parent == parent);
            FUZZ_CHECK(++depth <= 255);
            node = parent;
        }
        FUZZ_CHECK(node == root);
        symbols.push_back(s);
        if (root != leaf) {
            kraft.add(depth);
        }
    }
    if (symbols.empty()) {
        FUZZ_CHECK(root == nullptr);
        return 0;
    }
    if (symbols.size() >= 2) {
        FUZZ_CHECK(kraft.isOne());
    }
    // The oracle's codes, climbed from the leaves: every chain has been seen
    // to end at the root.
    const std::vector<std::string> treeCodes = oracle::codesOf(tree);
    std::vector<std::string> codes;
    for (const int s : symbols) {
        codes.push_back(treeCodes[s]);
    }
    huffcodec::CountTable table{};
    std::copy(counts.begin(), counts.end(), table.begin());
    const huffcodec::CodeTree engineCode(table);
    FUZZ_CHECK(engineCode.leafCount() == static_cast<int>(codes.size()));
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const auto s = static_cast<std::uint8_t>(symbols[i]);
        FUZZ_CHECK(engineCode.hasLeaf(s) &&
                   engineCode.length(s) == static_cast<int>(codes[i].size()));
        for (std::size_t bit = 0; bit < codes[i].size() && bit < 64; ++bit) {
            FUZZ_CHECK(((engineCode.code(s) >> bit) & 1) ==
                       static_cast<unsigned>(codes[i][bit] - '0'));
        }
    }
    std::vector<std::string> sorted = codes;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        FUZZ_CHECK(sorted[i].compare(0, sorted[i - 1].size(), sorted[i - 1]) != 0);
    }

    // Every symbol once through encodeSymbol, then back through both decoders.
    const std::string body = oracle::encodePlain(tree, std::string(symbols.begin(), symbols.end()));
    std::string expectedBits;
    for (const std::string& code : codes) {
        expectedBits += code;
    }
    FUZZ_CHECK(body.size() == (expectedBits.size() + 7) / 8);
    for (std::size_t i = 0; i < expectedBits.size(); ++i) {
        FUZZ_CHECK(((static_cast<unsigned char>(body[i / 8]) >> (i % 8)) & 1) ==
                   static_cast<unsigned>(expectedBits[i] - '0'));
    }
    huffcodec::BodyEncoder encoder(engineCode);
    if (encoder.supportsTree()) {
        std::vector<std::uint8_t> fast(encoder.outputBound(symbols.size()));
        std::vector<std::uint8_t> input(symbols.begin(), symbols.end());
        std::size_t bytes = encoder.encode(input.data(), input.size(), fast.data());
        bytes += encoder.finish(fast.data() + bytes);
        FUZZ_CHECK(std::string(fast.begin(), fast.begin() + static_cast<long>(bytes)) == body);
    }
    // Count tables outside the format (totals past 2^31 - 1, codes up to 255
    // bits) reach only the engine's own decoder, which must take them too.
    std::string decoded;
    const huffcodec::DecodeTables tables(engineCode);
    huffcodec::DecodeStats stats;
    huffcodec::DecodePlan plan;
    plan.lanes = static_cast<int>(size % 4) + 1;
    plan.segmentBytes = 64;
    // Through a write callback, or straight into a buffer of the symbols' size.
    std::vector<std::uint8_t> target(symbols.size());
    const huffcodec::WriteFn append = [&](const std::uint8_t* bytes, std::size_t n) {
        decoded.append(reinterpret_cast<const char*>(bytes), n);
        return true;
    };
    const bool intoBuffer = (size & 4) != 0;
    const auto result =
        huffcodec::StreamDecoder(tables, plan)
            .decode(symbols.size(), reinterpret_cast<const std::uint8_t*>(body.data()), body.size(),
                    intoBuffer ? huffcodec::BodyOutput(target.data(), target.size())
                               : huffcodec::BodyOutput(append),
                    stats);
    if (intoBuffer) {
        decoded.assign(target.begin(), target.begin() + static_cast<long>(result.symbolsWritten));
    }
    FUZZ_CHECK(result.status == huffcodec::Status::ok);
    FUZZ_CHECK(decoded.size() == symbols.size());
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        FUZZ_CHECK(static_cast<unsigned char>(decoded[i]) == symbols[i]);
    }
    return 0;
}
