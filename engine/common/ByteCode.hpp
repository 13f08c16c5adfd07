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

#include "common/Kernels.hpp"

namespace huffcodec {

using ByteTable = std::array<std::uint8_t, 256>;

// out[i] = table[in[i]] for i below size, with the AVX-512 VBMI loop where
// kernel takes it (the processor must run it).
void mapBytes(const ByteTable& table, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
              Kernel kernel);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BYTECODE_HPP
