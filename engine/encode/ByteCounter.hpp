// SPDX-License-Identifier: MIT
//
// Counting byte values, the first pass of compress.
#ifndef HUFFCODEC_ENGINE_BYTECOUNTER_HPP
#define HUFFCODEC_ENGINE_BYTECOUNTER_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace huffcodec {

// Spreads its counts over eight tables, one for each byte of an eight-byte
// load, so that runs of one byte value do not wait on one counter's
// store-to-load chain; counts() adds them up. 32-bit counters keep the tables
// at 8 KiB, well inside the first-level cache, and hold the counts of any
// input up to 2^32 - 1 bytes (the format's limit is half that). The tables
// live on the heap: a counter runs on worker threads and under small stack
// limits.
class ByteCounter {
public:
    ByteCounter();
    void add(const std::uint8_t* data, std::size_t size);
    std::array<std::uint64_t, 256> counts() const;

private:
    using Tables = std::array<std::array<std::uint32_t, 256>, 8>;
    std::unique_ptr<Tables> tables;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BYTECOUNTER_HPP
