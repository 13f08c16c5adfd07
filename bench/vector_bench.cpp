// SPDX-License-Identifier: MIT
//
// Micro-benchmarks behind the choice of the decoding and encoding kernels on
// x86-64: what gathers cost, how far lanes held in vector registers get, and
// what a vector byte-to-code step gives. Not installed.
//
//   huffcodec_vector_bench gather [RUNS]
//       lookups per second over independent chains (each lookup's index is
//       the entry the previous one gave) from tables of 8192 and of 65536
//       32-bit entries: scalar loads, AVX2 gathers of 8, AVX-512 gathers of
//       16, with one and with four gathers in flight
//   huffcodec_vector_bench loop IN.huf [RUNS]
//       the scalar lane kernels over whole segments of 64 KiB (meetings
//       included), against prototypes of the lane loop in vector registers
//       over the same segments: 8 (AVX2) or 16 (AVX-512) lanes a register,
//       one to four registers in flight, entries of up to three symbols, the
//       next bits gathered at each lane's position or held in 64-bit buffers
//       refilled every four steps, and the symbols written by scalar stores,
//       by a transpose and vpcompressb, or by scatters. The prototypes time
//       the hot loop alone (no meetings, no tails, a long code skipped as 13
//       bits of nothing), and their output is checked against a scalar walk
//       of the same steps; then what meetings of 64 lanes a 64 KiB segment
//       cost on their own
//   huffcodec_vector_bench encode IN [RUNS]
//       byte counting, the encoder with one code a lookup and with pairs,
//       and a prototype of the byte-to-code step in AVX-512 registers (codes
//       of up to 24 bits), checked against the encoder's bits
//   huffcodec_vector_bench bytes [RUNS]
//       a 256-byte table applied to 64 MiB: a plain loop, eight bytes a word,
//       and AVX-512 VBMI (two vpermi2b and a blend a 64 bytes)
//
// Figures are medians of RUNS runs (default 7): millions of lookups, or MB
// of uncompressed data, per second.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12's AVX-512 headers start some intrinsics from an undefined value,
// which it then reports as uninitialized.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "common/CodeTree.hpp"
#include "decode/DecodeTables.hpp"
#include "decode/LaneMeeting.hpp"
#include "decode/SpanDecoder.hpp"
#include "encode/BodyEncoder.hpp"
#include "encode/ByteCounter.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename F>
double medianRate(int runs, double units, const F& body) {
    std::vector<double> rates;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        body();
        const std::chrono::duration<double> took = Clock::now() - start;
        rates.push_back(units / took.count() / 1e6);
    }
    return median(rates);
}

// ---- gathers alone ---------------------------------------------------------

// The large decode table's index, which the scalar kernels compared here use.
constexpr int kTableBits = huffcodec::DecodeTables::kLargeIndexBits;
constexpr int kTableSize = 1 << kTableBits;
constexpr std::uint32_t kTableMask = kTableSize - 1;
constexpr long kSteps = 4 << 20;

std::uint32_t sink = 0;

[[gnu::noinline]] std::uint32_t scalarChains(const std::uint32_t* table, long steps) {
    std::uint32_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (long s = 0; s < steps; ++s) {
        for (std::uint32_t& x : a) {
            x = table[x];
        }
    }
    std::uint32_t all = 0;
    for (const std::uint32_t x : a) {
        all ^= x;
    }
    return all;
}

template <int V>
[[gnu::target("avx2"), gnu::noinline]] std::uint32_t avx2Chains(const std::uint32_t* table,
                                                                long steps) {
    __m256i x[V];
    for (int v = 0; v < V; ++v) {
        x[v] = _mm256_setr_epi32(8 * v, 8 * v + 1, 8 * v + 2, 8 * v + 3, 8 * v + 4, 8 * v + 5,
                                 8 * v + 6, 8 * v + 7);
    }
    for (long s = 0; s < steps; ++s) {
        for (int v = 0; v < V; ++v) {
            x[v] = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), x[v], 4);
        }
    }
    __m256i all = x[0];
    for (int v = 1; v < V; ++v) {
        all = _mm256_xor_si256(all, x[v]);
    }
    return static_cast<std::uint32_t>(_mm256_extract_epi32(all, 0));
}

template <int V>
[[gnu::target("avx512f"), gnu::noinline]] std::uint32_t avx512Chains(const std::uint32_t* table,
                                                                     long steps) {
    __m512i x[V];
    for (int v = 0; v < V; ++v) {
        x[v] = _mm512_add_epi32(
            _mm512_set1_epi32(16 * v),
            _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    }
    for (long s = 0; s < steps; ++s) {
        for (int v = 0; v < V; ++v) {
            x[v] = _mm512_i32gather_epi32(x[v], table, 4);
        }
    }
    __m512i all = x[0];
    for (int v = 1; v < V; ++v) {
        all = _mm512_xor_si512(all, x[v]);
    }
    return static_cast<std::uint32_t>(_mm512_reduce_add_epi32(all));
}

int benchGathers(int runs, int tableSize) {
    std::printf("table of %d 32-bit entries\n", tableSize);
    std::vector<std::uint32_t> table(static_cast<std::size_t>(tableSize));
    std::mt19937 random(7);
    for (std::uint32_t& entry : table) {
        entry = random() % static_cast<std::uint32_t>(tableSize);
    }
    const std::uint32_t* t = table.data();
    const double scalar = medianRate(runs, 8.0 * kSteps, [&] { sink ^= scalarChains(t, kSteps); });
    std::printf("scalar loads, 8 chains:          %7.0f M lookups/s\n", scalar);
    if (__builtin_cpu_supports("avx2")) {
        const double one =
            medianRate(runs, 8.0 * kSteps, [&] { sink ^= avx2Chains<1>(t, kSteps); });
        const double four =
            medianRate(runs, 32.0 * kSteps, [&] { sink ^= avx2Chains<4>(t, kSteps); });
        std::printf("AVX2 gather of 8, 1 in flight:   %7.0f M lookups/s\n", one);
        std::printf("AVX2 gather of 8, 4 in flight:   %7.0f M lookups/s\n", four);
    }
    if (__builtin_cpu_supports("avx512f")) {
        const double one =
            medianRate(runs, 16.0 * kSteps, [&] { sink ^= avx512Chains<1>(t, kSteps); });
        const double four =
            medianRate(runs, 64.0 * kSteps, [&] { sink ^= avx512Chains<4>(t, kSteps); });
        std::printf("AVX-512 gather of 16, 1 in flight: %5.0f M lookups/s\n", one);
        std::printf("AVX-512 gather of 16, 4 in flight: %5.0f M lookups/s\n", four);
    }
    return 0;
}

// ---- the lane loop ---------------------------------------------------------

// A 32-bit entry: up to three symbols in bytes 0 to 2, the bits they take in
// bits 24 to 27 (0 for a code longer than the index), their number in bits
// 28 and 29.
std::vector<std::uint32_t> narrowTable(const huffcodec::DecodeTables& tables) {
    using huffcodec::DecodeTables;
    std::vector<std::uint32_t> table(kTableSize);
    for (std::uint32_t index = 0; index < kTableSize; ++index) {
        std::uint32_t entry = 0;
        int used = 0;
        int count = 0;
        while (count < 3) {
            const std::uint16_t first = tables.firstCodes()[(index >> used) & kTableMask];
            const int length = first >> 8;
            if (length == 0 || length > kTableBits - used) {
                break;
            }
            entry |= static_cast<std::uint32_t>(first & 0xFF) << (8 * count);
            ++count;
            used += length;
        }
        // A long code is skipped here as 13 bits of no symbols: the kernel
        // takes it with the careful step, which this prototype leaves out
        // (such codes are rare where the speed matters).
        used = count == 0 ? kTableBits : used;
        table[index] = entry | static_cast<std::uint32_t>(used) << 24 |
                       static_cast<std::uint32_t>(count) << 28;
    }
    return table;
}

constexpr int kBatch = 16;        // steps between output passes
constexpr int kMaxStepBits = 13;  // bits one step takes at most

struct LoopSetup {
    const std::uint8_t* body;
    std::size_t size;  // bytes of body the segments cover
    const std::uint32_t* table;
    std::size_t segment;
    std::vector<std::uint8_t>* regions;  // one per lane
    std::uint8_t* arena;                 // kArenaRegion bytes a lane, for scatters
    // The last segment a loop ran and the steps its lanes took, to check
    // the output left in the regions (or the arena).
    mutable std::size_t lastStart = 0;
    mutable long lastSteps = 0;
};

constexpr std::int32_t kArenaRegion = 1 << 16;

// Output kinds: 0 none (entries only folded into a checksum), 1 scalar
// stores from the staged entries, 2 transposed and compressed (AVX-512).
// V vectors of lanes in flight: each step waits for two gathers, so one
// vector alone runs at their latency.
template <int kOutput, int V>
[[gnu::target("avx2,bmi2"), gnu::noinline]] std::uint64_t avx2Loop(const LoopSetup& s) {
    constexpr int W = 8;
    constexpr int N = V * W;
    std::uint64_t produced = 0;
    alignas(32) std::uint32_t stage[kBatch][N];
    __m256i fold = _mm256_setzero_si256();
    const __m256i seven = _mm256_set1_epi32(7);
    const __m256i mask = _mm256_set1_epi32(kTableMask);
    const __m256i fifteen = _mm256_set1_epi32(15);
    for (std::size_t start = 0; start + s.segment <= s.size; start += s.segment) {
        const std::uint8_t* base = s.body + start;
        s.lastStart = start;
        s.lastSteps = 0;
        const auto part = static_cast<std::int32_t>(s.segment / N);
        __m256i pos[V];
        for (int v = 0; v < V; ++v) {
            pos[v] = _mm256_mullo_epi32(_mm256_add_epi32(_mm256_set1_epi32(W * v),
                                                         _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)),
                                        _mm256_set1_epi32(8 * part));
        }
        std::uint8_t* out[N];
        for (int k = 0; k < N; ++k) {
            out[k] = s.regions[k].data();
        }
        // Every lane is kept below the end of its part.
        const std::int32_t stop = 8 * part - kBatch * kMaxStepBits;
        for (;;) {
            alignas(32) std::int32_t p[N];
            for (int v = 0; v < V; ++v) {
                _mm256_store_si256(reinterpret_cast<__m256i*>(p + W * v), pos[v]);
            }
            std::int32_t furthest = 0;
            for (int k = 0; k < N; ++k) {
                furthest = std::max(furthest, p[k] - 8 * part * k);
            }
            if (furthest > stop) {
                break;
            }
            s.lastSteps += kBatch;
            for (int t = 0; t < kBatch; ++t) {
                for (int v = 0; v < V; ++v) {
                    const __m256i word = _mm256_i32gather_epi32(reinterpret_cast<const int*>(base),
                                                                _mm256_srli_epi32(pos[v], 3), 1);
                    const __m256i index = _mm256_and_si256(
                        _mm256_srlv_epi32(word, _mm256_and_si256(pos[v], seven)), mask);
                    const __m256i entry =
                        _mm256_i32gather_epi32(reinterpret_cast<const int*>(s.table), index, 4);
                    pos[v] = _mm256_add_epi32(
                        pos[v], _mm256_and_si256(_mm256_srli_epi32(entry, 24), fifteen));
                    if (kOutput == 0) {
                        fold = _mm256_add_epi32(fold, _mm256_srli_epi32(entry, 28));
                    } else {
                        _mm256_store_si256(reinterpret_cast<__m256i*>(stage[t] + W * v), entry);
                    }
                }
            }
            if (kOutput == 1) {
                for (int k = 0; k < N; ++k) {
                    std::uint8_t* o = out[k];
                    for (int t = 0; t < kBatch; ++t) {
                        const std::uint32_t e = stage[t][k];
                        std::memcpy(o, &e, 4);
                        o += e >> 28;
                    }
                    out[k] = o;
                }
            }
        }
        for (int k = 0; k < N; ++k) {
            produced += static_cast<std::uint64_t>(out[k] - s.regions[k].data());
        }
    }
    alignas(32) std::uint32_t f[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(f), fold);
    for (const std::uint32_t x : f) {
        produced += x;
    }
    return produced;
}

// Transposes 16 rows of 16 dwords in place: r[k] becomes column k.
[[gnu::target("avx512f"), gnu::always_inline]] inline void transpose16(__m512i* r) {
    __m512i t[16];
    for (int i = 0; i < 16; i += 2) {
        t[i] = _mm512_unpacklo_epi32(r[i], r[i + 1]);
        t[i + 1] = _mm512_unpackhi_epi32(r[i], r[i + 1]);
    }
    for (int i = 0; i < 16; i += 4) {
        r[i] = _mm512_unpacklo_epi64(t[i], t[i + 2]);
        r[i + 1] = _mm512_unpackhi_epi64(t[i], t[i + 2]);
        r[i + 2] = _mm512_unpacklo_epi64(t[i + 1], t[i + 3]);
        r[i + 3] = _mm512_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    // Each 128-bit part of r[4g + j] now holds column j of its part's four
    // columns, rows 4g to 4g + 3: the parts are moved into place.
    for (int i = 0; i < 4; ++i) {
        t[i] = _mm512_shuffle_i32x4(r[i], r[i + 4], 0x88);
        t[i + 4] = _mm512_shuffle_i32x4(r[i], r[i + 4], 0xDD);
        t[i + 8] = _mm512_shuffle_i32x4(r[i + 8], r[i + 12], 0x88);
        t[i + 12] = _mm512_shuffle_i32x4(r[i + 8], r[i + 12], 0xDD);
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = _mm512_shuffle_i32x4(t[i], t[i + 8], 0x88);
        r[i + 8] = _mm512_shuffle_i32x4(t[i], t[i + 8], 0xDD);
        r[i + 4] = _mm512_shuffle_i32x4(t[i + 4], t[i + 12], 0x88);
        r[i + 12] = _mm512_shuffle_i32x4(t[i + 4], t[i + 12], 0xDD);
    }
}

template <int kOutput, int V>
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2,popcnt"), gnu::noinline]] std::uint64_t
avx512Loop(const LoopSetup& s) {
    constexpr int W = 16;
    constexpr int N = V * W;
    std::uint64_t produced = 0;
    alignas(64) std::uint32_t stage[kBatch][N];
    __m512i fold = _mm512_setzero_si512();
    const __m512i seven = _mm512_set1_epi32(7);
    const __m512i mask = _mm512_set1_epi32(kTableMask);
    const __m512i fifteen = _mm512_set1_epi32(15);
    // Byte j of a dword is a symbol when j is below the dword's count.
    const __m512i byteInDword = _mm512_set1_epi32(0x03020100);
    // Byte 0 of each dword (its count, once shifted down) into all four.
    const __m512i countToBytes = _mm512_set4_epi32(0x0C0C0C0C, 0x08080808, 0x04040404, 0);
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (std::size_t start = 0; start + s.segment <= s.size; start += s.segment) {
        const std::uint8_t* base = s.body + start;
        s.lastStart = start;
        s.lastSteps = 0;
        const auto part = static_cast<std::int32_t>(s.segment / N);
        __m512i pos[V];
        __m512i partStarts[V];
        for (int v = 0; v < V; ++v) {
            pos[v] = _mm512_mullo_epi32(_mm512_add_epi32(_mm512_set1_epi32(W * v), lanes),
                                        _mm512_set1_epi32(8 * part));
            partStarts[v] = pos[v];
        }
        std::uint8_t* out[N];
        for (int k = 0; k < N; ++k) {
            out[k] = s.regions[k].data();
        }
        const std::int32_t stop = 8 * part - kBatch * kMaxStepBits;
        for (;;) {
            __m512i furthest = _mm512_sub_epi32(pos[0], partStarts[0]);
            for (int v = 1; v < V; ++v) {
                furthest = _mm512_max_epi32(furthest, _mm512_sub_epi32(pos[v], partStarts[v]));
            }
            if (_mm512_reduce_max_epi32(furthest) > stop) {
                break;
            }
            s.lastSteps += kBatch;
            for (int t = 0; t < kBatch; ++t) {
                for (int v = 0; v < V; ++v) {
                    const __m512i word =
                        _mm512_i32gather_epi32(_mm512_srli_epi32(pos[v], 3), base, 1);
                    const __m512i index = _mm512_and_si512(
                        _mm512_srlv_epi32(word, _mm512_and_si512(pos[v], seven)), mask);
                    const __m512i entry = _mm512_i32gather_epi32(index, s.table, 4);
                    pos[v] = _mm512_add_epi32(
                        pos[v], _mm512_and_si512(_mm512_srli_epi32(entry, 24), fifteen));
                    if (kOutput == 0) {
                        fold = _mm512_add_epi32(fold, _mm512_srli_epi32(entry, 28));
                    } else {
                        _mm512_store_si512(stage[t] + W * v, entry);
                    }
                }
            }
            if (kOutput == 1) {
                for (int k = 0; k < N; ++k) {
                    std::uint8_t* o = out[k];
                    for (int t = 0; t < kBatch; ++t) {
                        const std::uint32_t e = stage[t][k];
                        std::memcpy(o, &e, 4);
                        o += e >> 28;
                    }
                    out[k] = o;
                }
            } else if (kOutput == 2) {
                for (int v = 0; v < V; ++v) {
                    __m512i rows[kBatch];
                    for (int t = 0; t < kBatch; ++t) {
                        rows[t] = _mm512_load_si512(stage[t] + W * v);
                    }
                    transpose16(rows);
                    for (int k = 0; k < W; ++k) {
                        const __m512i counts =
                            _mm512_shuffle_epi8(_mm512_srli_epi32(rows[k], 28), countToBytes);
                        const __mmask64 keep = _mm512_cmplt_epu8_mask(byteInDword, counts);
                        _mm512_storeu_si512(out[W * v + k],
                                            _mm512_maskz_compress_epi8(keep, rows[k]));
                        out[W * v + k] += _mm_popcnt_u64(keep);
                    }
                }
            }
        }
        for (int k = 0; k < N; ++k) {
            produced += static_cast<std::uint64_t>(out[k] - s.regions[k].data());
        }
    }
    produced += static_cast<std::uint64_t>(_mm512_reduce_add_epi32(fold));
    return produced;
}

// The same with a 64-bit bit buffer a lane (two vectors of 8 for 16 lanes),
// refilled by one 64-bit gather every four steps: a step gathers only its
// table entries.
template <int kOutput, int V>
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2,popcnt"), gnu::noinline]] std::uint64_t
avx512BufferLoop(const LoopSetup& s) {
    constexpr int W = 16;
    constexpr int N = V * W;
    constexpr int kStepsPerRefill = 4;
    std::uint64_t produced = 0;
    alignas(64) std::uint32_t stage[kBatch][N];
    __m512i fold = _mm512_setzero_si512();
    const __m512i mask = _mm512_set1_epi32(kTableMask);
    const __m512i fifteen = _mm512_set1_epi32(15);
    const __m512i evens =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i byteInDword = _mm512_set1_epi32(0x03020100);
    // Byte 0 of each dword (its count, once shifted down) into all four.
    const __m512i countToBytes = _mm512_set4_epi32(0x0C0C0C0C, 0x08080808, 0x04040404, 0);
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (std::size_t start = 0; start + s.segment <= s.size; start += s.segment) {
        const std::uint8_t* base = s.body + start;
        s.lastStart = start;
        s.lastSteps = 0;
        const auto part = static_cast<std::int32_t>(s.segment / N);
        __m512i next[V], count[V], low[V], high[V], partStarts[V];
        for (int v = 0; v < V; ++v) {
            next[v] = _mm512_mullo_epi32(_mm512_add_epi32(_mm512_set1_epi32(W * v), lanes),
                                         _mm512_set1_epi32(part));
            partStarts[v] = next[v];
            count[v] = _mm512_setzero_si512();
            low[v] = _mm512_setzero_si512();
            high[v] = _mm512_setzero_si512();
        }
        std::uint8_t* out[N];
        for (int k = 0; k < N; ++k) {
            out[k] = s.regions[k].data();
        }
        __m512i offsets[V];
        for (int v = 0; v < V; ++v) {
            offsets[v] = _mm512_mullo_epi32(_mm512_add_epi32(_mm512_set1_epi32(W * v), lanes),
                                            _mm512_set1_epi32(kArenaRegion));
        }
        // In bytes: a lane's next byte is at most 8 past its position.
        const std::int32_t stop = part - (kBatch * kMaxStepBits) / 8 - 8;
        for (;;) {
            __m512i furthest = _mm512_sub_epi32(next[0], partStarts[0]);
            for (int v = 1; v < V; ++v) {
                furthest = _mm512_max_epi32(furthest, _mm512_sub_epi32(next[v], partStarts[v]));
            }
            if (_mm512_reduce_max_epi32(furthest) > stop) {
                break;
            }
            s.lastSteps += kBatch;
            for (int t = 0; t < kBatch; ++t) {
                for (int v = 0; v < V; ++v) {
                    if (t % kStepsPerRefill == 0) {
                        const __m512i wordLow =
                            _mm512_i32gather_epi64(_mm512_castsi512_si256(next[v]), base, 1);
                        const __m512i wordHigh =
                            _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(next[v], 1), base, 1);
                        low[v] = _mm512_or_si512(
                            low[v],
                            _mm512_sllv_epi64(
                                wordLow, _mm512_cvtepu32_epi64(_mm512_castsi512_si256(count[v]))));
                        high[v] = _mm512_or_si512(
                            high[v], _mm512_sllv_epi64(
                                         wordHigh, _mm512_cvtepu32_epi64(
                                                       _mm512_extracti64x4_epi64(count[v], 1))));
                        next[v] = _mm512_add_epi32(
                            next[v], _mm512_srli_epi32(
                                         _mm512_sub_epi32(_mm512_set1_epi32(63), count[v]), 3));
                        count[v] = _mm512_or_si512(count[v], _mm512_set1_epi32(56));
                    }
                    const __m512i index =
                        _mm512_and_si512(_mm512_permutex2var_epi32(low[v], evens, high[v]), mask);
                    const __m512i entry = _mm512_i32gather_epi32(index, s.table, 4);
                    const __m512i used = _mm512_and_si512(_mm512_srli_epi32(entry, 24), fifteen);
                    low[v] = _mm512_srlv_epi64(low[v],
                                               _mm512_cvtepu32_epi64(_mm512_castsi512_si256(used)));
                    high[v] = _mm512_srlv_epi64(
                        high[v], _mm512_cvtepu32_epi64(_mm512_extracti64x4_epi64(used, 1)));
                    count[v] = _mm512_sub_epi32(count[v], used);
                    if (kOutput == 0) {
                        fold = _mm512_add_epi32(fold, _mm512_srli_epi32(entry, 28));
                    } else if (kOutput == 6) {
                        _mm512_i32scatter_epi32(s.arena, offsets[v], entry, 1);
                        offsets[v] = _mm512_add_epi32(offsets[v], _mm512_srli_epi32(entry, 28));
                    } else {
                        _mm512_store_si512(stage[t] + W * v, entry);
                    }
                }
            }
            if (kOutput == 5) {
                for (int v = 0; v < V; ++v) {
                    for (int t = 0; t < kBatch; ++t) {
                        fold = _mm512_add_epi32(
                            fold, _mm512_srli_epi32(_mm512_load_si512(stage[t] + W * v), 28));
                    }
                }
            }
            if (kOutput == 2) {
                for (int v = 0; v < V; ++v) {
                    __m512i rows[kBatch];
                    for (int t = 0; t < kBatch; ++t) {
                        rows[t] = _mm512_load_si512(stage[t] + W * v);
                    }
                    transpose16(rows);
                    for (int k = 0; k < W; ++k) {
                        const __m512i counts =
                            _mm512_shuffle_epi8(_mm512_srli_epi32(rows[k], 28), countToBytes);
                        const __mmask64 keep = _mm512_cmplt_epu8_mask(byteInDword, counts);
                        _mm512_storeu_si512(out[W * v + k],
                                            _mm512_maskz_compress_epi8(keep, rows[k]));
                        out[W * v + k] += _mm_popcnt_u64(keep);
                    }
                }
            }
        }
        for (int k = 0; k < N; ++k) {
            produced += static_cast<std::uint64_t>(out[k] - s.regions[k].data());
        }
        if (kOutput == 6) {
            for (int v = 0; v < V; ++v) {
                produced +=
                    static_cast<std::uint64_t>(_mm512_reduce_add_epi32(offsets[v])) -
                    static_cast<std::uint64_t>(kArenaRegion) * (W * W * v * 2 + W * (W - 1)) / 2;
            }
        }
    }
    produced += static_cast<std::uint64_t>(_mm512_reduce_add_epi32(fold));
    return produced;
}

int benchLoop(const char* path, int runs) {
    std::ifstream file(path, std::ios::binary);
    const std::string packed((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
    const huffcodec::HeaderResult header = huffcodec::readHeader(packed.data(), packed.size());
    if (header.status != huffcodec::Status::ok || header.header.distinctBytes < 2) {
        std::fprintf(stderr, "%s: no body to decode\n", path);
        return 1;
    }
    const huffcodec::CodeTree code(header.header.counts);
    const huffcodec::DecodeTables tables(code);
    const std::vector<std::uint32_t> narrow = narrowTable(tables);
    const auto* body =
        reinterpret_cast<const std::uint8_t*>(packed.data()) + huffcodec::kHeaderBytes;
    const std::size_t bodySize = packed.size() - huffcodec::kHeaderBytes - 4096;
    constexpr std::size_t kSegment = std::size_t{1} << 16;
    // A lane decodes at most 8 symbols a bit of its part of at most kSegment / 8 bytes.
    std::vector<std::vector<std::uint8_t>> regions(64, std::vector<std::uint8_t>(kSegment + 64));
    std::vector<std::uint8_t> arena(64 * static_cast<std::size_t>(kArenaRegion) + 64);
    LoopSetup setup{body, bodySize, narrow.data(), kSegment, regions.data(), arena.data()};

    // Symbols per byte of body, from the header: the rates below are of
    // decoded bytes over the bits the loops covered.
    const double symbolsPerByte = static_cast<double>(header.header.originalSize) /
                                  static_cast<double>(packed.size() - huffcodec::kHeaderBytes);
    std::printf("%s: %.2f bits a symbol\n", path, 8.0 / symbolsPerByte);

    std::uint64_t produced = 0;
    // A loop that wrote symbols must have written, for each lane of the last
    // segment, what a scalar walk of the same steps from its part's start
    // gives: lanes lanes, output at the regions or (arena) the arena.
    const auto sameAsScalar = [&](int lanes, bool inArena) {
        const std::uint8_t* base = body + setup.lastStart;
        const std::size_t part = setup.segment / static_cast<std::size_t>(lanes);
        for (int k = 0; k < lanes; ++k) {
            std::uint64_t pos = 8 * part * static_cast<std::size_t>(k);
            std::string expected;
            for (long step = 0; step < setup.lastSteps; ++step) {
                std::uint32_t word;
                std::memcpy(&word, base + pos / 8, sizeof word);
                const std::uint32_t entry = narrow[(word >> (pos % 8)) & kTableMask];
                for (std::uint32_t n = 0; n < entry >> 28; ++n) {
                    expected.push_back(static_cast<char>(entry >> (8 * n)));
                }
                pos += entry >> 24 & 15;
            }
            const std::uint8_t* got = inArena
                                          ? setup.arena + static_cast<std::size_t>(kArenaRegion) * k
                                          : regions[static_cast<std::size_t>(k)].data();
            if (std::memcmp(got, expected.data(), expected.size()) != 0) {
                return false;
            }
        }
        return true;
    };
    // Rates are of the symbols each loop gave (a run gives the same every time).
    const auto report = [&](const char* name, const auto& loop, int lanes = 0,
                            bool inArena = false) {
        const double rate = medianRate(runs, 1.0, [&] { produced = loop(setup); });
        const auto bytes = static_cast<double>(produced);
        std::printf("  %-50s %6.2f ms, %5.0f MB/s (%.0f%% of the body)%s\n", name, 1e-3 / rate,
                    rate * bytes, 100.0 * bytes / symbolsPerByte / static_cast<double>(bodySize),
                    lanes == 0                     ? ""
                    : sameAsScalar(lanes, inArena) ? ", checked"
                                                   : ", WRONG OUTPUT");
    };
    // The scalar kernels: whole segments of four lanes, meetings included.
    for (const huffcodec::Kernel kernel : huffcodec::kKernels) {
        if (!huffcodec::kernelRuns(kernel)) {
            continue;
        }
        const huffcodec::SpanDecoder spans(tables, 4, kSegment, kernel);
        huffcodec::DecodeWorkspace workspace;
        workspace.reserve(4, spans.regionBytes());
        huffcodec::DecodeStats stats;
        const auto scalar = [&](const LoopSetup& s) {
            huffcodec::lanes::Lane lane{s.body, 0, 0, nullptr};
            std::uint64_t symbols = 0;
            while (static_cast<std::size_t>(lane.next - s.body) + s.segment +
                       huffcodec::SpanDecoder::kSegmentReserveBytes <=
                   s.size) {
                spans.decodeSegment(lane, s.body, s.body + s.size, workspace, stats);
                for (const huffcodec::Piece& piece : workspace.pieces()) {
                    symbols += piece.size;
                }
            }
            return symbols;
        };
        // Codes of eight bits for every byte value take the byte table, not the lanes.
        const std::string name = std::string("scalar 4 lanes, ") + huffcodec::kernelName(kernel) +
                                 (tables.byteCode() ? " (byte table)" : " (whole segments)");
        report(name.c_str(), scalar);
    }
    // What 64 lanes a segment would pay to meet: the true state stepped onto
    // a lane started at every 1 KiB of body (63 boundaries a 64 KiB segment
    // and one between segments), timed alone, from true states taken by a
    // careful walk beforehand.
    if (!tables.byteCode()) {
        std::vector<huffcodec::lanes::Lane> states;
        std::uint8_t scratch[16];
        huffcodec::lanes::Lane walk{body, 0, 0, scratch};
        const std::uint8_t* end = body + bodySize;
        for (std::size_t split = 1024; split + 4096 < bodySize; split += 1024) {
            while (huffcodec::lanes::bitPosition(walk, body) <
                   8 * static_cast<std::int64_t>(split)) {
                walk.out = scratch;
                huffcodec::lanes::carefulStep(walk, tables, end);
            }
            states.push_back(walk);
        }
        std::vector<std::uint8_t> meetingOutput(8192);
        std::uint64_t met = 0;
        const double rate = medianRate(runs, 1.0, [&] {
            for (std::size_t i = 0; i < states.size(); ++i) {
                huffcodec::lanes::Lane state = states[i];
                state.out = meetingOutput.data();
                met += huffcodec::meet(state, body, 8 * static_cast<std::int64_t>(1024 * (i + 1)),
                                       huffcodec::SpanDecoder::kWindowBits, tables, end)
                           .distance;
            }
        });
        std::printf("  %-50s %6.2f ms (%zu meetings, %.1f bits past the split on average)\n",
                    "meetings every 1 KiB (64 lanes a segment)", 1e-3 / rate, states.size(),
                    static_cast<double>(met) / static_cast<double>(runs) /
                        static_cast<double>(states.size()));
    }

    if (__builtin_cpu_supports("avx2")) {
        report("AVX2 1x8 lanes, no output", avx2Loop<0, 1>);
        report("AVX2 1x8 lanes, scalar stores", avx2Loop<1, 1>, 8);
        report("AVX2 4x8 lanes, no output", avx2Loop<0, 4>);
        report("AVX2 4x8 lanes, scalar stores", avx2Loop<1, 4>, 32);
    }
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vbmi2")) {
        report("AVX-512 1x16 lanes, no output", avx512Loop<0, 1>);
        report("AVX-512 4x16 lanes, no output", avx512Loop<0, 4>);
        report("AVX-512 4x16 lanes, scalar stores", avx512Loop<1, 4>, 64);
        report("AVX-512 4x16 lanes, transpose + compress", avx512Loop<2, 4>, 64);
        report("AVX-512 buffers 2x16 lanes, no output", avx512BufferLoop<0, 2>);
        report("AVX-512 buffers 2x16 lanes, transpose + compress", avx512BufferLoop<2, 2>, 32);
        report("AVX-512 buffers 4x16 lanes, no output", avx512BufferLoop<0, 4>);
        report("AVX-512 buffers 4x16 lanes, staged, read back", avx512BufferLoop<5, 4>);
        report("AVX-512 buffers 4x16 lanes, transpose + compress", avx512BufferLoop<2, 4>, 64);
        report("AVX-512 buffers 4x16 lanes, scatter", avx512BufferLoop<6, 4>, 64, true);
    }
    return 0;
}

// ---- the encoder's passes ---------------------------------------------------

// The byte-to-code step in AVX-512 registers, for codes of at most 24 bits:
// 64 bytes at a time looked up in byte tables held in registers (vpermi2b),
// their codes paired into 64-bit chunks, the chunks' offsets from a prefix sum
// of their lengths, and the chunks merged into whole 64-bit words by a
// segmented OR over the words they start in. State between blocks: the
// output word being filled and the bits it holds.
struct VectorTables {
    __m512i table[4][4];  // code bytes 0 to 2 and the length, 64 entries a register
};

VectorTables vectorTablesOf(const huffcodec::CodeTree& code) {
    alignas(64) std::uint8_t bytes[4][256] = {};
    for (int v = 0; v < 256; ++v) {
        const auto symbol = static_cast<std::uint8_t>(v);
        if (code.hasLeaf(symbol)) {
            const std::uint64_t bits = code.code(symbol);
            bytes[0][v] = static_cast<std::uint8_t>(bits);
            bytes[1][v] = static_cast<std::uint8_t>(bits >> 8);
            bytes[2][v] = static_cast<std::uint8_t>(bits >> 16);
            bytes[3][v] = static_cast<std::uint8_t>(code.length(symbol));
        }
    }
    VectorTables tables;
    for (int t = 0; t < 4; ++t) {
        for (int q = 0; q < 4; ++q) {
            std::memcpy(&tables.table[t][q], bytes[t] + 64 * q, 64);
        }
    }
    return tables;
}

struct VectorEncodeState {
    std::uint8_t* out;   // the word being filled
    std::uint64_t word;  // its bits so far
    unsigned bits;       // 0 to 63
    bool uncoded;        // a byte without a code was met
};

// 64 bytes looked up in a table of 256 bytes held in four registers.
[[gnu::target("avx512f,avx512bw,avx512vbmi"), gnu::always_inline]] inline __m512i lookupBytes(
    const __m512i* table, __m512i x, __mmask64 high) {
    const __m512i low = _mm512_permutex2var_epi8(table[0], x, table[1]);
    const __m512i top = _mm512_permutex2var_epi8(table[2], x, table[3]);
    return _mm512_mask_blend_epi8(high, low, top);
}

[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi,bmi2"), gnu::noinline]] VectorEncodeState
vectorEncode(const VectorTables& tables, const std::uint8_t* data, std::size_t size,
             VectorEncodeState state) {
    // Unpacking bytes to dwords works within 128-bit parts: the input is
    // permuted first so that the dwords come out in input order.
    alignas(64) std::uint8_t order[64];
    for (int i = 0; i < 64; ++i) {
        const int q = i / 16, m = i % 16 / 4, r = i % 4;
        order[i] = static_cast<std::uint8_t>(16 * m + 4 * q + r);
    }
    const __m512i permute = _mm512_load_si512(order);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i never = _mm512_set1_epi64(-1);
    const __m512i codeMask = _mm512_set1_epi64(0xFFFFFF);
    const __m512i byteMask = _mm512_set1_epi64(0xFF);
    const __m512i sixtyFour = _mm512_set1_epi64(64);
    const __m512i sixtyThree = _mm512_set1_epi64(63);
    const __m512i last = _mm512_set1_epi64(7);
    __m512i pending = _mm512_maskz_set1_epi64(1, static_cast<long long>(state.word));
    __m512i filled = _mm512_set1_epi64(state.bits);
    std::uint8_t* out = state.out;
    __mmask64 missing = 0;
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i x = _mm512_permutexvar_epi8(permute, _mm512_loadu_si512(data + i));
        const __mmask64 high = _mm512_movepi8_mask(x);
        const __m512i c0 = lookupBytes(tables.table[0], x, high);
        const __m512i c1 = lookupBytes(tables.table[1], x, high);
        const __m512i c2 = lookupBytes(tables.table[2], x, high);
        const __m512i len = lookupBytes(tables.table[3], x, high);
        missing |= _mm512_testn_epi8_mask(len, len);
        const __m512i low01 = _mm512_unpacklo_epi8(c0, c1);
        const __m512i high01 = _mm512_unpackhi_epi8(c0, c1);
        const __m512i low2l = _mm512_unpacklo_epi8(c2, len);
        const __m512i high2l = _mm512_unpackhi_epi8(c2, len);
        const __m512i entries[4] = {
            _mm512_unpacklo_epi16(low01, low2l), _mm512_unpackhi_epi16(low01, low2l),
            _mm512_unpacklo_epi16(high01, high2l), _mm512_unpackhi_epi16(high01, high2l)};
        for (const __m512i e : entries) {
            // Pairs: the even code, then the odd one above it.
            const __m512i evenLength = _mm512_and_si512(_mm512_srli_epi64(e, 24), byteMask);
            const __m512i chunk = _mm512_or_si512(
                _mm512_and_si512(e, codeMask),
                _mm512_sllv_epi64(_mm512_and_si512(_mm512_srli_epi64(e, 32), codeMask),
                                  evenLength));
            const __m512i length = _mm512_add_epi64(evenLength, _mm512_srli_epi64(e, 56));
            // Inclusive prefix sum of the lengths, then each chunk's offset.
            __m512i sum = _mm512_add_epi64(length, _mm512_alignr_epi64(length, zero, 7));
            sum = _mm512_add_epi64(sum, _mm512_alignr_epi64(sum, zero, 6));
            sum = _mm512_add_epi64(sum, _mm512_alignr_epi64(sum, zero, 4));
            const __m512i offset = _mm512_add_epi64(_mm512_sub_epi64(sum, length), filled);
            const __m512i word = _mm512_srli_epi64(offset, 6);
            const __m512i shift = _mm512_and_si512(offset, sixtyThree);
            __m512i low = _mm512_sllv_epi64(chunk, shift);
            const __m512i over = _mm512_srlv_epi64(chunk, _mm512_sub_epi64(sixtyFour, shift));
            // Chunks of at most 48 bits: every word from the first to the
            // last has a chunk starting in it, and the last chunk starting in
            // a word is the only one that can run into the next.
            for (const int d : {1, 2, 4}) {
                const __mmask8 same =
                    _mm512_cmpeq_epi64_mask(word, _mm512_alignr_epi64(word, never, 8 - d));
                low = _mm512_mask_or_epi64(low, same, low, _mm512_alignr_epi64(low, zero, 8 - d));
            }
            const __mmask8 ends =
                _mm512_cmpneq_epi64_mask(word, _mm512_alignr_epi64(never, word, 1));
            const __m512i words = _mm512_or_si512(
                _mm512_or_si512(_mm512_maskz_compress_epi64(ends, low), pending),
                _mm512_alignr_epi64(_mm512_maskz_compress_epi64(ends, over), zero, 7));
            _mm512_storeu_si512(out, words);
            const __m512i total = _mm512_add_epi64(_mm512_permutexvar_epi64(last, sum), filled);
            const __m512i whole = _mm512_srli_epi64(total, 6);
            out += 8 * _mm_cvtsi128_si64(_mm512_castsi512_si128(whole));
            filled = _mm512_and_si512(total, sixtyThree);
            pending = _mm512_maskz_permutexvar_epi64(1, whole, words);
        }
    }
    state.out = out;
    state.word = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(pending)));
    state.bits = static_cast<unsigned>(_mm_cvtsi128_si64(_mm512_castsi512_si128(filled)));
    state.uncoded = state.uncoded || missing != 0;
    return state;  // the bytes after the last whole 64 are left to the caller
}

// Counting with T tables of 32-bit counters, byte k of every T going to
// table k: a run of one value waits on T counters in turn.
template <int T>
[[gnu::noinline]] std::uint32_t countWith(const std::uint8_t* data, std::size_t size) {
    static std::uint32_t table[T][256];
    std::memset(table, 0, sizeof table);
    std::size_t i = 0;
    for (; i + T <= size; i += T) {
        for (int w = 0; w < T; w += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i + w, sizeof word);
            for (int k = 0; k < 8; ++k) {
                ++table[w + k][(word >> (8 * k)) & 0xFF];
            }
        }
    }
    for (; i < size; ++i) {
        ++table[0][data[i]];
    }
    std::uint32_t all = 0;
    for (int t = 0; t < T; ++t) {
        all += table[t][101];
    }
    return all;
}

int benchEncode(const char* path, int runs) {
    std::ifstream file(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    huffcodec::ByteCounter counter;
    counter.add(bytes, data.size());
    huffcodec::CountTable counts{};
    const std::array<std::uint64_t, 256> total = counter.counts();
    for (std::size_t v = 0; v < counts.size(); ++v) {
        counts[v] = static_cast<std::int32_t>(total[v]);
    }
    const huffcodec::CodeTree code(counts);
    std::vector<std::uint8_t> out(data.size() * 2 + 64);
    const auto size = static_cast<double>(data.size());
    const double counting = medianRate(runs, size, [&] {
        huffcodec::ByteCounter fresh;
        fresh.add(bytes, data.size());
        sink ^= static_cast<std::uint32_t>(fresh.counts()[0]);
    });
    const double count16 =
        medianRate(runs, size, [&] { sink ^= countWith<16>(bytes, data.size()); });
    const double count8 = medianRate(runs, size, [&] { sink ^= countWith<8>(bytes, data.size()); });
    std::printf("%s (codes up to %d bits): count %.0f MB/s (8 tables here %.0f, 16 tables %.0f)",
                path, code.maxLength(), counting, count8, count16);
    for (const bool pairs : {false, true}) {
        huffcodec::BodyEncoder encoder(code, pairs ? data.size() : 0);
        const double rate = medianRate(runs, size, [&] {
            encoder.startAt(0);
            sink ^= static_cast<std::uint32_t>(encoder.encode(bytes, data.size(), out.data()));
        });
        std::printf(", encode %s %.0f MB/s",
                    code.leafCount() == 256 && code.maxLength() == 8 ? "(byte table)"
                    : pairs                                          ? "with pairs"
                                                                     : "one code a lookup",
                    rate);
    }
    if (__builtin_cpu_supports("avx512vbmi") && code.maxLength() <= 24) {
        const std::size_t whole = data.size() / 64 * 64;
        const VectorTables tables = vectorTablesOf(code);
        std::vector<std::uint8_t> vectorOut(out.size());
        VectorEncodeState end{};
        const double rate = medianRate(runs, static_cast<double>(whole), [&] {
            end = vectorEncode(tables, bytes, whole, {vectorOut.data(), 0, 0, false});
        });
        // The same bits as the scalar encoder's.
        huffcodec::BodyEncoder encoder(code, data.size());
        const std::size_t stored = encoder.encode(bytes, whole, out.data());
        const auto vectorBytes =
            static_cast<std::size_t>(end.out - vectorOut.data()) + end.bits / 8;
        const bool same =
            vectorBytes == stored && std::memcmp(out.data(), vectorOut.data(), stored) == 0;
        std::printf(", AVX-512 %.0f MB/s (%s)", rate, same ? "same bits" : "DIFFERENT BITS");
    }
    std::printf("\n");
    return 0;
}

// ---- codes of eight bits for every byte value: a byte table ---------------

[[gnu::noinline]] void translateScalar(const std::uint8_t* table, const std::uint8_t* in,
                                       std::size_t size, std::uint8_t* out) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, sizeof word);
        std::uint64_t result = 0;
        for (int k = 0; k < 8; ++k) {
            result |= static_cast<std::uint64_t>(table[(word >> (8 * k)) & 0xFF]) << (8 * k);
        }
        std::memcpy(out + i, &result, sizeof result);
    }
    for (; i < size; ++i) {
        out[i] = table[in[i]];
    }
}

[[gnu::noinline]] void translatePlain(const std::uint8_t* table, const std::uint8_t* in,
                                      std::size_t size, std::uint8_t* out) {
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = table[in[i]];
    }
}

[[gnu::target("avx512f,avx512bw,avx512vbmi"), gnu::noinline]] void translateVbmi(
    const std::uint8_t* table, const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
    __m512i t[4];
    for (int q = 0; q < 4; ++q) {
        t[q] = _mm512_loadu_si512(table + 64 * q);
    }
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i x = _mm512_loadu_si512(in + i);
        _mm512_storeu_si512(out + i, lookupBytes(t, x, _mm512_movepi8_mask(x)));
    }
    translatePlain(table, in + i, size - i, out + i);
}

int benchBytes(int runs) {
    std::vector<std::uint8_t> in(64 << 20), out(in.size()), check(in.size());
    std::mt19937 random(3);
    for (std::uint8_t& b : in) {
        b = static_cast<std::uint8_t>(random());
    }
    std::uint8_t table[256];
    for (int v = 0; v < 256; ++v) {
        table[v] = static_cast<std::uint8_t>(v * 167 + 13);
    }
    const auto size = static_cast<double>(in.size());
    const double plain =
        medianRate(runs, size, [&] { translatePlain(table, in.data(), in.size(), check.data()); });
    const double scalar =
        medianRate(runs, size, [&] { translateScalar(table, in.data(), in.size(), out.data()); });
    std::printf("byte table, 64 MiB: plain loop %.0f MB/s, eight a word %.0f MB/s (%s)", plain,
                scalar, out == check ? "same" : "DIFFERENT");
    if (__builtin_cpu_supports("avx512vbmi")) {
        const double vbmi =
            medianRate(runs, size, [&] { translateVbmi(table, in.data(), in.size(), out.data()); });
        std::printf(", AVX-512 VBMI %.0f MB/s (%s)", vbmi, out == check ? "same" : "DIFFERENT");
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "gather" && argc <= 3) {
        const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 7;
        return benchGathers(runs, kTableSize) | benchGathers(runs, 8 * kTableSize);
    }
    if (mode == "loop" && (argc == 3 || argc == 4)) {
        return benchLoop(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 7);
    }
    if (mode == "bytes" && argc <= 3) {
        return benchBytes(argc == 3 ? std::max(1, std::atoi(argv[2])) : 7);
    }
    if (mode == "encode" && (argc == 3 || argc == 4)) {
        return benchEncode(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 7);
    }
    std::fprintf(stderr, "usage: %s gather [RUNS], %s loop IN.huf [RUNS], or %s encode IN [RUNS]\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}

#else

int main() {
    std::fprintf(stderr, "vector benchmarks are for x86-64 only\n");
    return 2;
}

#endif
