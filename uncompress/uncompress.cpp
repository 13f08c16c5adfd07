// The uncompress command: restores a file written in the compressed format
// (a 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. Exit status 0 on success, 255 on
// any reported failure; the bytes decoded before a problem stay in the output.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>

#include "CountHeader.hpp"
#include "DecodeTable.hpp"
#include "FileArguments.hpp"
#include "HCTree.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "ProcessSetup.hpp"
#include "SymbolCounts.hpp"

namespace {

int uncompressFile(int argc, char* argv[]);

}  // namespace

[[noreturn]] void usageAndExit(const char* programName) {
    FileArguments::printUsage(programName);
    std::exit(-1);
}

int main(int argc, char* argv[]) {
    if (!prepareProcess()) {
        std::cerr << "Error opening \"/dev/null\"." << std::endl;
        return -1;
    }
    try {
        return uncompressFile(argc, argv);
    } catch (const std::bad_alloc&) {
        // A stage line ends in "..." and every other line in a newline, so
        // this closes the open stage line or stands on a line of its own.
        std::cerr << "  Problem: out of memory." << std::endl;
        return -1;
    }
}

namespace {

int uncompressFile(int argc, char* argv[]) {
    const FileArguments arguments(argc, argv, "uncompress", usageAndExit);
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

    std::cerr << "Reading header from file \"" << infile << "\"...";
    std::array<std::uint8_t, kHeaderBytes> headerBytes{};
    const long headerSize = input.read(headerBytes.data(), headerBytes.size());
    if (headerSize < 0) {
        std::cerr << "  Problem: error reading input file." << std::endl;
        return -1;
    }
    CountHeader header;
    switch (header.parse(headerBytes.data(), static_cast<std::size_t>(headerSize))) {
        case CountHeader::Status::endOfInput:
            std::cerr << "  Problem: EOF while reading header." << std::endl;
            return -1;
        case CountHeader::Status::sizeTooLarge:
            std::cerr << "  Problem: uncompressed size exceeds " << CountHeader::kMaxTotal
                      << " bytes." << std::endl;
            return -1;
        case CountHeader::Status::ok:
            break;
    }
    const std::int64_t total = header.total();
    std::cerr << " done." << std::endl;
    std::cerr << "Uncompressed file will have " << header.unique() << " unique symbols and size "
              << total << " bytes." << std::endl;

    std::cerr << "Building Huffman code tree...";
    HCTree tree;
    tree.buildFromCounts(header.counts());
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

}  // namespace
