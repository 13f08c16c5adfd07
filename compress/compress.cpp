// The compress command: writes a file in the format uncompress reads (a
// 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. The input is read twice, once to
// count and once to encode, so memory does not grow with its size; an input
// that cannot seek is copied to an unnamed temporary file while it is counted,
// and the copy is read the second time. Exit status 0 on success, 255 on any
// reported failure, after which no output file is left behind.
#include <fcntl.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>
#include <vector>

#include "BodyEncoder.hpp"
#include "ByteCounter.hpp"
#include "CountHeader.hpp"
#include "FileArguments.hpp"
#include "HCTree.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "OutputRemover.hpp"
#include "ProcessSetup.hpp"
#include "SymbolCounts.hpp"
#include "TemporaryFile.hpp"

namespace {

constexpr std::int64_t kMaxTotal = CountHeader::kMaxTotal;
constexpr std::size_t kBlockBytes = std::size_t{1} << 17;
static_assert(kMaxTotal == 2147483647, "the problem lines spell the limit out");

// Ends the open stage line with a problem; the status to exit with.
int problem(const char* what) {
    std::cerr << "  Problem: " << what << std::endl;
    return -1;
}

int compressFile(int argc, char* argv[]);

}  // namespace

[[noreturn]] void usageAndExit(const char* programName) {
    FileArguments::printUsage(programName);
    std::exit(-1);
}

int main(int argc, char* argv[]) {
    if (!prepareProcess(OutputRemover::removeNow)) {
        std::cerr << "Error opening \"/dev/null\"." << std::endl;
        return -1;
    }
    try {
        return compressFile(argc, argv);
    } catch (const std::bad_alloc&) {
        // A stage line ends in "..." and every other line in a newline, so
        // this closes the open stage line or stands on a line of its own.
        // Unwinding has removed the output file.
        return problem("out of memory.");
    }
}

namespace {

int compressFile(int argc, char* argv[]) {
    const FileArguments arguments(argc, argv, "compress", usageAndExit);
    const std::string& infile = arguments.infile();
    const std::string& outfile = arguments.outfile();

    InputFile input(infile);
    if (!input.isOpen()) {
        std::cerr << "Error opening \"" << infile << "\"." << std::endl;
        return -1;
    }
    // Refused before a byte is read or the output is touched.
    if (input.knownSize() > kMaxTotal) {
        std::cerr << "Reading from file \"" << infile << "\"...";
        return problem("input exceeds 2147483647 bytes.");
    }
    // From here on a failure removes the output file, and so do SIGINT,
    // SIGTERM and SIGHUP.
    OutputRemover remover;
    OutputFile output(outfile);
    remover.watch(outfile, output.descriptor());
    if (!output.isOpen()) {
        std::cerr << "Error opening \"" << outfile << "\"." << std::endl;
        return -1;
    }

    std::cerr << "Reading from file \"" << infile << "\"...";
    // The copy of an input that cannot seek, written as it is counted and
    // read back to encode it.
    std::optional<OutputFile> copy;
    std::optional<InputFile> copyInput;
    if (!input.canSeek()) {
        const int fd = openTemporaryFile();
        copy.emplace(fd);
        copyInput.emplace(fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1);
        if (!copy->isOpen() || !copyInput->isOpen()) {
            return problem("error writing temporary file.");
        }
    }
    std::vector<std::uint8_t> block(kBlockBytes);
    ByteCounter counter;
    std::int64_t total = 0;
    for (;;) {
        const long got = input.read(block.data(), block.size());
        if (got < 0) {
            return problem("error reading input file.");
        }
        counter.add(block.data(), static_cast<std::size_t>(got));
        total += got;
        if (total > kMaxTotal) {
            return problem("input exceeds 2147483647 bytes.");
        }
        if (copy && !copy->write(block.data(), static_cast<std::size_t>(got))) {
            return problem("error writing temporary file.");
        }
        if (static_cast<std::size_t>(got) < block.size()) {
            break;
        }
    }
    if (copy && !copy->close()) {
        return problem("error writing temporary file.");
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
    // always within the encoder's reach; checked all the same, as a wrong
    // body would go unnoticed until the file is restored.
    BodyEncoder encoder(tree);
    if (!encoder.supportsTree()) {
        return problem("code tree too deep to encode.");
    }
    std::cerr << " done." << std::endl;

    std::cerr << "Writing to file \"" << outfile << "\"...";
    InputFile& source = copyInput ? *copyInput : input;
    if (!source.rewind()) {
        return problem("error reading input file.");
    }
    const std::array<std::uint8_t, kHeaderBytes> header = CountHeader::encode(counts);
    std::uint64_t compressedSize = header.size();
    std::vector<std::uint8_t> encoded(encoder.outputBound(block.size()));
    if (!output.write(header.data(), header.size())) {
        return problem("error writing output file.");
    }
    // The second pass must see the bytes the header describes: a file that
    // changed in between could hold bytes the code has no code for.
    std::int64_t encodedTotal = 0;
    for (;;) {
        const long got = source.read(block.data(), block.size());
        if (got < 0 || encodedTotal + got > total) {
            return problem("error reading input file.");
        }
        encodedTotal += got;
        std::size_t size =
            encoder.encode(block.data(), static_cast<std::size_t>(got), encoded.data());
        const bool last = static_cast<std::size_t>(got) < block.size();
        if (last) {
            size += encoder.finish(encoded.data() + size);
        }
        if (!output.write(encoded.data(), size)) {
            return problem("error writing output file.");
        }
        compressedSize += size;
        if (last) {
            break;
        }
    }
    if (encodedTotal != total || encoder.sawSymbolWithoutCode()) {
        return problem("error reading input file.");
    }
    if (!output.close()) {
        return problem("error writing output file.");
    }
    remover.keep();
    std::cerr << " done." << std::endl;

    const double ratio = static_cast<double>(total) / static_cast<double>(compressedSize);
    std::cerr << "Compression ratio: " << ratio << std::endl;
    return 0;
}

}  // namespace
