// SPDX-License-Identifier: MIT
//
// Bit-granular reading over a byte stream, least significant bit of each byte
// first (the packing of a compressed body), with whole 32-bit integers and
// single bytes read straight from the stream beside it (the count header).
#ifndef CODEC_BITINPUTSTREAM_HPP
#define CODEC_BITINPUTSTREAM_HPP

#include <cstdint>
#include <istream>

// Reports end of input as -1. Whole-value reads go to the stream directly and
// ignore pending bits, so callers read all whole values before the first bit.
class BitInputStream {
public:
    explicit BitInputStream(std::istream& stream) : input(stream) {}

    // Next bit (0 or 1), or -1 at end of input. After -1 every later call
    // tries the stream again, and so gives -1 again at a true end.
    int readBit();

    // Next four bytes as a little-endian signed 32-bit integer, or -1 when
    // fewer than four remain (the partial bytes are lost). A stored -1 reads
    // the same as end of input.
    std::int32_t readInt32();

    // Next byte as 0 to 255, or -1 at end of input.
    int readByte();

private:
    std::istream& input;
    char pendingByte = 0;       // byte whose bits are being handed out
    std::int32_t bitIndex = 8;  // next bit of pendingByte; 8: fetch a fresh byte
};

#endif  // CODEC_BITINPUTSTREAM_HPP
