// SPDX-License-Identifier: MIT
//
// A byte buffer left uninitialised: the engine writes before it reads, and a
// small file should not pay for clearing megabytes. It starts on a cache line:
// the kernel copies a read into (or a write from) a buffer that does not about
// three times more slowly on the machines we measured, and the allocator puts
// large blocks 16 bytes past a page boundary.
#ifndef HUFFCODEC_ENGINE_BYTEBUFFER_HPP
#define HUFFCODEC_ENGINE_BYTEBUFFER_HPP

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace huffcodec {

inline constexpr std::size_t kBufferAlignment = 64;

class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::size_t size)
        : bytes(static_cast<std::uint8_t*>(
              ::operator new[](size, std::align_val_t{kBufferAlignment}))) {}
    std::uint8_t* data() const { return bytes.get(); }

private:
    struct Release {
        void operator()(std::uint8_t* p) const {
            ::operator delete[](p, std::align_val_t{kBufferAlignment});
        }
    };
    std::unique_ptr<std::uint8_t[], Release> bytes;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BYTEBUFFER_HPP
