// SPDX-License-Identifier: MIT
//
// Writes a deterministic data set of the given kind and size to standard
// output: "random" (uniform bytes) or "skewed" (93% one byte value, the rest
// uniform). Same seed, same bytes, on every machine.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s random|skewed bytes\n", argv[0]);
        return 2;
    }
    const bool skewed = std::strcmp(argv[1], "skewed") == 0;
    if (!skewed && std::strcmp(argv[1], "random") != 0) {
        std::fprintf(stderr, "unknown kind %s\n", argv[1]);
        return 2;
    }
    std::uint64_t left = std::strtoull(argv[2], nullptr, 10);
    std::uint64_t state = 0x9E3779B97F4A7C15u;  // xorshift64*
    std::vector<unsigned char> block(1 << 16);
    while (left > 0) {
        const std::size_t size =
            left < block.size() ? static_cast<std::size_t>(left) : block.size();
        for (std::size_t i = 0; i < size; ++i) {
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            const std::uint64_t value = state * 0x2545F4914F6CDD1Du;
            const auto byte = static_cast<unsigned char>(value >> 56);
            block[i] = skewed && (value >> 32) % 100 < 93 ? 'e' : byte;
        }
        if (std::fwrite(block.data(), 1, size, stdout) != size) {
            return 1;
        }
        left -= size;
    }
    return 0;
}
