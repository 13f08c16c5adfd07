// SPDX-License-Identifier: MIT
//
// Benchmark-only decoder command: decodes a compressed file with a chosen
// path, or reports how the lanes fare on it. Not installed.
//
//   huffcodec_bench_decode plain  IN OUT
//       tree walk over a BitInputStream over a file stream, one decodeSymbol
//       per byte
//   huffcodec_bench_decode decode L IN OUT
//       the library's decoder with L lanes (1 to 4), or L:S for segments of
//       S bytes (0: default), or L:S:T on T threads, or L:S:T:K with the lane
//       kernel K (portable, bmi2 or avx512; by default the best this
//       processor runs)
//   huffcodec_bench_decode lanes  IN
//       the kernel the default picks and what it runs on this file's code,
//       lane statistics for 2, 3 and 4 lanes, and the true resynchronisation
//       distances at byte-aligned split points every 4 KiB of body
//   huffcodec_bench_decode memory IN [RUNS]
//       the kernel line as above, then compress() and decompress() over
//       buffers in memory on 1, 2 (and every available) threads: median MB/s
//       of uncompressed data, runs of the thread counts alternated
//
// Exit status 0 when the whole body decoded, 1 otherwise, 2 on bad usage.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BitInputStream.hpp"
#include "HCTree.hpp"
#include "InputFile.hpp"
#include "common/CodeTree.hpp"
#include "decode/DecodeTables.hpp"
#include "decode/SpanDecoder.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"
#include "output/OutputFile.hpp"

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
    huffcodec::Header header;
    HCTree tree;
    huffcodec::Decoder decoder;
};

bool openHeader(InputFile& input, Opened& opened) {
    std::uint8_t bytes[huffcodec::kHeaderBytes];
    const long got = input.read(bytes, sizeof bytes);
    if (got < 0) {
        return false;
    }
    const huffcodec::HeaderResult parsed =
        huffcodec::readHeader(bytes, static_cast<std::size_t>(got));
    if (parsed.status != huffcodec::Status::ok) {
        return false;
    }
    opened.header = parsed.header;
    opened.tree.buildFromCounts(
        SymbolCounts(parsed.header.counts.begin(), parsed.header.counts.end()));
    return opened.decoder.build(parsed.header) == huffcodec::Status::ok;
}

huffcodec::Status decodeWith(int threads, huffcodec::Tuning tuning, const char* in,
                             OutputFile* output, huffcodec::DecodeStats* stats) {
    tuning.stats = stats;
    huffcodec::Options options;
    options.threads = threads;
    options.tuning = &tuning;
    InputFile input(in);
    Opened opened;
    if (!input.isOpen() || !openHeader(input, opened)) {
        return huffcodec::Status::readError;
    }
    return opened.decoder
        .decode(
            [&input](std::uint8_t* buffer, std::size_t size) { return input.read(buffer, size); },
            [output](const std::uint8_t* data, std::size_t size) {
                return output == nullptr || output->write(data, size);
            },
            options)
        .status;
}

// True resynchronisation: a walk started at a byte-aligned split point is in
// step from the first code start it shares with the walk from the body's
// start. Prints the distribution of that distance in bits.
void reportResync(const char* in) {
    InputFile input(in);
    Opened opened;
    if (!input.isOpen() || !openHeader(input, opened) || opened.header.distinctBytes < 2) {
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
         symbols < static_cast<std::uint64_t>(opened.header.originalSize) && at < bitCount;
         ++symbols) {
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

// The kernel the default options pick on this processor, and what it runs on
// the code of header: the lane loop, or the byte table of codes of eight bits.
std::string kernelReport(const huffcodec::Header& header) {
    const huffcodec::Kernel kernel = huffcodec::bestKernel();
    const huffcodec::DecodeTables tables{huffcodec::CodeTree(header.counts)};
    const bool vbmi = kernel == huffcodec::Kernel::avx512;
    const char* how = tables.byteCode() ? (vbmi ? "codes of eight bits: AVX-512 VBMI byte table"
                                                : "codes of eight bits: byte table")
                      : kernel == huffcodec::Kernel::portable ? "portable lane loop"
                                                              : "BMI2 lane loop";
    return std::string("kernel ") + huffcodec::kernelName(kernel) + " (" + how + ")";
}

// Median MB/s of size bytes for each of the thread counts, runs alternated.
int benchInMemory(const char* path, int runs) {
    std::ifstream file(path, std::ios::binary);
    const std::string packed((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
    const huffcodec::HeaderResult header = huffcodec::readHeader(packed.data(), packed.size());
    if (header.status != huffcodec::Status::ok) {
        return 1;
    }
    std::printf("%s: %s\n", path, kernelReport(header.header).c_str());
    std::string data(static_cast<std::size_t>(header.header.originalSize), '\0');
    std::string repacked(huffcodec::compressBound(data.size()), '\0');
    std::vector<int> counts = {1, 2};
    if (huffcodec::availableProcessors() > 2) {
        counts.push_back(huffcodec::availableProcessors());
    }
    std::vector<std::vector<double>> decode(counts.size()), encode(counts.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t k = 0; k < counts.size(); ++k) {
            huffcodec::Options options;
            options.threads = counts[k];
            auto start = std::chrono::steady_clock::now();
            const auto d = huffcodec::decompress(packed.data(), packed.size(), data.data(),
                                                 data.size(), options);
            auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
            decode[k].push_back(static_cast<double>(data.size()) / 1e6 / seconds.count());
            start = std::chrono::steady_clock::now();
            const auto c = huffcodec::compress(data.data(), data.size(), repacked.data(),
                                               repacked.size(), options);
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
            encode[k].push_back(static_cast<double>(data.size()) / 1e6 / seconds.count());
            if (d.status != huffcodec::Status::ok || c.status != huffcodec::Status::ok ||
                repacked.compare(0, c.bytesProduced, packed) != 0) {
                return 1;
            }
        }
    }
    for (std::size_t k = 0; k < counts.size(); ++k) {
        std::sort(decode[k].begin(), decode[k].end());
        std::sort(encode[k].begin(), encode[k].end());
        std::printf("%d thread(s): decompress %.0f MB/s, compress %.0f MB/s\n", counts[k],
                    decode[k][decode[k].size() / 2], encode[k][encode[k].size() / 2]);
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "plain" && argc == 4) {
        return decodePlain(argv[2], argv[3]);
    }
    if (mode == "decode" && argc == 5) {
        OutputFile output(argv[4]);
        // LANES[:SEGMENT_BYTES[:THREADS]]
        char* rest = nullptr;
        huffcodec::Tuning tuning;
        int threads = 1;
        tuning.lanes = static_cast<int>(std::strtol(argv[2], &rest, 10));
        if (*rest == ':') {
            tuning.segmentBytes = std::strtoul(rest + 1, &rest, 10);
        }
        if (*rest == ':') {
            threads = static_cast<int>(std::strtol(rest + 1, &rest, 10));
        }
        if (*rest == ':') {
            const std::string name = rest + 1;
            bool known = false;
            for (const huffcodec::Kernel kernel : huffcodec::kKernels) {
                if (name == huffcodec::kernelName(kernel)) {
                    known = huffcodec::kernelRuns(kernel);
                    tuning.kernel = kernel;
                }
            }
            if (!known) {
                std::fprintf(stderr, "kernel %s does not run here\n", name.c_str());
                return 2;
            }
        }
        return decodeWith(threads, tuning, argv[3], &output, nullptr) == huffcodec::Status::ok &&
                       output.close()
                   ? 0
                   : 1;
    }
    if (mode == "memory" && (argc == 3 || argc == 4)) {
        return benchInMemory(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 9);
    }
    if (mode == "lanes" && argc == 3) {
        InputFile input(argv[2]);
        Opened opened;
        if (!input.isOpen() || !openHeader(input, opened)) {
            return 1;
        }
        std::printf("%s\n", kernelReport(opened.header).c_str());
        for (int lanes = 2; lanes <= 4; ++lanes) {
            huffcodec::DecodeStats stats;
            huffcodec::Tuning tuning;
            tuning.lanes = lanes;
            if (decodeWith(1, tuning, argv[2], nullptr, &stats) != huffcodec::Status::ok) {
                return 1;
            }
            const std::uint64_t met = stats.boundaries - stats.fallbacks;
            std::printf(
                "%d lanes: segments: %llu, boundaries: %llu, fell back: %llu (%.1f%%), lanes met "
                "on average %.1f bits past the split (max %llu)\n",
                lanes, static_cast<unsigned long long>(stats.segments),
                static_cast<unsigned long long>(stats.boundaries),
                static_cast<unsigned long long>(stats.fallbacks),
                stats.boundaries ? 100.0 * static_cast<double>(stats.fallbacks) /
                                       static_cast<double>(stats.boundaries)
                                 : 0.0,
                met ? static_cast<double>(stats.resyncBitsTotal) / static_cast<double>(met) : 0.0,
                static_cast<unsigned long long>(stats.resyncBitsMax));
        }
        reportResync(argv[2]);
        return 0;
    }
    std::fprintf(stderr,
                 "usage: %s plain IN OUT, %s decode LANES IN OUT, %s lanes IN, or %s memory IN "
                 "[RUNS]\n",
                 argv[0], argv[0], argv[0], argv[0]);
    return 2;
}
