// SPDX-License-Identifier: MIT
//
// The uncompress command: restores a file written in the compressed format
// (a 1024-byte header of 256 little-endian counts, then the bit-packed codes)
// and reports each stage on standard error. Exit status 0 on success, 255 on
// any reported failure; the bytes decoded before a problem stay in the output.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "FileArguments.hpp"
#include "FileCommand.hpp"
#include "huffcodec/huffcodec.hpp"

// Prints the two usage lines and ends the process with status 255.
[[noreturn]] void usageAndExit(const char* programName);

void usageAndExit(const char* programName) {
    FileArguments::usageAndExit(programName);
}

namespace {

int uncompressFile(FileCommand& command) {
    if (!command.openInput() || !command.openOutput()) {
        return -1;
    }
    Report& report = command.report();
    InputFile& input = command.input();

    report.begin("Reading header from file \"" + command.infile() + "\"...");
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

    huffcodec::Decoder decoder;
    if (!command.buildCodeTree(decoder, header.header)) {
        return -1;
    }

    const std::optional<huffcodec::StreamResult> result = command.writeOutput(
        input, [&decoder](const huffcodec::ReadFn& read, const huffcodec::WriteFn& write,
                          const huffcodec::Options& options) {
            return decoder.decode(read, write, options);
        });
    if (!result) {
        return -1;
    }
    // Header plus every body byte the decoder needed, the last partly used
    // one included; trailing bytes do not count.
    const std::uint64_t compressedSize = result->bytesConsumed;
    report.ratio("Uncompression", static_cast<double>(total), static_cast<double>(compressedSize));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    return FileCommand::run(
        argc, argv, {"uncompress", usageAndExit, FileCommand::FailedOutput::kept}, uncompressFile);
}
