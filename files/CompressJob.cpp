// SPDX-License-Identifier: MIT
//
// The compression job: counted, then encoded from the start again.
#include "FileJob.hpp"

#include <cerrno>
#include <optional>

#include "FileJobParts.hpp"
#include "TemporaryFile.hpp"
#include "output/WatchedOutput.hpp"

using huffcodec::Status;
using namespace fileJob;

FileJob::Result FileJob::compress(InputFile& input, const std::string& outputPath) {
    Result result;
    // Refused before a byte is read or the output is touched.
    if (tooLarge(input, result)) {
        return result;
    }
    WatchedOutput output(outputPath, true, signals);
    if (!output.file().isOpen()) {
        return fail(result, Failure::openingOutput, Status::ok, output.openError());
    }
    encode(input, output.file(), Ending::close, result);
    if (result.ok()) {
        output.keep();
    }
    return result;
}

FileJob::Result FileJob::compress(InputFile& input, OutputFile& output) {
    Result result;
    if (!tooLarge(input, result)) {
        encode(input, output, Ending::flush, result);
    }
    return result;
}

bool FileJob::tooLarge(InputFile& input, Result& result) {
    if (input.knownSize() <= huffcodec::kMaxOriginalSize) {
        return false;
    }
    started(Stage::counting);
    fail(result, Failure::status, Status::inputTooLarge, 0);
    return true;
}

void FileJob::encode(InputFile& input, OutputFile& output, Ending ending, Result& result) {
    started(Stage::counting);
    // The copy of an input that cannot seek, written as it is counted and
    // read back to encode it.
    std::optional<TemporaryCopy> copy;
    if (!input.canSeek()) {
        copy.emplace();
        if (!copy->isOpen()) {
            fail(result, Failure::temporaryFile, Status::ok, copy->error());
            return;
        }
    }
    bool copyFailed = false;
    Reading counting(input, watcher);
    huffcodec::ChunkCounts chunks;
    const huffcodec::CountResult counted = huffcodec::countBytes(
        [&](std::uint8_t* buffer, std::size_t size) -> long {
            const long got = counting.read(buffer, size);
            if (got > 0 && copy && !copy->writer.write(buffer, static_cast<std::size_t>(got))) {
                copyFailed = true;
                return -1;
            }
            return got;
        },
        &chunks, libraryOptions);
    if (copyFailed || (copy && counted.status == Status::ok && !copy->writer.close())) {
        fail(result, Failure::temporaryFile, Status::ok, copy->writer.error());
        return;
    }
    if (counted.status != Status::ok) {
        failWith(result, counted.status, input, output);
        return;
    }
    finished(Stage::counting);

    huffcodec::Encoder encoder;
    if (!build(encoder, counted.header, result)) {
        return;
    }

    started(Stage::writing);
    InputFile& source = copy ? copy->reader : input;
    // The second pass starts again from the first byte.
    if (!source.rewind()) {
        fail(result, Failure::status, Status::readError, errno);
        return;
    }
    Reading encoding(source, watcher);
    const huffcodec::StreamResult encoded =
        encoder.encode(readerOf(encoding), writerOf(output), libraryOptions, &chunks);
    if (encoded.status != Status::ok) {
        failWith(result, encoded.status, source, output);
        return;
    }
    if (!(ending == Ending::close ? output.close() : output.flush())) {
        fail(result, Failure::status, Status::writeError, output.error());
        return;
    }
    finished(Stage::writing);
    result.inputBytes = encoded.bytesConsumed;
    result.outputBytes = encoded.bytesProduced;
}
