// SPDX-License-Identifier: MIT
//
// Byte-value counting over eight tables.
#include "encode/ByteCounter.hpp"

#include <cstring>

namespace huffcodec {

ByteCounter::ByteCounter() : tables(std::make_unique<Tables>()) {}

void ByteCounter::add(const std::uint8_t* data, std::size_t size) {
    Tables& table = *tables;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        ++table[0][word & 0xFF];
        ++table[1][word >> 8 & 0xFF];
        ++table[2][word >> 16 & 0xFF];
        ++table[3][word >> 24 & 0xFF];
        ++table[4][word >> 32 & 0xFF];
        ++table[5][word >> 40 & 0xFF];
        ++table[6][word >> 48 & 0xFF];
        ++table[7][word >> 56];
    }
    for (; i < size; ++i) {
        ++table[i & 7][data[i]];
    }
}

std::array<std::uint64_t, 256> ByteCounter::counts() const {
    std::array<std::uint64_t, 256> total{};
    for (const auto& table : *tables) {
        for (std::size_t value = 0; value < total.size(); ++value) {
            total[value] += table[value];
        }
    }
    return total;
}

}  // namespace huffcodec
