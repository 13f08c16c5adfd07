// SPDX-License-Identifier: MIT
//
// Writes the seed corpora of the fuzz targets into DIR/decode, DIR/roundtrip
// and DIR/tree: valid compressed files of many shapes and cuts of them (the
// start of large ones too), raw data of many shapes, and count tables that give the deepest trees
// the format allows. Deterministic: the same files on every run.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "SymbolCounts.hpp"
#include "encode/BodyEncoder.hpp"
#include "encode/ByteCounter.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

void writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(file);
}

std::string headerOf(const SymbolCounts& counts) {
    huffcodec::Header header;
    std::copy(counts.begin(), counts.end(), header.counts.begin());
    const auto bytes = huffcodec::writeHeader(header);
    return std::string(bytes.begin(), bytes.end());
}

// A whole compressed file for data.
std::string compressed(const std::string& data) {
    huffcodec::ByteCounter counter;
    counter.add(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    SymbolCounts counts(kNumSymbols, 0);
    const auto byteCounts = counter.counts();
    for (int i = 0; i < kNumSymbols; ++i) {
        counts[i] = static_cast<std::int32_t>(byteCounts[i]);
    }
    huffcodec::CountTable table{};
    std::copy(counts.begin(), counts.end(), table.begin());
    huffcodec::BodyEncoder encoder{huffcodec::CodeTree(table)};
    std::vector<std::uint8_t> body(encoder.outputBound(data.size()));
    std::size_t size = encoder.encode(reinterpret_cast<const std::uint8_t*>(data.data()),
                                      data.size(), body.data());
    size += encoder.finish(body.data() + size);
    return headerOf(counts) + std::string(body.begin(), body.begin() + static_cast<long>(size));
}

// Fibonacci counts over spread-out symbols: the deepest tree whose total
// still fits in 31 bits.
SymbolCounts fibonacciCounts() {
    SymbolCounts counts(kNumSymbols, 0);
    std::int64_t a = 1, b = 1, total = 0;
    for (int s = 0; s < kNumSymbols && total + a <= huffcodec::kMaxOriginalSize; ++s) {
        counts[(s * 37) % kNumSymbols] = static_cast<std::int32_t>(a);
        total += a;
        const std::int64_t next = a + b;
        a = b;
        b = next;
    }
    return counts;
}

std::vector<std::string> dataShapes() {
    std::mt19937 random(1);
    std::vector<std::string> shapes = {"", "a", "CABC", "aabcabcaa", std::string(300, 'z')};
    std::string all;
    for (int v = 0; v < 256; ++v) {
        all.push_back(static_cast<char>(v));
    }
    shapes.push_back(all);
    std::string text =
        "A static Huffman code gives frequent bytes short codes and rare bytes long ones; "
        "the counts in the header are all a reader needs to rebuild the same tree.\n";
    shapes.push_back(text + text);
    std::string uniform(2000, '\0'), skewed(2000, 'e'), fibonacci;
    for (char& c : uniform) {
        c = static_cast<char>(random());
    }
    for (char& c : skewed) {
        c = random() % 100 < 93 ? 'e' : static_cast<char>(random());
    }
    for (int s = 0, a = 1, b = 1; s < 14; ++s) {
        fibonacci.append(static_cast<std::size_t>(a), static_cast<char>('A' + s));
        const int next = a + b;
        a = b;
        b = next;
    }
    shapes.push_back(uniform);
    shapes.push_back(skewed);
    shapes.push_back(fibonacci);
    return shapes;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    for (const char* target : {"", "/decode", "/roundtrip", "/tree"}) {
        mkdir((dir + target).c_str(), 0755);
    }
    int n = 0;
    auto name = [&n](const std::string& sub) { return sub + "/seed" + std::to_string(n++); };

    for (const std::string& data : dataShapes()) {
        // Two bytes of choices (piece size; threads, chunk sizes, change) first.
        const char choices[] = {'\x40', static_cast<char>(n * 37)};
        writeFile(name(dir + "/roundtrip"), std::string(choices, 2) + data);
        const std::string file = compressed(data);
        writeFile(name(dir + "/decode"), file);
        if (file.size() > static_cast<std::size_t>(kHeaderBytes) + 2) {
            writeFile(name(dir + "/decode"), file.substr(0, file.size() - 2));  // a cut body
        }
        // Threads decode bodies of 16 chunks' worth of symbols and more: the
        // start of a file of the shape repeated to 32 KiB.
        if (data.size() > 1) {
            std::string large;
            while (large.size() < std::size_t{32} << 10) {
                large += data;
            }
            writeFile(name(dir + "/decode"), compressed(large).substr(0, 4096));
        }
    }
    // Deep trees: the Fibonacci header with a short body of its longest codes
    // (all ones) and one of random bits; the declared size is never reached.
    const std::string deep = headerOf(fibonacciCounts());
    writeFile(name(dir + "/decode"), deep + std::string(64, '\xFF'));
    writeFile(name(dir + "/decode"), deep + std::string("\x5A\xA5\x0F\xF0\x33\xCC", 6));
    writeFile(name(dir + "/tree"), deep);
    // A header at the size limit, one symbol: a long run without a body.
    SymbolCounts single(kNumSymbols, 0);
    single[200] = 1 << 20;
    writeFile(name(dir + "/decode"), headerOf(single));
    writeFile(name(dir + "/tree"), headerOf(single));
    // Equal counts (constant code lengths) and powers of two (lengths 1..).
    SymbolCounts equal(kNumSymbols, 3), powers(kNumSymbols, 0);
    for (int s = 0; s < 30; ++s) {
        powers[s * 8] = 1 << s;
    }
    writeFile(name(dir + "/tree"), headerOf(equal));
    writeFile(name(dir + "/tree"), headerOf(powers));
    writeFile(name(dir + "/decode"), headerOf(powers) + std::string(40, '\xFF'));
    return 0;
}
