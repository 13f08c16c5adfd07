// SPDX-License-Identifier: MIT
//
// A byte buffer left uninitialised: the engine writes before it reads, and a
// small file should not pay for clearing megabytes.
#ifndef HUFFCODEC_ENGINE_BYTEBUFFER_HPP
#define HUFFCODEC_ENGINE_BYTEBUFFER_HPP

#include <cstddef>
#include <cstdint>
#include <memory>

namespace huffcodec {

class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::size_t size) : bytes(new std::uint8_t[size]) {}
    std::uint8_t* data() const { return bytes.get(); }

private:
    std::unique_ptr<std::uint8_t[]> bytes;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BYTEBUFFER_HPP
