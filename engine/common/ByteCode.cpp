// SPDX-License-Identifier: MIT
//
// Byte tables applied eight bytes a word, or 64 at a time in AVX-512 registers.
#include "common/ByteCode.hpp"

#include <cstring>

#include "common/Kernels.hpp"

#if HUFFCODEC_VBMI_BUILD
// GCC 12's AVX-512 headers start some intrinsics from an undefined value,
// which it then reports as uninitialized where they are inlined.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace huffcodec {

namespace {

// Eight lookups a load and a store: a loop of byte loads and stores ran at
// about the same speed (4 GB/s on the Zen 5 we measured), this keeps the
// stores whole.
void mapBytesPortable(const ByteTable& table, const std::uint8_t* in, std::size_t size,
                      std::uint8_t* out) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, sizeof word);
        std::uint64_t mapped = 0;
        for (unsigned k = 0; k < 8; ++k) {
            mapped |= static_cast<std::uint64_t>(table[(word >> (8 * k)) & 0xFF]) << (8 * k);
        }
        std::memcpy(out + i, &mapped, sizeof mapped);
    }
    for (; i < size; ++i) {
        out[i] = table[in[i]];
    }
}

#if HUFFCODEC_VBMI_BUILD
// vpermi2b looks up 64 bytes in 128 table bytes by their low seven bits; the
// top bit picks the lower or the upper half of the table. 19 to 22 GB/s on
// the same machine, five times the portable loop.
[[gnu::target("avx512f,avx512bw,avx512vbmi,bmi2")]] void mapBytesVbmi(const ByteTable& table,
                                                                      const std::uint8_t* in,
                                                                      std::size_t size,
                                                                      std::uint8_t* out) {
    if (avx512VbmiHidden()) {
        __builtin_trap();  // ud2: SIGILL, as a processor without the instructions gives
    }
    const __m512i t0 = _mm512_loadu_si512(table.data());
    const __m512i t1 = _mm512_loadu_si512(table.data() + 64);
    const __m512i t2 = _mm512_loadu_si512(table.data() + 128);
    const __m512i t3 = _mm512_loadu_si512(table.data() + 192);
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i x = _mm512_loadu_si512(in + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);
        _mm512_storeu_si512(out + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
    }
    if (i < size) {
        // The last bytes through masked loads and stores, none past size.
        const __mmask64 rest = _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(size - i));
        const __m512i x = _mm512_maskz_loadu_epi8(rest, in + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);
        _mm512_mask_storeu_epi8(out + i, rest,
                                _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
    }
}
#endif

}  // namespace

void mapBytes(const ByteTable& table, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
              Kernel kernel) {
#if HUFFCODEC_VBMI_BUILD
    if (kernelUsesVbmi(kernel)) {
        mapBytesVbmi(table, in, size, out);
        return;
    }
#endif
    static_cast<void>(kernel);
    mapBytesPortable(table, in, size, out);
}

}  // namespace huffcodec
