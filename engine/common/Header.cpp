// SPDX-License-Identifier: MIT
//
// Parsing and writing the 1024-byte count header.
#include "common/Header.hpp"

#include <algorithm>

namespace huffcodec {

Status checkCounts(Header& header, std::size_t entries) {
    header.originalSize = 0;
    header.distinctBytes = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::int32_t count = header.counts[i];
        if (count < 0) {
            return Status::negativeCount;
        }
        header.originalSize += count;
        if (header.originalSize > format::kMaxOriginalSize) {
            return Status::sizeTooLarge;
        }
        header.distinctBytes += count != 0 ? 1 : 0;
    }
    return Status::ok;
}

HeaderResult readHeader(const void* in, std::size_t size) noexcept {
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    HeaderResult result{Status::ok, {}};
    const std::size_t entries = std::min<std::size_t>(size / 4, format::kSymbols);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = bytes + 4 * i;
        result.header.counts[i] = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(entry[0]) | static_cast<std::uint32_t>(entry[1]) << 8 |
            static_cast<std::uint32_t>(entry[2]) << 16 |
            static_cast<std::uint32_t>(entry[3]) << 24);
    }
    // Entries are judged in index order, the missing ones after the others.
    result.status = checkCounts(result.header, entries);
    if (result.status == Status::ok && entries < format::kSymbols) {
        result.status = Status::headerTooShort;
    }
    return result;
}

std::array<std::uint8_t, kHeaderBytes> writeHeader(const Header& header) noexcept {
    std::array<std::uint8_t, kHeaderBytes> bytes{};
    for (std::size_t i = 0; i < header.counts.size(); ++i) {
        const auto value = static_cast<std::uint32_t>(header.counts[i]);
        for (std::size_t byte = 0; byte < 4; ++byte) {
            bytes[4 * i + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
        }
    }
    return bytes;
}

}  // namespace huffcodec
