// SPDX-License-Identifier: MIT
//
// huffcodec's experimental settings: how the decoder lays out and runs its
// lanes, how large the pieces threads take are, which decoding kernel runs,
// and what the lanes did; and the lengths of a header's codes. Tests, fuzz
// targets and benchmarks use them to reach every path, and the huffcodec
// command the code lengths to describe a file; a program needs none of
// them, and the defaults are what the measurements chose.
//
// Not part of the stable interface: anything here may change or go in any
// release, minor and patch ones included, without a new soname. Use it only
// with the static library, or with the shared library of exactly the
// version whose headers you compile against (HUFFCODEC_VERSION_NUMBER).
#ifndef HUFFCODEC_EXPERIMENTAL_HPP
#define HUFFCODEC_EXPERIMENTAL_HPP

#include <cstddef>
#include <cstdint>

#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// Builds of the decoder's lane loop and the encoder's loop: the portable
// ones, and on x86 ones for processors with BMI2, whose shifts by a register
// take one instruction and leave the flags alone. avx512 runs the BMI2 loops,
// and decodes and encodes codes of eight bits for every byte value (random or
// incompressible data) with AVX-512 VBMI byte lookups, on processors with
// both. All decode and encode alike; automatic takes the best this processor
// runs.
enum class Kernel : int { automatic = 0, portable = 1, bmi2 = 2, avx512 = 3 };
inline constexpr Kernel kKernels[] = {Kernel::portable, Kernel::bmi2, Kernel::avx512};
// "portable", "bmi2", "avx512", or "automatic".
HUFFCODEC_API const char* kernelName(Kernel kernel) noexcept;
// Built in, and supported by this processor (automatic always is).
HUFFCODEC_API bool kernelRuns(Kernel kernel) noexcept;
// The kernel automatic stands for on this processor.
HUFFCODEC_API Kernel bestKernel() noexcept;

// Kinds of decode table: each entry is indexed by the next 11 bits of body
// (single, pairs, runs) or 13 (large), and holds the symbol of one code, up
// to two, or up to seven whole codes. A larger table costs more to build and
// takes more symbols a lookup; automatic takes the kind measured best for the
// body's size. All decode alike.
enum class DecodeTable : int { automatic = 0, single = 1, pairs = 2, runs = 3, large = 4 };
inline constexpr DecodeTable kDecodeTables[] = {DecodeTable::single, DecodeTable::pairs,
                                                DecodeTable::runs, DecodeTable::large};

// How the lanes fared: segments decoded with several lanes, boundaries
// between lanes where they did not fall into step (and decoding went on from
// the true position instead), and how far past a split point the lanes met.
struct DecodeStats {
    std::uint64_t segments = 0;  // segments and chunks decoded with lanes
    std::uint64_t boundaries = 0;
    std::uint64_t fallbacks = 0;
    std::uint64_t resyncBitsTotal = 0;
    std::uint64_t resyncBitsMax = 0;
    std::uint64_t chunks = 0;  // chunks decoded apart on the threads (in segments too)
};

// Set through Options::tuning. Zeros take the defaults; sizes are clamped to
// the limits given, and a lane count outside 0 to 4 or a kernel this
// processor does not run makes the call fail with invalidArgument.
struct Tuning {
    // Interleaved lanes per segment of body, 1 to 4; 0 picks by the code's
    // average length.
    int lanes = 0;
    // Body bytes one segment covers, 64 bytes to 1 MiB; 0: 64 KiB.
    std::size_t segmentBytes = 0;
    // Body bytes of one chunk a decoding thread takes, 64 bytes to 1 MiB; 0:
    // about 128 KiB of output a chunk (16 to 256 KiB of body).
    std::size_t decodeChunkBytes = 0;
    // Input bytes of one chunk counted and then encoded by a thread
    // (countBytes, in-memory compress), 64 bytes to 512 KiB; 0: 128 KiB. The
    // Encoder takes the size from the ChunkCounts.
    std::size_t encodeChunkBytes = 0;
    // A chosen chunk size lowers the size from which threads start, from
    // kMinThreadedSize to 16 chunks' worth: small chunks run slower, but
    // small data then reaches the threaded paths.
    //
    // Keeps the worker threads off the processor the calling thread runs on,
    // where the process may use enough others (see ThreadPool::create). The
    // commands set it.
    bool workersOffCaller = false;
    Kernel kernel = Kernel::automatic;
    // Receives the lane statistics of each decoding call, added to what it
    // holds; the caller keeps it apart from other calls running at once.
    DecodeStats* stats = nullptr;
    // The decode table's kind; a value outside DecodeTable makes the call
    // fail with invalidArgument. A Decoder built without this tuning builds
    // the kind for its own call when asked for another.
    DecodeTable decodeTable = DecodeTable::automatic;
};

// The length in bits of each byte value's code under header's counts, for a
// program that describes a file without decoding it: 0 for a value counted
// 0, and for the one value of a header with one, whose codes take no bits.
// Returns ok, negativeCount or sizeTooLarge (the header's check, as
// readHeader makes it), or outOfMemory; lengths are all 0 unless ok.
HUFFCODEC_API Status codeLengths(const Header& header,
                                 std::array<std::uint8_t, 256>& lengths) noexcept;

// The bits of the body that header's counts give, before the padding of its
// last byte: a file with this header holds (bits + 7) / 8 bytes past it.
// Returns what codeLengths returns; bits is 0 unless ok.
HUFFCODEC_API Status bodyBits(const Header& header, std::uint64_t& bits) noexcept;

}  // namespace huffcodec

#endif  // HUFFCODEC_EXPERIMENTAL_HPP
