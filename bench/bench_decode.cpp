// Benchmark-only decoder command: decodes a compressed file with a chosen
// path, or reports how the two-lane path fares on it. Not installed.
//
//   bench_decode plain  IN OUT   tree walk over a BitInputStream over a file
//                                stream, one decodeSymbol per byte
//   bench_decode one    IN OUT   table decoder, one chain of lookups
//   bench_decode two    IN OUT   table decoder, two lanes (what uncompress runs)
//   bench_decode lanes  IN       two-lane statistics, and the true
//                                resynchronisation distances at byte-aligned
//                                split points every 4 KiB of body
//
// Exit status 0 when the whole body decoded, 1 otherwise, 2 on bad usage.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BitInputStream.hpp"
#include "CountHeader.hpp"
#include "DecodeTable.hpp"
#include "HCTree.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"

namespace {

int decodePlain(const char* in, const char* out) {
    std::ifstream input(in, std::ios::binary);
    std::ofstream output(out, std::ios::binary | std::ios::trunc);
    if (!input || !output) {
        return 1;
    }
    BitInputStream bits(input);
    SymbolCounts counts(kNumSymbols, 0);
    std::int64_t total = 0;
    for (auto& count : counts) {
        count = bits.readInt32();
        if (count < 0) {
            return 1;
        }
        total += count;
    }
    HCTree tree;
    tree.buildFromCounts(counts);
    for (std::int64_t i = 0; i < total; ++i) {
        const int symbol = tree.decodeSymbol(bits);
        if (symbol < 0) {
            return 1;
        }
        output.put(static_cast<char>(symbol));
    }
    return output.flush() ? 0 : 1;
}

struct Opened {
    CountHeader header;
    HCTree tree;
};

bool openHeader(InputFile& input, Opened& opened) {
    std::uint8_t bytes[kHeaderBytes];
    const long got = input.read(bytes, sizeof bytes);
    if (got < 0 ||
        opened.header.parse(bytes, static_cast<std::size_t>(got)) != CountHeader::Status::ok) {
        return false;
    }
    opened.tree.buildFromCounts(opened.header.counts());
    return true;
}

DecodeTable::Result decodeTable(const char* in, OutputFile* output, DecodeTable::Lanes lanes) {
    InputFile input(in);
    Opened opened;
    if (!input.isOpen() || !openHeader(input, opened)) {
        return {DecodeTable::Status::readError, 0, 0, {}};
    }
    return DecodeTable(opened.tree)
        .decodeBody(
            static_cast<std::uint64_t>(opened.header.total()),
            [&input](std::uint8_t* buffer, std::size_t size) { return input.read(buffer, size); },
            [output](const std::uint8_t* data, std::size_t size) {
                return output == nullptr || output->write(data, size);
            },
            lanes);
}

// True resynchronisation: a walk started at a byte-aligned split point is in
// step from the first code start it shares with the walk from the body's
// start. Prints the distribution of that distance in bits.
void reportResync(const char* in) {
    InputFile input(in);
    Opened opened;
    if (!input.isOpen() || !openHeader(input, opened) || opened.header.unique() < 2) {
        std::printf("resync: no body to split\n");
        return;
    }
    std::vector<std::uint8_t> body;
    std::vector<std::uint8_t> block(1 << 16);
    for (long got; (got = input.read(block.data(), block.size())) > 0;) {
        body.insert(body.end(), block.begin(), block.begin() + got);
    }
    const std::uint64_t bitCount = 8 * static_cast<std::uint64_t>(body.size());
    auto bit = [&body](std::uint64_t at) { return (body[at >> 3] >> (at & 7)) & 1; };
    // Advances at past one code; false if the body ends inside it.
    auto skipCode = [&](std::uint64_t& at) {
        const HCNode* node = opened.tree.getRoot();
        while (node->child0 != nullptr && node->child1 != nullptr) {
            if (at >= bitCount) {
                return false;
            }
            node = bit(at++) ? node->child1 : node->child0;
        }
        return true;
    };
    std::vector<bool> isStart(bitCount + 1, false);
    std::uint64_t symbols = 0;
    for (std::uint64_t at = 0;
         symbols < static_cast<std::uint64_t>(opened.header.total()) && at < bitCount; ++symbols) {
        isStart[at] = true;
        if (!skipCode(at)) {
            break;
        }
    }
    constexpr std::uint64_t kLimit = 2048;  // the decoder's window
    std::vector<std::uint64_t> distances;
    std::uint64_t never = 0;
    for (std::uint64_t split = 4096; 8 * split + kLimit < bitCount; split += 4096) {
        std::uint64_t at = 8 * split;
        while (at < 8 * split + kLimit && !isStart[at] && skipCode(at)) {
        }
        if (isStart[at]) {
            distances.push_back(at - 8 * split);
        } else {
            ++never;
        }
    }
    std::sort(distances.begin(), distances.end());
    const auto share = [&](std::size_t n) {
        return 100.0 * static_cast<double>(n) / static_cast<double>(distances.size() + never);
    };
    if (distances.empty()) {
        std::printf("resync: %llu split points, none in step within %llu bits\n",
                    static_cast<unsigned long long>(never),
                    static_cast<unsigned long long>(kLimit));
        return;
    }
    std::printf(
        "resync: %zu split points; distance in bits median %llu, 90%% %llu, max %llu; "
        "not in step within %llu bits: %.1f%%\n",
        distances.size() + never, static_cast<unsigned long long>(distances[distances.size() / 2]),
        static_cast<unsigned long long>(distances[distances.size() * 9 / 10]),
        static_cast<unsigned long long>(distances.back()), static_cast<unsigned long long>(kLimit),
        share(never));
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "plain" && argc == 4) {
        return decodePlain(argv[2], argv[3]);
    }
    if ((mode == "one" || mode == "two") && argc == 4) {
        OutputFile output(argv[3]);
        const auto result = decodeTable(
            argv[2], &output, mode == "one" ? DecodeTable::Lanes::one : DecodeTable::Lanes::two);
        return result.status == DecodeTable::Status::ok && output.close() ? 0 : 1;
    }
    if (mode == "lanes" && argc == 3) {
        const auto result = decodeTable(argv[2], nullptr, DecodeTable::Lanes::two);
        const DecodeTable::LaneStats& stats = result.laneStats;
        std::printf(
            "segments: %llu, fell back: %llu (%.1f%%), lanes met on average %.1f bits "
            "past the split (max %llu)\n",
            static_cast<unsigned long long>(stats.segments),
            static_cast<unsigned long long>(stats.fallbacks),
            stats.segments
                ? 100.0 * static_cast<double>(stats.fallbacks) / static_cast<double>(stats.segments)
                : 0.0,
            stats.segments > stats.fallbacks
                ? static_cast<double>(stats.resyncBitsTotal) /
                      static_cast<double>(stats.segments - stats.fallbacks)
                : 0.0,
            static_cast<unsigned long long>(stats.resyncBitsMax));
        reportResync(argv[2]);
        return result.status == DecodeTable::Status::ok ? 0 : 1;
    }
    std::fprintf(stderr, "usage: %s plain|one|two IN OUT, or %s lanes IN\n", argv[0], argv[0]);
    return 2;
}
