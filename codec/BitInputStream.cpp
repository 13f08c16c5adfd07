// SPDX-License-Identifier: MIT
//
// Bit, integer and byte reads over a byte stream.
#include "BitInputStream.hpp"

#include <istream>

int BitInputStream::readBit() {
    if (bitIndex > 7) {
        const std::istream::int_type next = input.get();
        if (next == std::istream::traits_type::eof()) {
            return -1;  // bitIndex stays above 7: the next call tries again
        }
        pendingByte = static_cast<char>(next);
        bitIndex = 0;
    }
    const int bit = (static_cast<unsigned char>(pendingByte) >> bitIndex) & 1;
    ++bitIndex;
    return bit;
}

std::int32_t BitInputStream::readInt32() {
    unsigned char bytes[4];
    input.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (input.gcount() != static_cast<std::streamsize>(sizeof bytes)) {
        return -1;
    }
    const std::uint32_t value =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(value);
}

int BitInputStream::readByte() {
    const std::istream::int_type next = input.get();
    if (next == std::istream::traits_type::eof()) {
        return -1;
    }
    return static_cast<unsigned char>(next);
}
