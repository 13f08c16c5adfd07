// SPDX-License-Identifier: MIT
//
// The -l table.
#include "Listing.hpp"

#include <algorithm>
#include <cstdio>

#include "huffcodec/experimental.hpp"

bool Listing::add(const huffcodec::Header& header) {
    std::array<std::uint8_t, 256> lengths{};
    std::uint64_t bits = 0;
    if (huffcodec::codeLengths(header, lengths) != huffcodec::Status::ok ||
        huffcodec::bodyBits(header, bits) != huffcodec::Status::ok) {
        return false;
    }
    original += static_cast<std::uint64_t>(header.originalSize);
    codeBits += bits;
    for (std::size_t v = 0; v < lengths.size(); ++v) {
        counts[v] += static_cast<std::uint64_t>(header.counts[v]);
        longest = std::max(longest, static_cast<int>(lengths[v]));
    }
    return true;
}

void Listing::printHeading() {
    std::printf("%12s %12s %7s %8s %7s %9s  %s\n", "original", "compressed", "ratio", "distinct",
                "longest", "bits/byte", "name");
}

void Listing::printRow(const std::string& name, std::uint64_t compressedBytes,
                       bool withCounts) const {
    const auto size = static_cast<double>(original);
    const auto distinct =
        std::count_if(counts.begin(), counts.end(), [](std::uint64_t count) { return count != 0; });
    std::printf("%12llu %12llu %7.3f %8d %7d %9.3f  %s\n",
                static_cast<unsigned long long>(original),
                static_cast<unsigned long long>(compressedBytes),
                size / static_cast<double>(compressedBytes), static_cast<int>(distinct), longest,
                original > 0 ? static_cast<double>(codeBits) / size : 0.0, name.c_str());
    if (!withCounts) {
        return;
    }
    for (std::size_t row = 0; row < counts.size(); row += 8) {
        std::printf("  %02zx-%02zx:", row, row + 7);
        for (std::size_t v = row; v < row + 8; ++v) {
            std::printf(" %llu", static_cast<unsigned long long>(counts[v]));
        }
        std::printf("\n");
    }
}
