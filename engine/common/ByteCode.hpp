// SPDX-License-Identifier: MIT
//
// Codes of eight bits for every byte value, which data whose 256 byte values
// are about equally frequent (random or already compressed bytes) gets: each
// body byte is then one whole code, byte-aligned, and both decoding and
// encoding apply a table of 256 bytes. On x86 with AVX-512 VBMI the table sits
// in four vector registers and two vpermi2b and a blend apply it to 64 bytes.
#ifndef HUFFCODEC_ENGINE_BYTECODE_HPP
#define HUFFCODEC_ENGINE_BYTECODE_HPP

#include <array>
#include <cstddef>
#include <cstdint>

namespace huffcodec {

using ByteTable = std::array<std::uint8_t, 256>;

// True where this build carries the AVX-512 VBMI loop and this processor runs
// it: it reports AVX-512 F, BW and VBMI, and the system saves the vector
// registers' state (XCR0: SSE, AVX, opmask and both halves of ZMM).
bool processorRunsAvx512Vbmi();

// For tests on a processor that has AVX-512 VBMI: from this call on, the
// process runs as on one without it. processorRunsAvx512Vbmi() is false, so
// the kernels and the encoder choose as they would there, and the VBMI loop,
// should anything still reach it, raises SIGILL as such a processor would.
void hideAvx512VbmiForTests();

// out[i] = table[in[i]] for i below size. vectors: with the AVX-512 VBMI loop,
// which the processor must run.
void mapBytes(const ByteTable& table, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
              bool vectors);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BYTECODE_HPP
