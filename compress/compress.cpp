// SPDX-License-Identifier: MIT
//
// The compress command: writes a file in the format uncompress reads (a
// 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. The input is read twice, once to
// count and once to encode, so memory does not grow with its size; an input
// that cannot seek is copied to an unnamed temporary file while it is counted,
// and the copy is read the second time. Exit status 0 on success, 255 on any
// reported failure, after which no output file is left behind.
#include <fcntl.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "FileArguments.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "OutputRemover.hpp"
#include "ProcessSetup.hpp"
#include "Report.hpp"
#include "TemporaryFile.hpp"
#include "ThreadCount.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

int compressFile(int argc, char* argv[], Report& report) {
    const int threads = threadCountFromEnvironment();
    const FileArguments arguments = FileArguments::parse(argc, argv, "compress");
    if (arguments.check == FileArguments::Check::sameFile) {
        report.sameFile();
    }
    if (arguments.check != FileArguments::Check::ok) {
        FileArguments::usageAndExit(arguments.programName.c_str());
    }
    const std::string& infile = arguments.infile;
    const std::string& outfile = arguments.outfile;

    InputFile input(infile);
    if (!input.isOpen()) {
        report.errorOpening(infile);
        return -1;
    }
    // Refused before a byte is read or the output is touched.
    if (input.knownSize() > huffcodec::kMaxOriginalSize) {
        report.begin("Reading from file \"" + infile + "\"...");
        report.problem(Problem::inputTooLarge);
        return -1;
    }
    // From here on a failure removes the output file, and so do SIGINT,
    // SIGTERM and SIGHUP.
    OutputRemover remover;
    OutputFile output(outfile);
    remover.watch(outfile, output.descriptor());
    if (!output.isOpen()) {
        report.errorOpening(outfile);
        return -1;
    }

    report.begin("Reading from file \"" + infile + "\"...");
    // The copy of an input that cannot seek, written as it is counted and
    // read back to encode it.
    std::optional<OutputFile> copy;
    std::optional<InputFile> copyInput;
    if (!input.canSeek()) {
        const int fd = openTemporaryFile();
        copy.emplace(fd);
        copyInput.emplace(fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1);
        if (!copy->isOpen() || !copyInput->isOpen()) {
            report.problem(Problem::errorWritingTemporary);
            return -1;
        }
    }
    bool copyFailed = false;
    huffcodec::Options options;
    options.threads = threads;
    options.workersOffCaller = true;
    huffcodec::ChunkCounts chunks;
    const huffcodec::CountResult counted = huffcodec::countBytes(
        [&](std::uint8_t* buffer, std::size_t size) -> long {
            const long got = input.read(buffer, size);
            if (got > 0 && copy && !copy->write(buffer, static_cast<std::size_t>(got))) {
                copyFailed = true;
                return -1;
            }
            return got;
        },
        &chunks, options);
    if (copyFailed || (copy && counted.status == huffcodec::Status::ok && !copy->close())) {
        report.problem(Problem::errorWritingTemporary);
        return -1;
    }
    if (!report.finish(counted.status)) {
        return -1;
    }
    const huffcodec::Header& header = counted.header;
    report.line("Input file has " + std::to_string(header.distinctBytes) +
                " unique symbols and size " + std::to_string(header.originalSize) + " bytes.");

    report.begin("Building Huffman code tree...");
    huffcodec::Encoder encoder;
    if (!report.finish(encoder.build(header))) {
        return -1;
    }

    report.begin("Writing to file \"" + outfile + "\"...");
    InputFile& source = copyInput ? *copyInput : input;
    if (!source.rewind()) {
        report.problem(Problem::errorReadingInput);
        return -1;
    }
    // With threads encoding, the kernel's share of writing runs beside them.
    if (threads > 1 && header.originalSize >= huffcodec::kMinThreadedSize) {
        output.writeInBackground();
    }
    const huffcodec::StreamResult result = encoder.encode(
        [&source](std::uint8_t* buffer, std::size_t size) { return source.read(buffer, size); },
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); },
        options, &chunks);
    if (result.status != huffcodec::Status::ok) {
        report.problem(problemFor(result.status));
        return -1;
    }
    if (!output.close()) {
        report.problem(Problem::errorWritingOutput);
        return -1;
    }
    remover.keep();
    report.done();

    report.ratio("Compression", static_cast<double>(header.originalSize),
                 static_cast<double>(result.bytesWritten));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    Report report;
    if (!prepareProcess(OutputRemover::removeNow)) {
        report.errorOpening("/dev/null");
        return -1;
    }
    try {
        return compressFile(argc, argv, report);
    } catch (const std::bad_alloc&) {
        // Unwinding has removed the output file.
        report.problem(Problem::outOfMemory);
        return -1;
    }
}
