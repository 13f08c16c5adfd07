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
#include <optional>
#include <string>

#include "FileArguments.hpp"
#include "FileCommand.hpp"
#include "TemporaryFile.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

int compressFile(FileCommand& command) {
    if (!command.openInput()) {
        return -1;
    }
    Report& report = command.report();
    InputFile& input = command.input();
    const std::string readingStage = "Reading from file \"" + command.infile() + "\"...";
    // Refused before a byte is read or the output is touched.
    if (input.knownSize() > huffcodec::kMaxOriginalSize) {
        report.begin(readingStage);
        report.problem(Problem::inputTooLarge);
        return -1;
    }
    if (!command.openOutput()) {
        return -1;
    }

    report.begin(readingStage);
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
        &chunks, command.options());
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

    huffcodec::Encoder encoder;
    if (!command.buildCodeTree(encoder, header)) {
        return -1;
    }

    InputFile& source = copyInput ? *copyInput : input;
    const std::optional<huffcodec::StreamResult> result = command.writeOutput(
        source, [&](const huffcodec::ReadFn& read, const huffcodec::WriteFn& write,
                    const huffcodec::Options& options) {
            // The second pass starts again from the first byte.
            if (!source.rewind()) {
                return huffcodec::StreamResult{huffcodec::Status::readError, 0, 0};
            }
            return encoder.encode(read, write, options, &chunks);
        });
    if (!result) {
        return -1;
    }
    report.ratio("Compression", static_cast<double>(header.originalSize),
                 static_cast<double>(result->bytesProduced));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    return FileCommand::run(
        argc, argv, {"compress", FileArguments::usageAndExit, FileCommand::FailedOutput::removed},
        compressFile);
}
