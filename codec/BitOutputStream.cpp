// SPDX-License-Identifier: MIT
//
// Bit, integer and byte writes over a byte stream.
#include "BitOutputStream.hpp"

#include <ostream>

void BitOutputStream::writeBit(int bit) {
    if (bitIndex > 7) {
        flush();
    }
    pendingByte =
        static_cast<char>(static_cast<unsigned char>(pendingByte) | (bit & 1) << bitIndex);
    ++bitIndex;
}

void BitOutputStream::flush() {
    if (bitIndex > 0) {
        output.put(pendingByte);
        pendingByte = 0;
        bitIndex = 0;
    }
    output.flush();
}

void BitOutputStream::writeInt32(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(bits & 0xFF), static_cast<char>(bits >> 8 & 0xFF),
                           static_cast<char>(bits >> 16 & 0xFF), static_cast<char>(bits >> 24)};
    output.write(bytes, sizeof bytes);
}

void BitOutputStream::writeByte(int value) {
    output.put(static_cast<char>(value & 0xFF));
}
