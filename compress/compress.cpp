// The compress command: writes a file in the format uncompress reads (a
// 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. The input is read twice, once to
// count and once to encode, so memory does not grow with its size. Exit
// status 0 on success, 255 on any reported failure.
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <vector>

#include "BitOutputStream.hpp"
#include "HCTree.hpp"
#include "InputFile.hpp"
#include "SymbolCounts.hpp"

namespace {

constexpr std::int64_t kMaxTotal = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kBlockBytes = 1 << 16;

// True when both paths name one existing file (links followed): opening the
// output would then truncate the input before it is read.
bool sameExistingFile(const char* a, const char* b) {
    struct stat statA {};
    struct stat statB {};
    return stat(a, &statA) == 0 && stat(b, &statB) == 0 && statA.st_dev == statB.st_dev &&
           statA.st_ino == statB.st_ino;
}

enum class CountResult { ok, readError, tooLarge };

// Adds the bytes of the whole file to counts, stopping once the total passes
// the largest size the header can represent.
CountResult countBytes(InputFile& input, std::vector<char>& block,
                       std::array<std::int64_t, kNumSymbols>& counts, std::int64_t& total) {
    for (;;) {
        const long got = input.read(block.data(), block.size());
        if (got < 0) {
            return CountResult::readError;
        }
        for (long i = 0; i < got; ++i) {
            ++counts[static_cast<unsigned char>(block[i])];
        }
        total += got;
        if (total > kMaxTotal) {
            return CountResult::tooLarge;
        }
        if (got < static_cast<long>(block.size())) {
            return CountResult::ok;
        }
    }
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
        argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : "compress";
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
    std::ofstream output(outfile, std::ios::binary | std::ios::trunc);
    if (!output.good()) {
        std::cerr << "Error opening \"" << outfile << "\"." << std::endl;
        return -1;
    }

    std::cerr << "Reading from file \"" << infile << "\"...";
    std::vector<char> block(kBlockBytes);
    std::array<std::int64_t, kNumSymbols> firstPass{};
    std::int64_t total = 0;
    switch (countBytes(input, block, firstPass, total)) {
        case CountResult::readError:
            std::cerr << "  Problem: error reading input file." << std::endl;
            return -1;
        case CountResult::tooLarge:
            std::cerr << "  Problem: input exceeds " << kMaxTotal << " bytes." << std::endl;
            return -1;
        case CountResult::ok:
            break;
    }
    SymbolCounts counts(kNumSymbols, 0);
    std::int32_t unique = 0;
    for (int i = 0; i < kNumSymbols; ++i) {
        counts[i] = static_cast<std::int32_t>(firstPass[i]);
        unique += counts[i] != 0 ? 1 : 0;
    }
    std::cerr << " done." << std::endl;
    std::cerr << "Input file has " << unique << " unique symbols and size " << total << " bytes."
              << std::endl;

    std::cerr << "Building Huffman code tree...";
    HCTree tree;
    tree.buildFromCounts(counts);
    std::cerr << " done." << std::endl;

    std::cerr << "Writing to file \"" << outfile << "\"...";
    BitOutputStream bitOutput(output);
    for (const std::int32_t count : counts) {
        bitOutput.writeInt32(count);
    }
    if (!input.rewind()) {
        std::cerr << "  Problem: error reading input file." << std::endl;
        return -1;
    }
    // The second pass must see the bytes the header describes: a file that
    // changed in between would otherwise be encoded with codes that do not fit.
    std::array<std::int64_t, kNumSymbols> secondPass{};
    std::int64_t encoded = 0;
    for (;;) {
        const long got = input.read(block.data(), block.size());
        if (got < 0 || encoded + got > total) {
            std::cerr << "  Problem: error reading input file." << std::endl;
            return -1;
        }
        for (long i = 0; i < got; ++i) {
            const auto symbol = static_cast<unsigned char>(block[i]);
            ++secondPass[symbol];
            tree.encodeSymbol(symbol, bitOutput);
        }
        encoded += got;
        if (!output.good()) {
            std::cerr << "  Problem: error writing output file." << std::endl;
            return -1;
        }
        if (got < static_cast<long>(block.size())) {
            break;
        }
    }
    if (secondPass != firstPass) {
        std::cerr << "  Problem: error reading input file." << std::endl;
        return -1;
    }
    bitOutput.flush();
    const std::int64_t compressedSize = static_cast<std::int64_t>(output.tellp());
    output.close();
    if (output.fail() || compressedSize < 0) {
        std::cerr << "  Problem: error writing output file." << std::endl;
        return -1;
    }
    std::cerr << " done." << std::endl;

    const double ratio = static_cast<double>(total) / static_cast<double>(compressedSize);
    std::cerr << "Compression ratio: " << ratio << std::endl;
    return 0;
}
