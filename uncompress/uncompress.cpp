// SPDX-License-Identifier: MIT
//
// The uncompress command: restores a file written in the compressed format
// (a 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. Exit status 0 on success, 255 on
// any reported failure; the bytes decoded before a problem stay in the output.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "FileArguments.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "ProcessSetup.hpp"
#include "Report.hpp"
#include "ThreadCount.hpp"
#include "huffcodec/huffcodec.hpp"

// Prints the two usage lines and ends the process with status 255.
[[noreturn]] void usageAndExit(const char* programName);

void usageAndExit(const char* programName) {
    FileArguments::usageAndExit(programName);
}

namespace {

int uncompressFile(int argc, char* argv[], Report& report) {
    const int threads = threadCountFromEnvironment();
    const FileArguments arguments = FileArguments::parse(argc, argv, "uncompress");
    if (arguments.check == FileArguments::Check::sameFile) {
        report.sameFile();
    }
    if (arguments.check != FileArguments::Check::ok) {
        usageAndExit(arguments.programName.c_str());
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

    report.begin("Reading header from file \"" + infile + "\"...");
    std::array<std::uint8_t, huffcodec::kHeaderBytes> headerBytes{};
    const long headerSize = input.read(headerBytes.data(), headerBytes.size());
    if (headerSize < 0 || input.failed()) {
        report.problem(Problem::errorReadingInput);
        return -1;
    }
    const huffcodec::HeaderResult header =
        huffcodec::readHeader(headerBytes.data(), static_cast<std::size_t>(headerSize));
    if (!report.finish(header.status)) {
        return -1;
    }
    const std::int64_t total = header.header.originalSize;
    report.line("Uncompressed file will have " + std::to_string(header.header.distinctBytes) +
                " unique symbols and size " + std::to_string(total) + " bytes.");

    report.begin("Building Huffman code tree...");
    huffcodec::Decoder decoder;
    if (!report.finish(decoder.build(header.header))) {
        return -1;
    }

    report.begin("Writing to file \"" + outfile + "\"...");
    huffcodec::Options options;
    options.threads = threads;
    options.workersOffCaller = true;
    // With threads decoding, the kernel's share of writing runs beside them.
    if (threads > 1 && total >= huffcodec::kMinThreadedSize) {
        output.writeInBackground();
    }
    const huffcodec::StreamResult result = decoder.decode(
        [&input](std::uint8_t* buffer, std::size_t size) { return input.read(buffer, size); },
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); },
        options);
    if (result.status != huffcodec::Status::ok) {
        report.problem(problemFor(result.status));
        return -1;
    }
    if (!output.close()) {
        report.problem(Problem::errorWritingOutput);
        return -1;
    }
    report.done();

    // Header plus every body byte the decoder needed, the last partly used
    // one included; trailing bytes do not count.
    const std::uint64_t compressedSize = huffcodec::kHeaderBytes + result.bytesRead;
    report.ratio("Uncompression", static_cast<double>(total), static_cast<double>(compressedSize));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    Report report;
    if (!prepareProcess()) {
        report.errorOpening("/dev/null");
        return -1;
    }
    try {
        return uncompressFile(argc, argv, report);
    } catch (const std::bad_alloc&) {
        report.problem(Problem::outOfMemory);
        return -1;
    }
}
