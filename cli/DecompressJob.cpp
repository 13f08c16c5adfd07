// SPDX-License-Identifier: MIT
//
// The decompression job: the header, then the body decoded.
#include "FileJob.hpp"

#include <array>

#include "FileJobParts.hpp"
#include "WatchedOutput.hpp"

using huffcodec::Status;
using namespace fileJob;

FileJob::Result FileJob::decompress(InputFile& input, const std::string& outputPath) {
    Result result;
    WatchedOutput output(outputPath, false, signals);
    if (!output.file().isOpen()) {
        return fail(result, Failure::openingOutput, Status::ok, output.openError());
    }
    // On a failure the output is closed as it goes, keeping what was written.
    decode(input, output.file(), Ending::close, result);
    return result;
}

FileJob::Result FileJob::decompress(InputFile& input, OutputFile& output) {
    Result result;
    decode(input, output, Ending::flush, result);
    return result;
}

void FileJob::decode(InputFile& input, OutputFile& output, Ending ending, Result& result) {
    started(Stage::readingHeader);
    std::array<std::uint8_t, huffcodec::kHeaderBytes> headerBytes{};
    const long headerSize = input.read(headerBytes.data(), headerBytes.size());
    if (headerSize < 0 || input.failed()) {
        fail(result, Failure::status, Status::readError, input.error());
        return;
    }
    const huffcodec::HeaderResult header =
        huffcodec::readHeader(headerBytes.data(), static_cast<std::size_t>(headerSize));
    if (header.status != Status::ok) {
        fail(result, Failure::status, header.status, 0);
        return;
    }
    finished(Stage::readingHeader);

    huffcodec::Decoder decoder;
    if (!build(decoder, header.header, result)) {
        return;
    }

    started(Stage::writing);
    Reading decoding(input, watcher);
    const huffcodec::StreamResult decoded =
        decoder.decode(readerOf(decoding), writerOf(output), libraryOptions);
    if (decoded.status != Status::ok) {
        failWith(result, decoded.status, input, output);
        return;
    }
    if (!(ending == Ending::close ? output.close() : output.flush())) {
        fail(result, Failure::status, Status::writeError, output.error());
        return;
    }
    finished(Stage::writing);
    result.inputBytes = decoded.bytesConsumed;
    result.outputBytes = decoded.bytesProduced;
}
