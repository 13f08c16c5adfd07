// SPDX-License-Identifier: MIT
//
// Bit-granular writing over a byte stream, least significant bit of each byte
// first (the packing of a compressed body), with whole 32-bit integers and
// single bytes written straight to the stream beside it (the count header).
#ifndef CODEC_BITOUTPUTSTREAM_HPP
#define CODEC_BITOUTPUTSTREAM_HPP

#include <cstdint>
#include <ostream>

// Whole-value writes go to the stream directly and ignore pending bits, so
// writers put all whole values first, then the bits, then one flush(). Bits
// still pending when the object is destroyed are not written.
class BitOutputStream {
public:
    explicit BitOutputStream(std::ostream& stream) : output(stream) {}

    // Appends the lowest bit of bit. A full byte is written lazily, by the
    // next writeBit or by flush().
    void writeBit(int bit);

    // Writes a partly or wholly filled pending byte, then flushes the stream.
    void flush();

    // Four bytes, least significant first.
    void writeInt32(std::int32_t value);

    // The low 8 bits of value as one byte.
    void writeByte(int value);

private:
    std::ostream& output;
    char pendingByte = 0;       // bits at bitIndex and above are always 0
    std::int32_t bitIndex = 0;  // where the next bit goes; 8: pendingByte is full
};

#endif  // CODEC_BITOUTPUTSTREAM_HPP
