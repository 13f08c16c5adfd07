// SPDX-License-Identifier: MIT
//
// uncompress on input that no writer made: huge declared sizes, corrupt
// headers and bodies, devices. Whatever the bytes, it must end with status 0
// or 255 and the exact report that the plain reference path implies.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "TestSupport.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

using namespace testing_support;

const std::string kUncompress = UNCOMPRESS_PATH;

std::string formatRatio(double ratio) {
    std::ostringstream text;
    text << ratio;
    return text.str();
}

// The report and output the plain path gives for file, or nothing when the
// output would be too large to hold in a test (a one-symbol header of a huge
// size).
struct Expected {
    int exitStatus;
    std::string err;
    std::string output;
};

std::optional<Expected> expectedFor(const std::string& file, const std::string& in,
                                    const std::string& out) {
    const std::string reading = "Reading header from file \"" + in + "\"...";
    const huffcodec::HeaderResult parsed = huffcodec::readHeader(file.data(), file.size());
    switch (parsed.status) {
        case huffcodec::Status::ok:
            break;
        case huffcodec::Status::sizeTooLarge:
            return Expected{
                255, reading + "  Problem: uncompressed size exceeds 2147483647 bytes.\n", ""};
        default:
            return Expected{255, reading + "  Problem: EOF while reading header.\n", ""};
    }
    const huffcodec::Header& header = parsed.header;
    if (header.distinctBytes == 1 && header.originalSize > 4000000) {
        return std::nullopt;
    }
    HCTree tree;
    tree.buildFromCounts(SymbolCounts(header.counts.begin(), header.counts.end()));
    const PlainDecoding plain = decodePlain(tree, file.substr(kHeaderBytes),
                                            static_cast<std::uint64_t>(header.originalSize));
    std::string err =
        reading + " done.\nUncompressed file will have " + std::to_string(header.distinctBytes) +
        " unique symbols and size " + std::to_string(header.originalSize) +
        " bytes.\nBuilding Huffman code tree... done.\nWriting to file \"" + out + "\"...";
    if (!plain.complete) {
        return Expected{255, err + "  Problem: EOF while decoding.\n", plain.symbols};
    }
    const double ratio = static_cast<double>(header.originalSize) /
                         static_cast<double>(kHeaderBytes + plain.bytesFetched);
    return Expected{0, err + " done.\nUncompression ratio: " + formatRatio(ratio) + "\n",
                    plain.symbols};
}

void expectLikePlainPath(const std::string& file, const std::string& label) {
    TempDir dir;
    const std::string in = dir.path("in.huf"), out = dir.path("out");
    const std::optional<Expected> expected = expectedFor(file, in, out);
    if (!expected) {
        return;
    }
    writeFile(in, file);
    const RunResult result = runProgram(kUncompress, {kUncompress, in, out});
    EXPECT_EQ(result.exitStatus, expected->exitStatus) << label;
    EXPECT_EQ(result.err, expected->err) << label;
    EXPECT_EQ(readFile(out), expected->output) << label;
}

TEST(HostileInput, RandomFlipsInHeaderAndBody) {
    const std::string data = dataFor(
        makeCounts({{'a', 40}, {'b', 20}, {'c', 9}, {'d', 3}, {'e', 1}, {200, 2}}), 3000, 31);
    const std::string valid = compressReference(data);
    std::mt19937 random(2026);
    for (int round = 0; round < 60; ++round) {
        std::string file = valid;
        const bool inHeader = round % 2 == 0;
        for (int flips = 1 + static_cast<int>(random() % 3); flips > 0; --flips) {
            const std::size_t at = inHeader
                                       ? 4 * ('a' + random() % 8) + random() % 4
                                       : kHeaderBytes + random() % (file.size() - kHeaderBytes);
            file[at] = static_cast<char>(file[at] ^ (1 << (random() % 8)));
        }
        expectLikePlainPath(file, "round " + std::to_string(round));
    }
}

TEST(HostileInput, DeclaredSizesAndBodiesThatDisagree) {
    SymbolCounts spread(kNumSymbols, 2147483647 / kNumSymbols);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"maximal size over all symbols, tiny body", headerBytes(spread) + "\x12\x34\x56"},
        {"maximal size, no body", headerBytes(spread)},
        {"deep tree, body of ones", headerBytes(countTableShapes()[60]) + std::string(30, '\xFF')},
        {"deep tree, body of zeros", headerBytes(countTableShapes()[60]) + std::string(30, '\0')},
        {"two symbols, random body",
         headerBytes(makeCounts({{1, 1000}, {2, 1000}})) + randomBytes(5, 200)},
    };
    for (const auto& [label, file] : files) {
        expectLikePlainPath(file, label);
    }
}

// A one-symbol header of the largest size streams 2^31 - 1 bytes without a
// body and without holding them.
TEST(HostileInput, LargestOneSymbolFileStreamsToDevNull) {
    TempDir dir;
    const std::string in = dir.path("in.huf");
    writeFile(in, headerBytes(makeCounts({{'x', 2147483647}})));
    const RunResult result = runProgram(kUncompress, {kUncompress, in, "/dev/null"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "Reading header from file \"" + in +
                              "\"... done.\nUncompressed file will have 1 unique symbols and "
                              "size 2147483647 bytes.\nBuilding Huffman code tree... "
                              "done.\nWriting to file \"/dev/null\"... done.\nUncompression "
                              "ratio: 2.09715e+06\n");
}

TEST(HostileInput, DevicesAsInput) {
    TempDir dir;
    const std::string out = dir.path("out");
    const RunResult zero = runProgram(kUncompress, {kUncompress, "/dev/zero", out});
    EXPECT_EQ(zero.exitStatus, 0);
    EXPECT_EQ(zero.err,
              "Reading header from file \"/dev/zero\"... done.\nUncompressed file will have 0 "
              "unique symbols and size 0 bytes.\nBuilding Huffman code tree... done.\nWriting to "
              "file \"" +
                  out + "\"... done.\nUncompression ratio: 0\n");
    EXPECT_EQ(readFile(out), "");

    for (int run = 0; run < 5; ++run) {
        const RunResult random = runProgram(kUncompress, {kUncompress, "/dev/urandom", out});
        const std::string reading = "Reading header from file \"/dev/urandom\"...";
        EXPECT_EQ(random.exitStatus, 255);
        EXPECT_TRUE(random.err == reading + "  Problem: EOF while reading header.\n" ||
                    random.err ==
                        reading + "  Problem: uncompressed size exceeds 2147483647 bytes.\n")
            << random.err;
        EXPECT_EQ(readFile(out), "");
    }
}

}  // namespace
