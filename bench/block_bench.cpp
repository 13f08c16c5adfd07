// SPDX-License-Identifier: MIT
//
// Small inputs: FILE cut in blocks of BLOCK bytes, each compressed and then
// decompressed by a call of its own through the C interface, on the calling
// thread, as a Zarr or HDF5 chunk is. Checks the round trip and prints the
// compressed size and the median encode and decode MB/s (of uncompressed
// data) of RUNS runs, in the form the peer benchmark in shared/peers prints,
// so that the two can be run in turn on the same file.
//
//   huffcodec_block_bench FILE [RUNS [BLOCK [TABLE [LANES]]]]
//
// defaults: 7 runs, blocks of 131072 bytes; TABLE (0 automatic, 1 single,
// 2 pairs, 3 runs, 4 large) and LANES (0: the plan's) force the decoder's
// choices through the experimental tuning, to measure the plan's options.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "huffcodec/experimental.h"
#include "huffcodec/huffcodec.h"

namespace {

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [RUNS [BLOCK]]\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const std::size_t block =
        argc > 3 ? std::max<std::size_t>(1, std::strtoull(argv[3], nullptr, 10)) : 131072;
    huffcodec_tuning tuning{};
    tuning.decode_table = argc > 4 ? std::atoi(argv[4]) : 0;
    tuning.lanes = argc > 5 ? std::atoi(argv[5]) : 0;
    huffcodec_options options;
    huffcodec_options_init(&options);
    options.tuning = &tuning;
    const std::size_t blocks = (data.size() + block - 1) / block;
    const std::size_t bound = huffcodec_compress_bound(block);
    std::vector<unsigned char> packed(blocks * bound);
    std::vector<std::size_t> packedSize(blocks);
    std::vector<unsigned char> out(data.size());
    std::vector<double> encode;
    std::vector<double> decode;
    std::size_t total = 0;
    for (int run = 0; run < runs; ++run) {
        double start = seconds();
        total = 0;
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::size_t size = std::min(block, data.size() - b * block);
            if (huffcodec_compress(data.data() + b * block, size, packed.data() + b * bound, bound,
                                   &packedSize[b], nullptr) != HUFFCODEC_OK) {
                std::fprintf(stderr, "compress failed in block %zu\n", b);
                return 1;
            }
            total += packedSize[b];
        }
        encode.push_back(seconds() - start);
        start = seconds();
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::size_t size = std::min(block, data.size() - b * block);
            std::size_t restored = 0;
            if (huffcodec_decompress(packed.data() + b * bound, packedSize[b],
                                     out.data() + b * block, size, &restored, nullptr,
                                     &options) != HUFFCODEC_OK ||
                restored != size) {
                std::fprintf(stderr, "decompress failed in block %zu\n", b);
                return 1;
            }
        }
        decode.push_back(seconds() - start);
    }
    if (out != data) {
        std::fprintf(stderr, "round trip differs\n");
        return 1;
    }
    const double megabytes = static_cast<double>(data.size()) / 1e6;
    std::printf(
        "%s: %zu -> %zu bytes in blocks of %zu; encode %.0f MB/s, decode %.0f MB/s (huffcodec, "
        "median of %d)\n",
        argv[1], data.size(), total, block, megabytes / median(encode), megabytes / median(decode),
        runs);
    return 0;
}
