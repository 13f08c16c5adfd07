// SPDX-License-Identifier: MIT
//
// The uncompress command: restores a file written in the compressed format
// (docs/format.md: a header of 256 counts, then the bit-packed codes)
// and reports each stage on standard error. Exit status 0 on success, 255 on
// any reported failure; the bytes decoded before a problem stay in the output.
#include <optional>

#include "FileArguments.hpp"
#include "FileCommand.hpp"

// Prints the two usage lines and ends the process with status 255.
[[noreturn]] void usageAndExit(const char* programName);

void usageAndExit(const char* programName) {
    FileArguments::usageAndExit(programName);
}

namespace {

int uncompressFile(FileCommand& command) {
    const std::optional<FileJob::Result> result =
        command.runJob(&FileJob::decompress, "Uncompressed file will have");
    if (!result) {
        return -1;
    }
    // Header plus every body byte the decoder needed, the last partly used
    // one included; trailing bytes do not count.
    command.report().ratio("Uncompression", static_cast<double>(result->originalSize),
                           static_cast<double>(result->inputBytes));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    return FileCommand::run(argc, argv, {"uncompress", usageAndExit}, uncompressFile);
}
