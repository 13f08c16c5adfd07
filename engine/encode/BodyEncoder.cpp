// SPDX-License-Identifier: MIT
//
// Code tables and bit accumulator of the fast encoder.
#include "encode/BodyEncoder.hpp"

#include <cstring>

#include "common/Kernels.hpp"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the accumulator is stored in little-endian order");

// The loop is compiled twice on x86 (see Kernels.hpp): with BMI2 it took a fifth
// less time on the 40 MB bench files, pairs or not. Each copy inlines all of
// it, so that the whole loop gets the target's instructions.
#if defined(__GNUC__)
#define HUFFCODEC_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define HUFFCODEC_ALWAYS_INLINE inline
#endif

namespace huffcodec {

namespace {

using CodeTable = BodyEncoder::CodeTable;

// Two codes that take at most this many bits share a pair entry: 24 bits of
// codes and 8 of length fill 32 bits, and two entries with the carried bits
// stay below 64 (7 + 2 * 24).
constexpr unsigned kMaxPairBits = 24;
constexpr std::uint32_t kOnePairAtATime = 0x40;

// The accumulator between stores: fewer than 8 carried bits, then the codes
// appended since; where the next store goes, and every table entry met that
// may be kUncoded. Passed by value into the loop and back: a copy of its own
// stays in registers, where stores through out could otherwise alias it.
struct Bits {
    std::uint64_t accumulator;
    unsigned count;
    std::uint8_t* out;
    std::uint64_t seen;
};

HUFFCODEC_ALWAYS_INLINE void append(Bits& bits, std::uint64_t entry) {
    bits.accumulator |= (entry >> 8) << bits.count;
    bits.count += static_cast<unsigned>(entry & BodyEncoder::kLengthMask);
}

// Stores the accumulator's whole bytes (eight are written) and keeps the rest.
HUFFCODEC_ALWAYS_INLINE void store(Bits& bits) {
    std::memcpy(bits.out, &bits.accumulator, sizeof bits.accumulator);
    bits.out += bits.count >> 3;
    bits.accumulator >>= bits.count & ~7u;  // at most 56: count stays below 64
    bits.count &= 7;
}

// Appends kSymbolsPerStore codes between two stores: the accumulator holds
// fewer than 8 carried bits plus that many codes, which must fit in 64 bits.
template <int kSymbolsPerStore>
HUFFCODEC_ALWAYS_INLINE void encodeSingles(const CodeTable& code, const std::uint8_t* data,
                                           std::size_t size, Bits& bits) {
    std::size_t i = 0;
    for (; i + kSymbolsPerStore <= size; i += kSymbolsPerStore) {
        for (int k = 0; k < kSymbolsPerStore; ++k) {
            const std::uint64_t entry = code.codes[data[i + k]];
            bits.seen |= entry;
            append(bits, entry);
        }
        store(bits);
    }
    for (; i < size; ++i) {
        const std::uint64_t entry = code.codes[data[i]];
        bits.seen |= entry;
        append(bits, entry);
        store(bits);
    }
}

// Four bytes a store, as two pairs; a pair without an entry of its own sends
// those four bytes through the one-code path. Pair entries hold no byte value
// without a code, so only that path needs to look for them.
HUFFCODEC_ALWAYS_INLINE void encodePairs(const CodeTable& code, const std::uint8_t* data,
                                         std::size_t size, Bits& bits) {
    const std::uint32_t* pairs = code.pairs.get();
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        std::uint32_t four;
        std::memcpy(&four, data + i, sizeof four);
        const std::uint32_t first = pairs[four & 0xFFFF];
        const std::uint32_t second = pairs[four >> 16];
        if (((first | second) & kOnePairAtATime) != 0) {
            encodeSingles<1>(code, data + i, 4, bits);
            continue;
        }
        append(bits, first);
        append(bits, second);
        store(bits);
    }
    encodeSingles<1>(code, data + i, size - i, bits);
}

// The whole loop, inlined into each compiled copy.
HUFFCODEC_ALWAYS_INLINE Bits encodeAll(const CodeTable& code, int maxLength,
                                       const std::uint8_t* data, std::size_t size, Bits bits) {
    // Up to 7 carried bits and k codes of maxLength bits must leave the
    // accumulator's shift below 64: k * maxLength <= kMaxCodeBits.
    constexpr int kMaxCodeBits = BodyEncoder::kMaxCodeBits;
    if (code.pairs != nullptr) {
        encodePairs(code, data, size, bits);
    } else if (maxLength <= kMaxCodeBits / 4) {
        encodeSingles<4>(code, data, size, bits);
    } else if (maxLength <= kMaxCodeBits / 3) {
        encodeSingles<3>(code, data, size, bits);
    } else if (maxLength <= kMaxCodeBits / 2) {
        encodeSingles<2>(code, data, size, bits);
    } else {
        encodeSingles<1>(code, data, size, bits);
    }
    return bits;
}

Bits encodePortable(const CodeTable& code, int maxLength, const std::uint8_t* data,
                    std::size_t size, Bits bits) {
    return encodeAll(code, maxLength, data, size, bits);
}

#if HUFFCODEC_BMI2_BUILD
__attribute__((target("bmi2"))) Bits encodeBmi2(const CodeTable& code, int maxLength,
                                                const std::uint8_t* data, std::size_t size,
                                                Bits bits) {
    return encodeAll(code, maxLength, data, size, bits);
}
#endif

std::unique_ptr<std::uint32_t[]> pairTableOf(const std::array<std::uint64_t, 256>& codes) {
    auto pairs = std::make_unique<std::uint32_t[]>(std::size_t{1} << 16);
    for (std::size_t second = 0; second < 256; ++second) {
        const std::uint64_t b = codes[second];
        const auto secondBits = static_cast<unsigned>(b & BodyEncoder::kLengthMask);
        std::uint32_t* row = pairs.get() + (second << 8);
        for (std::size_t first = 0; first < 256; ++first) {
            const std::uint64_t a = codes[first];
            const auto firstBits = static_cast<unsigned>(a & BodyEncoder::kLengthMask);
            const unsigned total = firstBits + secondBits;
            if (((a | b) & BodyEncoder::kUncoded) != 0 || total > kMaxPairBits) {
                row[first] = kOnePairAtATime;
                continue;
            }
            const std::uint64_t both = (a >> 8) | ((b >> 8) << firstBits);
            row[first] = static_cast<std::uint32_t>(both << 8 | total);
        }
    }
    return pairs;
}

}  // namespace

BodyEncoder::BodyEncoder(const CodeTree& code, std::uint64_t inputBytes) {
    auto built = std::make_shared<CodeTable>();
    for (int symbol = 0; symbol < format::kSymbols; ++symbol) {
        const auto v = static_cast<std::uint8_t>(symbol);
        built->lengths[v] = static_cast<std::uint8_t>(code.length(v));
        built->codes[v] = code.hasLeaf(v)
                              ? code.code(v) << 8 | static_cast<std::uint64_t>(code.length(v))
                              : kUncoded;
    }
    maxLength = code.maxLength();
    built->byteCode = code.leafCount() == format::kSymbols && maxLength == 8;
    for (std::size_t v = 0; v < built->codeBytes.size(); ++v) {
        built->codeBytes[v] = static_cast<std::uint8_t>(built->codes[v] >> 8);
    }
    // Codes of no bits (one leaf) gain nothing from pairs, and codes of eight
    // bits for every byte take the byte table.
    if (inputBytes >= kPairTableFrom && maxLength > 0 && supportsTree() && !built->byteCode) {
        built->pairs = pairTableOf(built->codes);
    }
    table = std::move(built);
}

std::size_t BodyEncoder::encode(const std::uint8_t* data, std::size_t size, std::uint8_t* out) {
    if (table->byteCode && pendingBits == 0) {
        mapBytes(table->codeBytes, data, size, out, kernel);
        return size;
    }
    const Bits start{pending, pendingBits, out, 0};
#if HUFFCODEC_BMI2_BUILD
    const Bits bits = kernelUsesBmi2(kernel) ? encodeBmi2(*table, maxLength, data, size, start)
                                             : encodePortable(*table, maxLength, data, size, start);
#else
    const Bits bits = encodePortable(*table, maxLength, data, size, start);
#endif
    pending = bits.accumulator;
    pendingBits = bits.count;
    sawUncoded = sawUncoded || (bits.seen & kUncoded) != 0;
    return static_cast<std::size_t>(bits.out - out);
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
