// Arbitrary bytes as a whole compressed file, decoded by the table decoder
// that uncompress runs (two lanes, also over segments small enough for fuzz
// inputs, and the single chain) and by the plain tree walk over a
// BitInputStream. All must produce the same bytes, stop at the same symbol,
// and need the same number of body bytes.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include "BitInputStream.hpp"
#include "CountHeader.hpp"
#include "DecodeTable.hpp"
#include "FuzzCheck.hpp"
#include "HCTree.hpp"
#include "MemoryReader.hpp"

namespace {

// Headers may declare up to 2^31 - 1 symbols. A one-symbol tree writes them
// all without reading; everywhere else a short body ends decoding early. The
// cap keeps one-symbol inputs fast and still exceeds every body a fuzz input
// can hold (each symbol of a larger tree needs at least one bit).
constexpr std::uint64_t kMaxSymbols = 1 << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CountHeader header;
    if (header.parse(data, size) != CountHeader::Status::ok) {
        return 0;
    }
    const std::uint64_t symbolCount =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(header.total()), kMaxSymbols);
    HCTree tree;
    tree.buildFromCounts(header.counts());
    const std::uint8_t* body = data + kHeaderBytes;
    const std::size_t bodySize = size - kHeaderBytes;

    std::istringstream in(std::string(reinterpret_cast<const char*>(body), bodySize));
    BitInputStream bits(in);
    std::string plain;
    bool complete = true;
    for (std::uint64_t i = 0; i < symbolCount; ++i) {
        const int symbol = tree.decodeSymbol(bits);
        if (symbol < 0) {
            complete = false;
            break;
        }
        plain.push_back(static_cast<char>(symbol));
    }

    // The single chain, and two lanes over segments small enough for fuzz
    // inputs: the smallest, and one the input picks.
    const std::size_t pickedSegment = 64 + (size * 131 % 4000);
    const struct {
        DecodeTable::Lanes lanes;
        std::size_t segmentBytes;
    } ways[] = {{DecodeTable::Lanes::one, DecodeTable::kDefaultSegmentBytes},
                {DecodeTable::Lanes::two, DecodeTable::kDefaultSegmentBytes},
                {DecodeTable::Lanes::two, 64},
                {DecodeTable::Lanes::two, pickedSegment}};
    const DecodeTable table(tree);
    for (const auto& way : ways) {
        std::string fast;
        MemoryReader reader(body, bodySize);
        const DecodeTable::Result result = table.decodeBody(
            symbolCount,
            [&reader](std::uint8_t* buffer, std::size_t want) { return reader.read(buffer, want); },
            [&](const std::uint8_t* bytes, std::size_t n) {
                fast.append(reinterpret_cast<const char*>(bytes), n);
                return true;
            },
            way.lanes, way.segmentBytes);
        FUZZ_CHECK(result.symbolsWritten == fast.size());
        FUZZ_CHECK(fast == plain);
        if (complete) {
            FUZZ_CHECK(result.status == DecodeTable::Status::ok);
            FUZZ_CHECK((result.bitsConsumed + 7) / 8 == static_cast<std::uint64_t>(in.tellg()));
        } else {
            FUZZ_CHECK(result.status == DecodeTable::Status::endOfInput);
        }
    }
    return 0;
}
