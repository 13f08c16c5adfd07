// SPDX-License-Identifier: MIT
//
// The decompression job: the header, then the body decoded.
#include "FileJob.hpp"

#include <array>

#include "FileJobParts.hpp"

using huffcodec::Status;
using namespace fileJob;

FileJob::Result FileJob::decompress(InputFile& input, const std::string& outputPath) {
    Result result;
    Output output(outputPath, false, signals);
    if (!output.file->isOpen()) {
        return fail(result, Failure::openingOutput, Status::ok, output.openError);
    }

    started(Stage::readingHeader);
    std::array<std::uint8_t, huffcodec::kHeaderBytes> headerBytes{};
    const long headerSize = input.read(headerBytes.data(), headerBytes.size());
    if (headerSize < 0 || input.failed()) {
        return fail(result, Failure::status, Status::readError, input.error());
    }
    const huffcodec::HeaderResult header =
        huffcodec::readHeader(headerBytes.data(), static_cast<std::size_t>(headerSize));
    if (header.status != Status::ok) {
        return fail(result, Failure::status, header.status, 0);
    }
    finished(Stage::readingHeader);
    result.originalSize = header.header.originalSize;
    if (!accepted(header.header)) {
        return fail(result, Failure::refused, Status::ok, 0);
    }

    huffcodec::Decoder decoder;
    if (!build(decoder, header.header, result)) {
        return result;
    }

    started(Stage::writing);
    // On a failure the destructor closes the output, keeping what was written.
    const huffcodec::StreamResult decoded =
        decoder.decode(readerOf(input), writerOf(*output.file), libraryOptions);
    if (decoded.status != Status::ok) {
        return failWith(result, decoded.status, input, *output.file);
    }
    if (!output.file->close()) {
        return fail(result, Failure::status, Status::writeError, output.file->error());
    }
    finished(Stage::writing);
    result.inputBytes = decoded.bytesConsumed;
    result.outputBytes = decoded.bytesProduced;
    return result;
}
