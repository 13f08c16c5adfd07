// SPDX-License-Identifier: MIT
//
// Code table and bit accumulator of the fast encoder.
#include "BodyEncoder.hpp"

#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the accumulator is stored in little-endian order");

namespace huffcodec {

BodyEncoder::BodyEncoder(const HCTree& tree) {
    auto built = std::make_shared<CodeTable>();
    std::array<std::uint64_t, 256>& codes = built->codes;
    std::array<std::uint8_t, 256>& lengths = built->lengths;
    for (int symbol = 0; symbol < 256; ++symbol) {
        const HCNode* leaf = tree.getLeaf(static_cast<std::uint8_t>(symbol));
        built->uncoded[symbol] = leaf == nullptr ? 1 : 0;
        // Climb to the root: the last branch found is the code's first bit.
        int length = 0;
        std::uint64_t code = 0;
        for (const HCNode* node = leaf; node != nullptr && node->parent != nullptr;
             node = node->parent) {
            const std::uint64_t bit = node == node->parent->child1 ? 1 : 0;
            code = length < 64 ? code << 1 | bit : code;
            ++length;
        }
        codes[symbol] = code;
        lengths[symbol] = static_cast<std::uint8_t>(length);
        maxLength = length > maxLength ? length : maxLength;
    }
    table = std::move(built);
}

// Appends kSymbolsPerStore codes to the accumulator between two stores: the
// accumulator holds fewer than 8 carried bits plus that many codes, which
// must fit in 64 bits.
template <int kSymbolsPerStore>
std::size_t BodyEncoder::encodeGroups(const std::uint8_t* data, std::size_t size,
                                      std::uint8_t* out) {
    std::uint8_t* const outStart = out;
    const CodeTable& code = *table;
    std::uint64_t accumulator = pending;
    unsigned bits = pendingBits;
    std::uint8_t uncodedSeen = 0;
    std::size_t i = 0;
    auto append = [&](std::uint8_t symbol) {
        accumulator |= code.codes[symbol] << bits;
        bits += code.lengths[symbol];
        uncodedSeen |= code.uncoded[symbol];
    };
    auto store = [&]() {
        std::memcpy(out, &accumulator, sizeof accumulator);
        out += bits >> 3;
        accumulator >>= bits & ~7u;  // at most 56: bits stays below 64
        bits &= 7;
    };
    for (; i + kSymbolsPerStore <= size; i += kSymbolsPerStore) {
        for (int k = 0; k < kSymbolsPerStore; ++k) {
            append(data[i + k]);
        }
        store();
    }
    for (; i < size; ++i) {
        append(data[i]);
        store();
    }
    pending = accumulator;
    pendingBits = bits;
    sawUncoded = sawUncoded || uncodedSeen != 0;
    return static_cast<std::size_t>(out - outStart);
}

std::size_t BodyEncoder::encode(const std::uint8_t* data, std::size_t size, std::uint8_t* out) {
    // Up to 7 carried bits and k codes of maxLength bits must leave the
    // accumulator's shift below 64: k * maxLength <= kMaxCodeBits.
    if (maxLength <= kMaxCodeBits / 4) {
        return encodeGroups<4>(data, size, out);
    }
    if (maxLength <= kMaxCodeBits / 3) {
        return encodeGroups<3>(data, size, out);
    }
    if (maxLength <= kMaxCodeBits / 2) {
        return encodeGroups<2>(data, size, out);
    }
    return encodeGroups<1>(data, size, out);
}

std::size_t BodyEncoder::finish(std::uint8_t* out) {
    if (pendingBits == 0) {
        return 0;
    }
    out[0] = static_cast<std::uint8_t>(pending);
    pending = 0;
    pendingBits = 0;
    return 1;
}

}  // namespace huffcodec
