// SPDX-License-Identifier: MIT
//
// Counting byte values, the first pass of compress.
#ifndef HUFFCODEC_ENGINE_BYTECOUNTER_HPP
#define HUFFCODEC_ENGINE_BYTECOUNTER_HPP

#include <array>
#include <cstddef>
#include <cstdint>

namespace huffcodec {

// Spreads its counts over four tables so that runs of one byte value do not
// wait on one counter's store-to-load chain; counts() adds them up.
class ByteCounter {
public:
    void add(const std::uint8_t* data, std::size_t size);
    std::array<std::uint64_t, 256> counts() const;

private:
    std::array<std::array<std::uint64_t, 256>, 4> lanes{};
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BYTECOUNTER_HPP
