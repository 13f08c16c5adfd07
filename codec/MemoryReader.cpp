// Reads from bytes in memory.
#include "MemoryReader.hpp"

#include <algorithm>
#include <cstring>

long MemoryReader::read(void* buffer, std::size_t want) {
    const std::size_t n = std::min(want, size - offset);
    if (n > 0) {
        std::memcpy(buffer, bytes + offset, n);
    }
    offset += n;
    return static_cast<long>(n);
}
