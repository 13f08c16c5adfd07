// SPDX-License-Identifier: MIT
//
// The compress command: writes a file in the format uncompress reads (a
// 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. The input is read twice, once to
// count and once to encode, so memory does not grow with its size. Exit
// status 0 on success, 255 on any reported failure.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FileArguments.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "Report.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

[[noreturn]] void usageAndExit(const std::string& programName) {
    FileArguments::printUsage(programName);
    std::exit(-1);
}

}  // namespace

int main(int argc, char* argv[]) {
    Report report;
    const FileArguments arguments = FileArguments::parse(argc, argv, "compress");
    if (arguments.check == FileArguments::Check::sameFile) {
        report.sameFile();
    }
    if (arguments.check != FileArguments::Check::ok) {
        usageAndExit(arguments.programName);
    }
    const std::string& infile = arguments.infile;
    const std::string& outfile = arguments.outfile;

    InputFile input(infile);
    if (!input.isOpen()) {
        report.errorOpening(infile);
        return -1;
    }
    OutputFile output(outfile);
    if (!output.isOpen()) {
        report.errorOpening(outfile);
        return -1;
    }
    const huffcodec::ReadFn read = [&input](std::uint8_t* buffer, std::size_t size) {
        return input.read(buffer, size);
    };

    report.begin("Reading from file \"" + infile + "\"...");
    const huffcodec::CountResult counted = huffcodec::countBytes(read);
    if (counted.status != huffcodec::Status::ok) {
        report.problem(problemFor(counted.status));
        return -1;
    }
    const huffcodec::Header& header = counted.header;
    report.done();
    report.line("Input file has " + std::to_string(header.distinctBytes) +
                " unique symbols and size " + std::to_string(header.originalSize) + " bytes.");

    report.begin("Building Huffman code tree...");
    huffcodec::Encoder encoder;
    const huffcodec::Status built = encoder.build(header);
    if (built != huffcodec::Status::ok) {
        report.problem(problemFor(built));
        return -1;
    }
    report.done();

    report.begin("Writing to file \"" + outfile + "\"...");
    if (!input.rewind()) {
        report.problem(Problem::errorReadingInput);
        return -1;
    }
    const huffcodec::StreamResult result = encoder.encode(
        read,
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); });
    if (result.status != huffcodec::Status::ok) {
        report.problem(problemFor(result.status));
        return -1;
    }
    if (!output.close()) {
        report.problem(Problem::errorWritingOutput);
        return -1;
    }
    report.done();

    const double ratio =
        static_cast<double>(header.originalSize) / static_cast<double>(result.bytesWritten);
    report.line("Compression ratio: " + formatRatio(ratio));
    return 0;
}
