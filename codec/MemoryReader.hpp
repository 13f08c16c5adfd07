// Reads bytes held in memory the way InputFile reads a file, so that the
// decoder can run over a body in memory (tests, fuzzing, benchmarks).
#ifndef CODEC_MEMORYREADER_HPP
#define CODEC_MEMORYREADER_HPP

#include <cstddef>
#include <cstdint>

// Does not own the bytes: the caller keeps them alive.
class MemoryReader {
public:
    MemoryReader(const void* data, std::size_t size)
        : bytes(static_cast<const std::uint8_t*>(data)), size(size) {}

    // Copies up to want bytes into buffer and returns how many; fewer only
    // at the end of the bytes.
    long read(void* buffer, std::size_t want);

private:
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t offset = 0;
};

#endif  // CODEC_MEMORYREADER_HPP
