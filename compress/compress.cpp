// SPDX-License-Identifier: MIT
//
// The compress command: writes a file in the format uncompress reads
// (docs/format.md: a header of 256 counts, then the bit-packed codes)
// and reports each stage on standard error. The input is read twice, once to
// count and once to encode, so memory does not grow with its size; an input
// that cannot seek is copied to an unnamed temporary file while it is counted,
// and the copy is read the second time. Exit status 0 on success, 255 on any
// reported failure, after which no output file is left behind.
#include <optional>

#include "FileArguments.hpp"
#include "FileCommand.hpp"

namespace {

int compressFile(FileCommand& command) {
    const std::optional<FileJob::Result> result =
        command.runJob(&FileJob::compress, "Input file has");
    if (!result) {
        return -1;
    }
    command.report().ratio("Compression", static_cast<double>(result->originalSize),
                           static_cast<double>(result->outputBytes));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    return FileCommand::run(argc, argv, {"compress", FileArguments::usageAndExit}, compressFile);
}
