// Parsing and writing the count header.
#include "CountHeader.hpp"

CountHeader::Status CountHeader::parse(const std::uint8_t* bytes, std::size_t size) {
    entries.assign(kNumSymbols, 0);
    sum = 0;
    nonZero = 0;
    for (int i = 0; i < kNumSymbols; ++i) {
        const std::size_t offset = 4 * static_cast<std::size_t>(i);
        if (offset + 4 > size) {
            return Status::endOfInput;
        }
        const auto count =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[offset]) |
                                      static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
                                      static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
                                      static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
        if (count < 0) {
            return Status::endOfInput;
        }
        entries[i] = count;
        sum += count;
        if (sum > kMaxTotal) {
            return Status::sizeTooLarge;
        }
        nonZero += count != 0 ? 1 : 0;
    }
    return Status::ok;
}

std::array<std::uint8_t, kHeaderBytes> CountHeader::encode(const SymbolCounts& counts) {
    std::array<std::uint8_t, kHeaderBytes> header{};
    if (counts.size() != static_cast<std::size_t>(kNumSymbols)) {
        return header;
    }
    for (int i = 0; i < kNumSymbols; ++i) {
        const auto value = static_cast<std::uint32_t>(counts[i]);
        for (int byte = 0; byte < 4; ++byte) {
            header[4 * i + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
        }
    }
    return header;
}
