// SPDX-License-Identifier: MIT
//
// Code table and bit accumulator of the fast encoder.
#include "BodyEncoder.hpp"

#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the accumulator is stored in little-endian order");

namespace huffcodec {

BodyEncoder::BodyEncoder(const CodeTree& code) {
    auto built = std::make_shared<CodeTable>();
    for (int symbol = 0; symbol < format::kSymbols; ++symbol) {
        const auto v = static_cast<std::uint8_t>(symbol);
        built->uncoded[v] = code.hasLeaf(v) ? 0 : 1;
        built->codes[v] = code.code(v);
        built->lengths[v] = static_cast<std::uint8_t>(code.length(v));
    }
    maxLength = code.maxLength();
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
