// SPDX-License-Identifier: MIT
//
// Times the in-memory API on one file: compress() it once, then decompress()
// the result RUNS times with THREADS threads (0: all processors), and prints
// the best decode speed in MB/s of decoded data. The yardstick for the
// Python binding's decompress(), which calls the same function.
//
//   huffcodec_memory_decode FILE [THREADS] [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "huffcodec/huffcodec.hpp"

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [THREADS] [RUNS]\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> data((std::istreambuf_iterator<char>(file)),
                                 std::istreambuf_iterator<char>());
    huffcodec::Options options;
    options.threads = argc > 2 ? std::atoi(argv[2]) : 0;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;

    std::vector<char> packed(huffcodec::compressBound(data.size()));
    const huffcodec::CompressResult compressed =
        huffcodec::compress(data.data(), data.size(), packed.data(), packed.size(), options);
    if (compressed.status != huffcodec::Status::ok) {
        std::fprintf(stderr, "compress: %s\n", huffcodec::statusMessage(compressed.status));
        return 1;
    }
    std::vector<char> out(data.size());
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const huffcodec::DecompressResult result = huffcodec::decompress(
            packed.data(), compressed.bytesProduced, out.data(), out.size(), options);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (result.status != huffcodec::Status::ok || out != data) {
            std::fprintf(stderr, "decompress gave other bytes\n");
            return 1;
        }
        best = took.count() < best ? took.count() : best;
    }
    std::printf("%.1f\n", static_cast<double>(data.size()) / best / 1e6);
    return 0;
}
