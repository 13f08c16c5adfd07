// Arbitrary bytes compressed and decompressed through the library: the table
// encoder must write exactly what encodeSymbol over a BitOutputStream writes,
// and the table decoder (two lanes, over segments small enough for fuzz
// inputs) must give the bytes back. The first byte picks the piece size the
// encoder is fed, as compress feeds it block by block, and the segment size.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "BitOutputStream.hpp"
#include "BodyEncoder.hpp"
#include "ByteCounter.hpp"
#include "CountHeader.hpp"
#include "DecodeTable.hpp"
#include "FuzzCheck.hpp"
#include "HCTree.hpp"
#include "MemoryReader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = 1 + data[0];
    ++data;
    --size;

    ByteCounter counter;
    counter.add(data, size);
    const auto byteCounts = counter.counts();
    SymbolCounts counts(kNumSymbols, 0);
    for (int i = 0; i < kNumSymbols; ++i) {
        counts[i] = static_cast<std::int32_t>(byteCounts[i]);
    }
    HCTree tree;
    tree.buildFromCounts(counts);

    std::ostringstream plainOut;
    BitOutputStream bits(plainOut);
    for (const auto value : CountHeader::encode(counts)) {
        bits.writeByte(value);
    }
    for (std::size_t i = 0; i < size; ++i) {
        tree.encodeSymbol(data[i], bits);
    }
    bits.flush();
    const std::string plainFile = plainOut.str();

    BodyEncoder encoder(tree);
    FUZZ_CHECK(encoder.supportsTree());
    const auto header = CountHeader::encode(counts);
    std::string fastFile(header.begin(), header.end());
    std::vector<std::uint8_t> out(encoder.outputBound(piece));
    for (std::size_t offset = 0; offset < size; offset += piece) {
        const std::size_t n = std::min(piece, size - offset);
        const std::size_t bytes = encoder.encode(data + offset, n, out.data());
        fastFile.append(reinterpret_cast<const char*>(out.data()), bytes);
    }
    fastFile.append(reinterpret_cast<const char*>(out.data()), encoder.finish(out.data()));
    FUZZ_CHECK(!encoder.sawSymbolWithoutCode());
    FUZZ_CHECK(fastFile == plainFile);

    CountHeader parsed;
    FUZZ_CHECK(parsed.parse(reinterpret_cast<const std::uint8_t*>(fastFile.data()),
                            fastFile.size()) == CountHeader::Status::ok);
    FUZZ_CHECK(parsed.counts() == counts);
    MemoryReader reader(fastFile.data() + kHeaderBytes, fastFile.size() - kHeaderBytes);
    std::string restored;
    const DecodeTable::Result result = DecodeTable(tree).decodeBody(
        static_cast<std::uint64_t>(parsed.total()),
        [&reader](std::uint8_t* buffer, std::size_t want) { return reader.read(buffer, want); },
        [&](const std::uint8_t* bytes, std::size_t n) {
            restored.append(reinterpret_cast<const char*>(bytes), n);
            return true;
        },
        DecodeTable::Lanes::two, 64 + 2 * piece);
    FUZZ_CHECK(result.status == DecodeTable::Status::ok);
    FUZZ_CHECK(restored == std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(kHeaderBytes + (result.bitsConsumed + 7) / 8 == fastFile.size());
    return 0;
}
