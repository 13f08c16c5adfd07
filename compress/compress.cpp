// The compress command: writes a file in the format uncompress reads (a
// 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. The input is read twice, once to
// count and once to encode, so memory does not grow with its size. Exit
// status 0 on success, 255 on any reported failure.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "BodyEncoder.hpp"
#include "ByteCounter.hpp"
#include "CountHeader.hpp"
#include "FileArguments.hpp"
#include "HCTree.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "SymbolCounts.hpp"

namespace {

constexpr std::int64_t kMaxTotal = CountHeader::kMaxTotal;
constexpr std::size_t kBlockBytes = std::size_t{1} << 17;

}  // namespace

[[noreturn]] void usageAndExit(const char* programName) {
    FileArguments::printUsage(programName);
    std::exit(-1);
}

int main(int argc, char* argv[]) {
    const FileArguments arguments(argc, argv, "compress", usageAndExit);
    const std::string& infile = arguments.infile();
    const std::string& outfile = arguments.outfile();

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

    std::cerr << "Reading from file \"" << infile << "\"...";
    std::vector<std::uint8_t> block(kBlockBytes);
    ByteCounter counter;
    std::int64_t total = 0;
    for (;;) {
        const long got = input.read(block.data(), block.size());
        if (got < 0) {
            std::cerr << "  Problem: error reading input file." << std::endl;
            return -1;
        }
        counter.add(block.data(), static_cast<std::size_t>(got));
        total += got;
        if (total > kMaxTotal) {
            std::cerr << "  Problem: input exceeds " << kMaxTotal << " bytes." << std::endl;
            return -1;
        }
        if (static_cast<std::size_t>(got) < block.size()) {
            break;
        }
    }
    const std::array<std::uint64_t, kNumSymbols> byteCounts = counter.counts();
    SymbolCounts counts(kNumSymbols, 0);
    std::int32_t unique = 0;
    for (int i = 0; i < kNumSymbols; ++i) {
        counts[i] = static_cast<std::int32_t>(byteCounts[i]);
        unique += counts[i] != 0 ? 1 : 0;
    }
    std::cerr << " done." << std::endl;
    std::cerr << "Input file has " << unique << " unique symbols and size " << total << " bytes."
              << std::endl;

    std::cerr << "Building Huffman code tree...";
    HCTree tree;
    tree.buildFromCounts(counts);
    // Counts that add up to less than 2^31 give codes of at most 44 bits,
    // always within the encoder's reach.
    BodyEncoder encoder(tree);
    std::cerr << " done." << std::endl;

    std::cerr << "Writing to file \"" << outfile << "\"...";
    const std::array<std::uint8_t, kHeaderBytes> header = CountHeader::encode(counts);
    std::uint64_t compressedSize = header.size();
    std::vector<std::uint8_t> encoded(encoder.outputBound(block.size()));
    if (!output.write(header.data(), header.size())) {
        std::cerr << "  Problem: error writing output file." << std::endl;
        return -1;
    }
    if (!input.rewind()) {
        std::cerr << "  Problem: error reading input file." << std::endl;
        return -1;
    }
    // The second pass must see the bytes the header describes: a file that
    // changed in between could hold bytes the code has no code for.
    std::int64_t encodedTotal = 0;
    for (;;) {
        const long got = input.read(block.data(), block.size());
        if (got < 0 || encodedTotal + got > total) {
            std::cerr << "  Problem: error reading input file." << std::endl;
            return -1;
        }
        encodedTotal += got;
        std::size_t size =
            encoder.encode(block.data(), static_cast<std::size_t>(got), encoded.data());
        const bool last = static_cast<std::size_t>(got) < block.size();
        if (last) {
            size += encoder.finish(encoded.data() + size);
        }
        if (!output.write(encoded.data(), size)) {
            std::cerr << "  Problem: error writing output file." << std::endl;
            return -1;
        }
        compressedSize += size;
        if (last) {
            break;
        }
    }
    if (encodedTotal != total || encoder.sawSymbolWithoutCode()) {
        std::cerr << "  Problem: error reading input file." << std::endl;
        return -1;
    }
    if (!output.close()) {
        std::cerr << "  Problem: error writing output file." << std::endl;
        return -1;
    }
    std::cerr << " done." << std::endl;

    const double ratio = static_cast<double>(total) / static_cast<double>(compressedSize);
    std::cerr << "Compression ratio: " << ratio << std::endl;
    return 0;
}
