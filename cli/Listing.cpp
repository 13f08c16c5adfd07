// SPDX-License-Identifier: MIT
//
// The -l table.
#include "Listing.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "huffcodec/experimental.hpp"

using huffcodec::Status;

Status Listing::read(InputFile& input) {
    std::array<std::uint8_t, huffcodec::kHeaderBytes> bytes{};
    const long got = input.read(bytes.data(), bytes.size());
    if (got < 0 || input.failed()) {
        readErrno = input.error();
        return Status::readError;
    }
    const huffcodec::HeaderResult read =
        huffcodec::readHeader(bytes.data(), static_cast<std::size_t>(got));
    if (read.status != Status::ok) {
        return read.status;
    }
    header = read.header;
    const Status built = huffcodec::codeLengths(header, lengths);
    if (built != Status::ok) {
        return built;
    }
    bodyBits = 0;
    for (std::size_t v = 0; v < lengths.size(); ++v) {
        bodyBits += static_cast<std::uint64_t>(header.counts[v]) * lengths[v];
    }
    const std::int64_t known = input.knownSize();
    if (known >= 0) {
        size = static_cast<std::uint64_t>(known);
    } else {
        // A pipe: its size is what comes through it.
        size = huffcodec::kHeaderBytes;
        std::vector<std::uint8_t> block(std::size_t{1} << 16);
        for (long piece; (piece = input.read(block.data(), block.size())) > 0;) {
            size += static_cast<std::uint64_t>(piece);
        }
        if (input.failed()) {
            readErrno = input.error();
            return Status::readError;
        }
    }
    if (size < huffcodec::kHeaderBytes + (bodyBits + 7) / 8) {
        return Status::truncatedBody;
    }
    return Status::ok;
}

void Listing::printHeading() {
    std::printf("%12s %12s %7s %8s %7s %9s  %s\n", "original", "compressed", "ratio", "distinct",
                "longest", "bits/byte", "name");
}

void Listing::printRow(const std::string& name, bool counts) const {
    const auto original = static_cast<double>(header.originalSize);
    std::printf("%12lld %12llu %7.3f %8d %7d %9.3f  %s\n",
                static_cast<long long>(header.originalSize), static_cast<unsigned long long>(size),
                original / static_cast<double>(size), header.distinctBytes,
                static_cast<int>(*std::max_element(lengths.begin(), lengths.end())),
                original > 0 ? static_cast<double>(bodyBits) / original : 0.0, name.c_str());
    if (!counts) {
        return;
    }
    for (std::size_t row = 0; row < header.counts.size(); row += 8) {
        std::printf("  %02zx-%02zx:", row, row + 7);
        for (std::size_t v = row; v < row + 8; ++v) {
            std::printf(" %d", static_cast<int>(header.counts[v]));
        }
        std::printf("\n");
    }
}
