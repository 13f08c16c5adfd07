// SPDX-License-Identifier: MIT
//
// The two file jobs.
#include "FileJob.hpp"

#include <array>
#include <cerrno>
#include <optional>

#include "OutputFile.hpp"
#include "OutputRemover.hpp"
#include "RemovalSignals.hpp"
#include "TemporaryFile.hpp"

namespace {

using huffcodec::Status;
using Failure = FileJob::Result::Failure;

// The output file, and what removes it unless the job succeeds. Destroyed in
// the right order: the file closed, then removed, then the handlers put back.
struct Output {
    Output(const std::string& path, bool removed, bool signals) {
        if (removed) {
            // Before the file is created, as are the handlers: they hold the
            // signals back until it is watched.
            remover.emplace();
            if (signals) {
                removalSignals.emplace();
            }
        }
        file.emplace(path);
        openError = errno;
        if (remover) {
            remover->watch(path, file->descriptor());
        }
        if (removalSignals) {
            removalSignals->watch(*remover);
        }
    }

    // The job succeeded.
    void keep() {
        if (remover) {
            remover->keep();
        }
    }

    std::optional<OutputRemover> remover;
    std::optional<RemovalSignals> removalSignals;
    std::optional<OutputFile> file;
    int openError = 0;
};

FileJob::Result& fail(FileJob::Result& result, Failure failure, Status status, int error) {
    result.failure = failure;
    result.status = status;
    result.error = error;
    return result;
}

// The result of a failed library call; a read or write error carries the
// errno of the file it concerns.
FileJob::Result& failWith(FileJob::Result& result, Status status, const InputFile& input,
                          const OutputFile& output) {
    const int error = status == Status::readError    ? input.error()
                      : status == Status::writeError ? output.error()
                                                     : 0;
    return fail(result, Failure::status, status, error);
}

huffcodec::ReadFn readerOf(InputFile& input) {
    return [&input](std::uint8_t* buffer, std::size_t size) { return input.read(buffer, size); };
}

huffcodec::WriteFn writerOf(OutputFile& output) {
    return
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); };
}

}  // namespace

template <class Coder>
bool FileJob::build(Coder& coder, const huffcodec::Header& header, Result& result) {
    watcher.started(Stage::building);
    const Status status = coder.build(header);
    if (status != Status::ok) {
        fail(result, Failure::status, status, 0);
        return false;
    }
    watcher.finished(Stage::building);
    return true;
}

FileJob::Result FileJob::compress(InputFile& input, const std::string& outputPath) {
    Result result;
    // Refused before a byte is read or the output is touched.
    if (input.knownSize() > huffcodec::kMaxOriginalSize) {
        watcher.started(Stage::counting);
        return fail(result, Failure::status, Status::inputTooLarge, 0);
    }
    Output output(outputPath, true, signals);
    if (!output.file->isOpen()) {
        return fail(result, Failure::openingOutput, Status::ok, output.openError);
    }

    watcher.started(Stage::counting);
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
    watcher.finished(Stage::counting);
    result.originalSize = counted.header.originalSize;
    if (!watcher.accept(counted.header)) {
        return fail(result, Failure::refused, Status::ok, 0);
    }

    huffcodec::Encoder encoder;
    if (!build(encoder, counted.header, result)) {
        return result;
    }

    watcher.started(Stage::writing);
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
    watcher.finished(Stage::writing);
    result.inputBytes = encoded.bytesRead;
    result.outputBytes = encoded.bytesWritten;
    return result;
}

FileJob::Result FileJob::decompress(InputFile& input, const std::string& outputPath) {
    Result result;
    Output output(outputPath, false, signals);
    if (!output.file->isOpen()) {
        return fail(result, Failure::openingOutput, Status::ok, output.openError);
    }

    watcher.started(Stage::readingHeader);
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
    watcher.finished(Stage::readingHeader);
    result.originalSize = header.header.originalSize;
    if (!watcher.accept(header.header)) {
        return fail(result, Failure::refused, Status::ok, 0);
    }

    huffcodec::Decoder decoder;
    if (!build(decoder, header.header, result)) {
        return result;
    }

    watcher.started(Stage::writing);
    // On a failure the destructor closes the output, keeping what was written.
    const huffcodec::StreamResult decoded =
        decoder.decode(readerOf(input), writerOf(*output.file), libraryOptions);
    if (decoded.status != Status::ok) {
        return failWith(result, decoded.status, input, *output.file);
    }
    if (!output.file->close()) {
        return fail(result, Failure::status, Status::writeError, output.file->error());
    }
    watcher.finished(Stage::writing);
    result.inputBytes = huffcodec::kHeaderBytes + decoded.bytesRead;
    result.outputBytes = decoded.bytesWritten;
    return result;
}
