// SPDX-License-Identifier: MIT
//
// Parsing and writing the 1024-byte count header.
#include "Header.hpp"

namespace huffcodec {

HeaderResult readHeader(const void* in, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    HeaderResult result{Status::ok, {}};
    Header& header = result.header;
    for (int i = 0; i < format::kSymbols; ++i) {
        const std::size_t offset = 4 * static_cast<std::size_t>(i);
        if (offset + 4 > size) {
            result.status = Status::headerTooShort;
            return result;
        }
        const auto count =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[offset]) |
                                      static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
                                      static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
                                      static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
        if (count < 0) {
            result.status = Status::negativeCount;
            return result;
        }
        header.counts[static_cast<std::size_t>(i)] = count;
        header.originalSize += count;
        if (header.originalSize > format::kMaxOriginalSize) {
            result.status = Status::sizeTooLarge;
            return result;
        }
        header.distinctBytes += count != 0 ? 1 : 0;
    }
    return result;
}

std::array<std::uint8_t, kHeaderBytes> writeHeader(const Header& header) {
    std::array<std::uint8_t, kHeaderBytes> bytes{};
    for (std::size_t i = 0; i < header.counts.size(); ++i) {
        const auto value = static_cast<std::uint32_t>(header.counts[i]);
        for (std::size_t byte = 0; byte < 4; ++byte) {
            bytes[4 * i + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
        }
    }
    return bytes;
}

SymbolCounts symbolCountsOf(const Header& header) {
    return SymbolCounts(header.counts.begin(), header.counts.end());
}

}  // namespace huffcodec
