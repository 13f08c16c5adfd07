// The uncompress command: restores a file written in the compressed format
// (a 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. Exit status 0 on success, 255 on
// any reported failure.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>

#include "BitInputStream.hpp"
#include "HCTree.hpp"
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

    std::ifstream input(infile, std::ios::binary);
    if (!input.good()) {
        std::cerr << "Error opening \"" << infile << "\"." << std::endl;
        return -1;
    }
    BitInputStream bitInput(input);
    std::ofstream output(outfile, std::ios::binary | std::ios::trunc);
    if (!output.good()) {
        std::cerr << "Error opening \"" << outfile << "\"." << std::endl;
        return -1;
    }

    std::cerr << "Reading header from file \"" << infile << "\"...";
    SymbolCounts counts(kNumSymbols, 0);
    std::int64_t total = 0;
    std::int32_t unique = 0;
    for (int i = 0; i < kNumSymbols; ++i) {
        const std::int32_t count = bitInput.readInt32();
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
    std::cerr << " done." << std::endl;

    std::cerr << "Writing to file \"" << outfile << "\"...";
    for (std::int64_t index = 0; index < total; ++index) {
        const int symbol = tree.decodeSymbol(bitInput);
        if (symbol < 0) {
            std::cerr << "  Problem: EOF while decoding." << std::endl;
            return -1;
        }
        // A failed write leaves the stream bad: stop rather than decode the
        // rest into a dead stream.
        if (!output.put(static_cast<char>(symbol))) {
            std::cerr << "  Problem: error writing output file." << std::endl;
            return -1;
        }
    }
    // Closing flushes what is still buffered; a failure there is a write error too.
    output.close();
    if (output.fail()) {
        std::cerr << "  Problem: error writing output file." << std::endl;
        return -1;
    }
    std::cerr << " done." << std::endl;

    // Header plus every body byte fetched, the last partly used one included.
    const std::int64_t compressedSize = static_cast<std::int64_t>(input.tellg());
    const double ratio = static_cast<double>(total) / static_cast<double>(compressedSize);
    std::cerr << "Uncompression ratio: " << ratio << std::endl;

    input.close();
    return 0;
}
