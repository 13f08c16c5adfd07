// SPDX-License-Identifier: MIT
//
// The compression job: counted, then encoded from the start again.
#include "FileJob.hpp"

#include <cerrno>
#include <optional>

#include "FileJobParts.hpp"
#include "TemporaryFile.hpp"

using huffcodec::Status;
using namespace fileJob;

FileJob::Result FileJob::compress(InputFile& input, const std::string& outputPath) {
    Result result;
    // Refused before a byte is read or the output is touched.
    if (input.knownSize() > huffcodec::kMaxOriginalSize) {
        started(Stage::counting);
        return fail(result, Failure::status, Status::inputTooLarge, 0);
    }
    Output output(outputPath, true, signals);
    if (!output.file->isOpen()) {
        return fail(result, Failure::openingOutput, Status::ok, output.openError);
    }

    started(Stage::counting);
    // The copy of an input that cannot seek, written as it is counted and
    // read back to encode it.
    std::optional<TemporaryCopy> copy;
    if (!input.canSeek()) {
        copy.emplace();
        if (!copy->isOpen()) {
            return fail(result, Failure::temporaryFile, Status::ok, copy->error());
        }
    }
    bool copyFailed = false;
    huffcodec::ChunkCounts chunks;
    const huffcodec::CountResult counted = huffcodec::countBytes(
        [&](std::uint8_t* buffer, std::size_t size) -> long {
            const long got = input.read(buffer, size);
            if (got > 0 && copy && !copy->writer.write(buffer, static_cast<std::size_t>(got))) {
                copyFailed = true;
                return -1;
            }
            return got;
        },
        &chunks, libraryOptions);
    if (copyFailed || (copy && counted.status == Status::ok && !copy->writer.close())) {
        return fail(result, Failure::temporaryFile, Status::ok, copy->writer.error());
    }
    if (counted.status != Status::ok) {
        return failWith(result, counted.status, input, *output.file);
    }
    finished(Stage::counting);
    result.originalSize = counted.header.originalSize;
    if (!accepted(counted.header)) {
        return fail(result, Failure::refused, Status::ok, 0);
    }

    huffcodec::Encoder encoder;
    if (!build(encoder, counted.header, result)) {
        return result;
    }

    started(Stage::writing);
    InputFile& source = copy ? copy->reader : input;
    // The second pass starts again from the first byte.
    if (!source.rewind()) {
        return fail(result, Failure::status, Status::readError, errno);
    }
    const huffcodec::StreamResult encoded =
        encoder.encode(readerOf(source), writerOf(*output.file), libraryOptions, &chunks);
    if (encoded.status != Status::ok) {
        return failWith(result, encoded.status, source, *output.file);
    }
    if (!output.file->close()) {
        return fail(result, Failure::status, Status::writeError, output.file->error());
    }
    output.keep();
    finished(Stage::writing);
    result.inputBytes = encoded.bytesConsumed;
    result.outputBytes = encoded.bytesProduced;
    return result;
}
