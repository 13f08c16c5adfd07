// SPDX-License-Identifier: MIT
//
// The parts both file jobs use.
#include "FileJobParts.hpp"

namespace fileJob {

FileJob::Result& fail(FileJob::Result& result, Failure failure, huffcodec::Status status,
                      int error) {
    result.failure = failure;
    result.status = status;
    result.error = error;
    return result;
}

FileJob::Result& failWith(FileJob::Result& result, huffcodec::Status status, const InputFile& input,
                          const OutputFile& output) {
    using huffcodec::Status;
    const int error = status == Status::readError    ? input.error()
                      : status == Status::writeError ? output.error()
                                                     : 0;
    return fail(result, Failure::status, status, error);
}

long Reading::read(void* buffer, std::size_t size) {
    const long got = file.read(buffer, size);
    if (got > 0 && watcher.progressed) {
        done += static_cast<std::uint64_t>(got);
        watcher.progressed(done);
    }
    return got;
}

huffcodec::ReadFn readerOf(Reading& reading) {
    return
        [&reading](std::uint8_t* buffer, std::size_t size) { return reading.read(buffer, size); };
}

huffcodec::WriteFn writerOf(OutputFile& output) {
    return
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); };
}

}  // namespace fileJob
