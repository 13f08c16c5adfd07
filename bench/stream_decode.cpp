// SPDX-License-Identifier: MIT
//
// Times the caller-driven DecompressStream on one file: compress() it once,
// then decompress the result RUNS times through a DecompressStream fed in
// pieces of IN bytes, with OUT bytes of room a call, the end flag with the
// last piece, and print the median speed in MB/s of decoded data, by the
// wall clock and by the thread's CPU time (which the load of other
// processes on a shared machine stretches less). Only the public interface
// is used, so that the same source built against an older library times
// that one.
//
//   huffcodec_stream_decode FILE IN OUT [RUNS]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "huffcodec/huffcodec.hpp"

namespace {

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILE IN OUT [RUNS]\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> data((std::istreambuf_iterator<char>(file)),
                                 std::istreambuf_iterator<char>());
    const std::size_t inPiece = std::strtoull(argv[2], nullptr, 10);
    const std::size_t outRoom = std::strtoull(argv[3], nullptr, 10);
    const int runs = argc > 4 ? std::atoi(argv[4]) : 5;
    if (inPiece == 0 || outRoom == 0 || runs < 1) {
        std::fprintf(stderr, "IN, OUT and RUNS must be at least 1\n");
        return 2;
    }

    std::vector<char> packed(huffcodec::compressBound(data.size()));
    const huffcodec::CompressResult compressed =
        huffcodec::compress(data.data(), data.size(), packed.data(), packed.size());
    if (compressed.status != huffcodec::Status::ok) {
        std::fprintf(stderr, "compress: %s\n", huffcodec::statusMessage(compressed.status));
        return 1;
    }
    const std::size_t size = compressed.bytesProduced;
    std::vector<char> out(outRoom);
    std::vector<double> seconds;
    std::vector<double> cpuSeconds;
    huffcodec::DecompressStream stream;
    for (int run = 0; run < runs; ++run) {
        stream.reset();
        std::size_t given = 0;
        std::size_t produced = 0;
        bool same = true;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadSeconds();
        while (!stream.finished()) {
            const std::size_t piece = std::min(inPiece, size - given);
            huffcodec::InBuffer in{packed.data() + given, piece, 0};
            // The caller takes each piece's output before it gives the next.
            do {
                huffcodec::OutBuffer room{out.data(), out.size(), 0};
                const huffcodec::Status status = stream.decompress(in, room, given + piece == size);
                if (status != huffcodec::Status::ok || produced + room.pos > data.size()) {
                    std::fprintf(stderr, "decompress: %s\n", huffcodec::statusMessage(status));
                    return 1;
                }
                same = same && std::memcmp(out.data(), data.data() + produced, room.pos) == 0;
                produced += room.pos;
                if (room.pos < room.size && in.pos == in.size) {
                    break;  // all this piece gives
                }
            } while (!stream.finished());
            given += in.pos;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        cpuSeconds.push_back(threadSeconds() - cpuStart);
        if (!same || produced != data.size()) {
            std::fprintf(stderr, "the stream gave other bytes\n");
            return 1;
        }
        seconds.push_back(took.count());
    }
    const double megabytes = static_cast<double>(data.size()) / 1e6;
    std::printf("%.1f %.1f\n", megabytes / medianOf(seconds), megabytes / medianOf(cpuSeconds));
    return 0;
}
