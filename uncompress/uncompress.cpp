// The uncompress command: restores a file written in the compressed format
// (a 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. Exit status 0 on success, 255 on
// any reported failure.
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>

#include "DecodeTable.hpp"
#include "HCTree.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "SymbolCounts.hpp"

namespace {

constexpr std::int64_t kMaxTotal = std::numeric_limits<std::int32_t>::max();

// True when both paths name one existing file (links followed): opening the
// output would then truncate the input before it is read.
bool sameExistingFile(const char* a, const char* b) {
    struct stat statA {};
    struct stat statB {};
    return stat(a, &statA) == 0 && stat(b, &statB) == 0 && statA.st_dev == statB.st_dev &&
           statA.st_ino == statB.st_ino;
}

std::int32_t littleEndianInt32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
}

}  // namespace

[[noreturn]] void usageAndExit(const char* programName) {
    std::cerr << programName << " called with incorrect arguments." << std::endl;
    std::cerr << "Usage: " << programName << " infile outfile" << std::endl;
    std::exit(-1);
}

int main(int argc, char* argv[]) {
    // Without a program name (an empty argument vector) the usage names the command.
    const char* programName =
        argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : "uncompress";
    if (argc != 3) {
        usageAndExit(programName);
    }
    const std::string infile = argv[1];
    const std::string outfile = argv[2];
    if (infile == outfile || sameExistingFile(argv[1], argv[2])) {
        std::cerr << "infile and outfile must be different files" << std::endl;
        usageAndExit(programName);
    }

    InputFile input(infile);
    if (!input.isOpen()) {
        std::cerr << "Error opening \"" << infile << "\"." << std::endl;
        return -1;
    }
    OutputFile output(outfile);
    if (!output.isOpen()) {
        std::cerr << "Error opening \"" << outfile << "\"." << std::endl;
        return -1;
    }

    std::cerr << "Reading header from file \"" << infile << "\"...";
    std::array<std::uint8_t, kHeaderBytes> header{};
    const long headerBytes = input.read(header.data(), header.size());
    if (headerBytes < 0) {
        std::cerr << "  Problem: error reading input file." << std::endl;
        return -1;
    }
    // Entry by entry, so that a short header and a negative or overflowing
    // entry are reported at the first entry where they show.
    SymbolCounts counts(kNumSymbols, 0);
    std::int64_t total = 0;
    std::int32_t unique = 0;
    for (int i = 0; i < kNumSymbols; ++i) {
        const std::int32_t count =
            4 * (i + 1) <= headerBytes ? littleEndianInt32(&header[4 * i]) : -1;
        if (count < 0) {
            std::cerr << "  Problem: EOF while reading header." << std::endl;
            return -1;
        }
        counts[i] = count;
        total += count;
        if (total > kMaxTotal) {
            std::cerr << "  Problem: uncompressed size exceeds " << kMaxTotal << " bytes."
                      << std::endl;
            return -1;
        }
        if (count != 0) {
            ++unique;
        }
    }
    std::cerr << " done." << std::endl;
    std::cerr << "Uncompressed file will have " << unique << " unique symbols and size " << total
              << " bytes." << std::endl;

    std::cerr << "Building Huffman code tree...";
    HCTree tree;
    tree.buildFromCounts(counts);
    const DecodeTable table(tree);
    std::cerr << " done." << std::endl;

    std::cerr << "Writing to file \"" << outfile << "\"...";
    const DecodeTable::Result result = table.decodeBody(
        static_cast<std::uint64_t>(total),
        [&input](std::uint8_t* buffer, std::size_t size) { return input.read(buffer, size); },
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); });
    switch (result.status) {
        case DecodeTable::Status::endOfInput:
            std::cerr << "  Problem: EOF while decoding." << std::endl;
            return -1;
        case DecodeTable::Status::readError:
            std::cerr << "  Problem: error reading input file." << std::endl;
            return -1;
        case DecodeTable::Status::writeError:
            std::cerr << "  Problem: error writing output file." << std::endl;
            return -1;
        case DecodeTable::Status::ok:
            break;
    }
    if (!output.close()) {
        std::cerr << "  Problem: error writing output file." << std::endl;
        return -1;
    }
    std::cerr << " done." << std::endl;

    // Header plus every body byte the decoder needed, the last partly used
    // one included; trailing bytes do not count.
    const std::uint64_t compressedSize = kHeaderBytes + (result.bitsConsumed + 7) / 8;
    const double ratio = static_cast<double>(total) / static_cast<double>(compressedSize);
    std::cerr << "Uncompression ratio: " << ratio << std::endl;
    return 0;
}
