// SPDX-License-Identifier: MIT
//
// The decompression job: the header, then the body decoded; with every
// member taken, again for each member that follows.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "FileJob.hpp"
#include "FileJobParts.hpp"
#include "output/WatchedOutput.hpp"

using huffcodec::Status;
using namespace fileJob;

namespace {

// The input of a decompression: the bytes the decoder read past the end of
// the member before, then the rest of the file. A member starts right after
// the last byte of the one before, wherever the decoder's reads ended.
class MemberSource {
public:
    MemberSource(InputFile& input, const FileJob::Observer& observer)
        : file(input), reading(input, observer) {}

    long read(std::uint8_t* buffer, std::size_t size) {
        if (taken < pending.size()) {
            const std::size_t n = std::min(size, pending.size() - taken);
            std::memcpy(buffer, pending.data() + taken, n);
            taken += n;
            return static_cast<long>(n);
        }
        if (ended) {
            return file.failed() ? -1 : 0;
        }
        const long got = reading.read(buffer, size);
        // A short read is the end of the file: InputFile retries the rest.
        ended = got < static_cast<long>(size);
        return got;
    }

    // The decoder hands back, in order, what it read past its member.
    void handBack(const std::uint8_t* data, std::size_t size) {
        returned.insert(returned.end(), data, data + size);
    }
    // Once the member is decoded: the next one starts with what came back,
    // then what was not read of the bytes before.
    void endMember() {
        returned.insert(returned.end(), pending.begin() + static_cast<std::ptrdiff_t>(taken),
                        pending.end());
        pending.swap(returned);
        returned.clear();
        taken = 0;
    }

    // Nothing is left: no bytes came back, and the file has ended.
    bool exhausted() const { return taken == pending.size() && ended && !file.failed(); }

private:
    InputFile& file;
    Reading reading;
    std::vector<std::uint8_t> pending;  // read, not yet taken from taken on
    std::size_t taken = 0;
    std::vector<std::uint8_t> returned;
    bool ended = false;
};

}  // namespace

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
    MemberSource source(input, watcher);
    const huffcodec::ReadFn read = [&source](std::uint8_t* buffer, std::size_t size) {
        return source.read(buffer, size);
    };
    const huffcodec::WriteFn handBack = [&source](const std::uint8_t* data, std::size_t size) {
        source.handBack(data, size);
        return true;
    };
    for (bool first = true;; first = false) {
        if (first) {
            started(Stage::readingHeader);
        } else if (source.exhausted()) {
            break;  // the input ended after a whole member
        }
        result.memberOffset = result.inputBytes;
        std::array<std::uint8_t, huffcodec::kHeaderBytes> headerBytes{};
        const long headerSize = source.read(headerBytes.data(), headerBytes.size());
        if (headerSize < 0 || input.failed()) {
            fail(result, Failure::status, Status::readError, input.error());
            return;
        }
        if (!first && headerSize == 0) {
            break;
        }
        const huffcodec::HeaderResult header =
            huffcodec::readHeader(headerBytes.data(), static_cast<std::size_t>(headerSize));
        if (header.status != Status::ok) {
            fail(result, Failure::status, header.status, 0);
            return;
        }
        if (first) {
            finished(Stage::readingHeader);
        }

        huffcodec::Decoder decoder;
        if (!build(decoder, header.header, result)) {
            return;
        }

        if (first) {
            started(Stage::writing);
        }
        const huffcodec::StreamResult decoded =
            everyMember ? decoder.decodeMember(read, writerOf(output), handBack, libraryOptions)
                        : decoder.decode(read, writerOf(output), libraryOptions);
        if (decoded.status != Status::ok) {
            failWith(result, decoded.status, input, output);
            return;
        }
        result.inputBytes += decoded.bytesConsumed;
        result.outputBytes += decoded.bytesProduced;
        if (!everyMember) {
            break;
        }
        source.endMember();
    }
    if (!(ending == Ending::close ? output.close() : output.flush())) {
        fail(result, Failure::status, Status::writeError, output.error());
        return;
    }
    finished(Stage::writing);
}
